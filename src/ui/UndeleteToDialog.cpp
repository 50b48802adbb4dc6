#include "ui/UndeleteToDialog.h"

#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardPaths>

#include "ui/DialogUnits.h"
#include "ui/WindowPrompts.h"

namespace qv {

UndeleteToDialog::UndeleteToDialog(QWidget* transientFor) : QDialog(transientFor) {
    setWindowTitle(QStringLiteral("Undelete To"));
    setFont(DialogFont());
    const DialogUnits du(font());
    setFixedSize(du.Size(275, 77));

    auto* prompt = new QLabel(
        QStringLiteral(
            "Please select the destination path where the selected files will be recovered to:"),
        this);
    prompt->setGeometry(du.Rect(7, 7, 261, 9));
    edit_ = new QLineEdit(this);
    edit_->setGeometry(du.Rect(7, 19, 225, 12));
    browse_ = new QPushButton(QStringLiteral("&Browse"), this);
    browse_->setGeometry(du.Rect(236, 19, 32, 12));
    browse_->setAutoDefault(false);
    check_ = new QCheckBox(QStringLiteral("Do not recover pathnames"), this);
    check_->setGeometry(du.Rect(7, 39, 160, 10));
    ok_ = new QPushButton(QStringLiteral("&OK"), this);
    ok_->setGeometry(du.Rect(44, 58, 50, 12));
    ok_->setDefault(true);
    cancel_ = new QPushButton(QStringLiteral("&Cancel"), this);
    cancel_->setGeometry(du.Rect(170, 58, 50, 12));
    cancel_->setAutoDefault(false);

    connect(browse_, &QPushButton::clicked, this, &UndeleteToDialog::OnBrowse);
    connect(ok_, &QPushButton::clicked, this, &UndeleteToDialog::accept);
    connect(cancel_, &QPushButton::clicked, this, &UndeleteToDialog::reject);
    edit_->setFocus();
}

void UndeleteToDialog::OnBrowse() {
    QString start = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    if (start.isEmpty() || !QDir(start).exists()) start = QDir::homePath();
    QFileDialog browser(this, QStringLiteral("Save to"), start);
    browser.setFileMode(QFileDialog::Directory);
    browser.setOption(QFileDialog::ShowDirsOnly, true);
    if (browser.exec() != QDialog::Accepted || browser.selectedFiles().isEmpty()) return;
    const QString chosen = browser.selectedFiles().constFirst();
    if (!chosen.isEmpty()) edit_->setText(chosen);
}

void UndeleteToDialog::accept() {
    // Blanks alone name no folder (taken as they stand, they would put the files at "/").
    if (edit_->text().trimmed().isEmpty()) {
        WindowPrompts::ShowMessageBox(
            this, QStringLiteral("Please enter the path that undeleted files will be saved."),
            QStringLiteral("No path"), PromptButtons::kOk);
        return;
    }
    // Nothing more is checked here: a folder that does not exist is made by the recovery, and
    // one that cannot take the files is said by it before the first file.
    path_ = edit_->text();
    doNotRecoverPathnames_ = check_->isChecked();
    QDialog::accept();
}

}  // namespace qv
