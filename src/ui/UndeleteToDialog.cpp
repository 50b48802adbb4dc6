#include "ui/UndeleteToDialog.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardPaths>

#include "ui/WindowPrompts.h"

namespace qv {

UndeleteToDialog::UndeleteToDialog(QWidget* transientFor, int files) : QDialog(transientFor) {
    setWindowTitle(QStringLiteral("Undelete To"));

    prompt_ = new QLabel(files == 1 ? QStringLiteral("Recover 1 ticked file to:")
                                    : QStringLiteral("Recover %1 ticked files to:").arg(files),
                         this);
    edit_ = new QLineEdit(this);
    edit_->setMinimumWidth(360);
    browse_ = new QPushButton(QStringLiteral("&Browse"), this);
    browse_->setAutoDefault(false);
    check_ = new QCheckBox(QStringLiteral("Do not recover pathnames"), this);
    keepTimes_ = new QCheckBox(QStringLiteral("&Restore timestamps"), this);
    keepTimes_->setToolTip(
        QStringLiteral("Give each file the modification and access times it had on the volume"));
    existing_ = new QComboBox(this);
    // In the order of ExistingFile: each entry's index is its value.
    for (const char* answer : {"Ask", "Overwrite", "Skip", "Keep both"})
        existing_->addItem(QString::fromLatin1(answer));
    auto* existingLabel = new QLabel(QStringLiteral("If a file &exists:"), this);
    existingLabel->setBuddy(existing_);
    ok_ = new QPushButton(QStringLiteral("&OK"), this);
    ok_->setDefault(true);
    cancel_ = new QPushButton(QStringLiteral("&Cancel"), this);
    cancel_->setAutoDefault(false);

    auto* path = new QHBoxLayout;
    path->addWidget(edit_, 1);
    path->addWidget(browse_);
    auto* existing = new QHBoxLayout;
    existing->addWidget(existingLabel);
    existing->addWidget(existing_);
    existing->addStretch(1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok_);
    buttons->addWidget(cancel_);
    buttons->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(prompt_);
    layout->addLayout(path);
    layout->addWidget(check_);
    layout->addWidget(keepTimes_);
    layout->addLayout(existing);
    layout->addSpacing(6);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

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
    restoreTimes_ = keepTimes_->isChecked();
    existingFile_ = static_cast<ExistingFile>(existing_->currentIndex());
    QDialog::accept();
}

}  // namespace qv
