#include "ui/MainDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTimer>

#include "app/DriveList.h"
#include "platform/VolumeEnumeration.h"
#include "ui/AboutBox.h"
#include "ui/AppIcon.h"
#include "ui/DialogUnits.h"
#include "ui/DriveChooser.h"
#include "ui/Help.h"
#include "ui/ResultSheet.h"
#include "ui/UndeletePage.h"
#include "ui/WindowPrompts.h"

namespace qv {

MainDialog::MainDialog(const std::vector<std::u16string>& images, QWidget* parent)
    : QDialog(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint),
      helpCandidates(HelpFileCandidates()),
      prompts_(std::make_unique<WindowPrompts>(this)) {
    setWindowTitle(QStringLiteral("Quorvane"));
    setFont(DialogFont());
    setSizeGripEnabled(false);
    const DialogUnits du(font());
    resize(du.Size(576, 335));

    group_ = new QGroupBox(
        QStringLiteral(
            "Please select the disk where the deleted files are located, and click Scan button"),
        this);
    group_->setGeometry(du.Rect(7, 7, 282, 31));
    auto* label = new QLabel(QStringLiteral("Disks"), this);
    label->setGeometry(du.Rect(10, 21, 26, 12));
    drives_ = new QComboBox(this);
    drives_->setEditable(false);
    const QRect chooser = du.Rect(38, 19, 102, 75);
    drives_->setGeometry(chooser.x(), chooser.y(), chooser.width(), du.Y(12));
    // The dropped list is as tall as 75 dialog units allow.
    drives_->setMaxVisibleItems(std::max(1, chooser.height() / (fontMetrics().height() + 2)));
    label->setBuddy(drives_);
    scan_ = new QPushButton(QStringLiteral("&Scan"), this);
    scan_->setGeometry(du.Rect(142, 18, 34, 14));
    advanced_ = new QCheckBox(QStringLiteral("Advanced scan"), this);
    advanced_->setGeometry(du.Rect(189, 18, 97, 14));
    help_ = new QPushButton(QStringLiteral("&Help"), this);
    help_->setGeometry(du.Rect(294, 11, 45, 12));
    quit_ = new QPushButton(QStringLiteral("&Quit"), this);
    quit_->setGeometry(du.Rect(294, 25, 45, 12));

    connect(scan_, &QPushButton::clicked, this, &MainDialog::OnScan);
    connect(help_, &QPushButton::clicked, this, &MainDialog::OnHelp);
    connect(quit_, &QPushButton::clicked, this, &QDialog::reject);

    sheet_ = new ResultSheet(*prompts_, this);
    sheet_->move(kSheetLeft, kSheetTop);

    // Initialisation: icon, drives, option, the Log page (so that the log has its pane before
    // anything writes to it), then the window's size.
    setWindowIcon(AppIcon());
    // Only what opens as NTFS is offered; an image that does not is named with its cause once
    // the window is up, instead of being listed as a drive that cannot be scanned.
    std::vector<Drive> usable;
    QStringList refused;
    for (const std::u16string& image : images) {
        const std::string why = WhyNotAnNtfsVolume(image);
        if (why.empty())
            usable.push_back(ImageDrive(image));
        else
            refused.append(QString::fromStdString(why));
    }
    FillDriveChooser(MakeDriveList(FindNtfsVolumes(), usable));
    if (!refused.isEmpty()) {
        QTimer::singleShot(0, this, [this, refused] {
            WindowPrompts::ShowMessageBox(this,
                                          QStringLiteral("These images cannot be scanned:\n") +
                                              refused.join(QLatin1Char('\n')),
                                          QStringLiteral("Error"), PromptButtons::kOk);
        });
    }
    advanced_->setChecked(true);
    sheet_->SetActivePage(1);
    sheet_->SetActivePage(0);
    setMinimumSize(kMinimumWidth, kMinimumHeight);
    resize(800, 600);
    sheet_->setGeometry(kSheetLeft, kSheetTop, width() - kSheetLeft, height() - kSheetTop);
}

MainDialog::~MainDialog() = default;

void MainDialog::FillDriveChooser(const std::vector<Drive>& drives) {
    qv::FillDriveChooser(drives_, drives);
}

void MainDialog::OnScan() {
    sheet_->SetActivePage(0);
    const std::optional<Drive> drive = ChosenDrive(drives_);
    if (!drive) {
        WindowPrompts::ShowMessageBox(this, QStringLiteral("No disk is selected"),
                                      QStringLiteral("Please select the disk to scan"),
                                      PromptButtons::kOk);
        return;
    }
    sheet_->Undelete()->StartScan(*drive, advanced_->isChecked());
}

void MainDialog::OnHelp() {
    OpenHelp(this, helpCandidates);
}

void MainDialog::OnAbout() {
    AboutBox about(this);
    about.exec();
}

void MainDialog::resizeEvent(QResizeEvent* event) {
    // The sheet fills the window below the controls, which keep their places.
    sheet_->setGeometry(kSheetLeft, kSheetTop, width() - kSheetLeft, height() - kSheetTop);
    QDialog::resizeEvent(event);
}

void MainDialog::keyPressEvent(QKeyEvent* event) {
    // Enter with no button focused ends the dialog, as OK would.
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        event->modifiers() == Qt::NoModifier) {
        if (!qobject_cast<QPushButton*>(focusWidget())) {
            accept();
            return;
        }
    }
    QDialog::keyPressEvent(event);
}

void MainDialog::contextMenuEvent(QContextMenuEvent* event) {
    // About is reached from the window's context menu: a desktop has no portable way to add an
    // entry to the title bar's menu.
    QMenu menu(this);
    QAction* about = menu.addAction(QStringLiteral("&About Quorvane..."));
    if (menu.exec(event->globalPos()) == about) OnAbout();
}

}  // namespace qv
