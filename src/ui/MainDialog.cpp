#include "ui/MainDialog.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QShortcut>
#include <QTimer>

#include "app/DriveList.h"
#include "platform/VolumeEnumeration.h"
#include "ui/AboutBox.h"
#include "ui/AppIcon.h"
#include "ui/DriveChooser.h"
#include "ui/FilterBar.h"
#include "ui/Help.h"
#include "ui/QtText.h"
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
    setSizeGripEnabled(false);

    // The drive row in its group on the left, Help above Quit on the right, the sheet below
    // taking every pixel the window gains.
    group_ = new QGroupBox(
        QStringLiteral(
            "Please select the disk where the deleted files are located, and click Scan button"),
        this);
    auto* label = new QLabel(QStringLiteral("Disks"), group_);
    drives_ = new QComboBox(group_);
    drives_->setEditable(false);
    drives_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    drives_->setMinimumContentsLength(24);
    drives_->setMaxVisibleItems(10);
    label->setBuddy(drives_);
    scan_ = new QPushButton(QStringLiteral("&Scan"), group_);
    advanced_ = new QCheckBox(QStringLiteral("Advanced scan"), group_);
    auto* driveRow = new QHBoxLayout(group_);
    driveRow->addWidget(label);
    driveRow->addWidget(drives_, 1);
    driveRow->addWidget(scan_);
    driveRow->addSpacing(12);
    driveRow->addWidget(advanced_);

    help_ = new QPushButton(QStringLiteral("&Help"), this);
    quit_ = new QPushButton(QStringLiteral("&Quit"), this);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(help_);
    buttons->addWidget(quit_);
    buttons->addStretch(1);
    auto* top = new QHBoxLayout;
    top->addWidget(group_, 1);
    top->addLayout(buttons);

    connect(scan_, &QPushButton::clicked, this, &MainDialog::OnScan);
    connect(help_, &QPushButton::clicked, this, &MainDialog::OnHelp);
    connect(quit_, &QPushButton::clicked, this, &QDialog::reject);
    // F1, Ctrl+F and Ctrl+Q work wherever the focus is in the window.
    auto* help = new QShortcut(QKeySequence(Qt::Key_F1), this);
    connect(help, &QShortcut::activated, this, &MainDialog::OnHelp);
    auto* find = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_F), this);
    connect(find, &QShortcut::activated, this, [this] {
        sheet_->SetActivePage(0);
        sheet_->Undelete()->Filters()->FocusSearch();
    });
    auto* quit = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q), this);
    connect(quit, &QShortcut::activated, this, &QDialog::reject);

    sheet_ = new ResultSheet(*prompts_, this);
    auto* window = new QVBoxLayout(this);
    window->addLayout(top);
    window->addWidget(sheet_, 1);

    // Initialisation: icon, drives, option, the Log page (so that the log has its pane before
    // anything writes to it), then the window's size.
    setWindowIcon(AppIcon());
    // Only what opens as NTFS is offered; an image that does not is named with its cause once
    // the window is up, instead of being listed as a drive that cannot be scanned.
    std::vector<Drive> usable;
    QStringList refused;
    for (const std::u16string& image : images) {
        ImageOffer offer = OfferImage(image);
        if (offer.drives.empty()) refused.append(QString::fromStdString(offer.refusal));
        for (Drive& drive : offer.drives)
            usable.push_back(std::move(drive));
    }
    FillDriveChooser(MakeDriveList(FindNtfsVolumes(), usable));
    // An image named when the program was started is what the user came to scan: the first one
    // is chosen already.
    if (!usable.empty()) ChooseDrive(drives_, usable.front().source);
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
    // Never smaller than what the layouts need to show every control whole.
    window->activate();
    setMinimumSize(minimumSizeHint().expandedTo(QSize(kMinimumWidth, kMinimumHeight)));
    resize(QSize(kDefaultWidth, kDefaultHeight).expandedTo(minimumSize()));
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
    if (drive->noNtfs) {
        WindowPrompts::ShowMessageBox(
            this,
            QStringLiteral("%1 holds no NTFS partition: there is nothing to scan on it.")
                .arg(ToQString(drive->label)),
            QStringLiteral("No NTFS partition"), PromptButtons::kOk);
        return;
    }
    sheet_->Undelete()->StartScan(*drive, advanced_->isChecked());
}

void MainDialog::OnHelp() {
    OpenHelp(this, helpCandidates, openUrl);
}

void MainDialog::OnAbout() {
    AboutBox about(this);
    about.exec();
}

void MainDialog::keyPressEvent(QKeyEvent* event) {
    // Escape clears the search instead of ending the window; Enter with no button focused does
    // nothing: a stray key must never throw away a scan.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        sheet_->Undelete()->Filters()->ClearSearch();
        return;
    }
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        !qobject_cast<QPushButton*>(focusWidget()))
        return;
    QDialog::keyPressEvent(event);
}

void MainDialog::reject() {
    // Quit, Ctrl+Q and the close box end the program; ticked files are worth a question first.
    const int ticked = sheet_->Undelete()->Model().CheckedCount();
    if (ticked > 0 &&
        WindowPrompts::ShowMessageBox(
            this,
            ticked == 1 ? QStringLiteral("1 file is ticked. Quit anyway?")
                        : QStringLiteral("%1 files are ticked. Quit anyway?").arg(ticked),
            QStringLiteral("Quit"), PromptButtons::kYesNo) != kIdYes)
        return;
    QDialog::reject();
}

void MainDialog::contextMenuEvent(QContextMenuEvent* event) {
    // About is reached from the window's context menu: a desktop has no portable way to add an
    // entry to the title bar's menu.
    QMenu menu(this);
    QAction* about = menu.addAction(QStringLiteral("&About Quorvane..."));
    if (menu.exec(event->globalPos()) == about) OnAbout();
}

}  // namespace qv
