#include "UiTestSupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

#include <chrono>
#include <future>

#include "platform/Text.h"
#include "ui/DriveChooser.h"
#include "ui/UiThread.h"

namespace qv::test {

constexpr int kPollMs = 10;
constexpr int kGiveUpMs = 1000;  // on a window no step expects

ModalScript::ModalScript() {
    timer_.setInterval(kPollMs);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
    timer_.start();
}

ModalScript& ModalScript::ThenMessage(std::string& said, QMessageBox::StandardButton button) {
    return Then<QMessageBox>([&said, button](QMessageBox* box) {
        said = box->windowTitle().toStdString() + "|" + box->text().toStdString();
        box->button(button)->click();
    });
}

testing::AssertionResult ModalScript::Run(const std::function<void()>& action) {
    action();
    if (!problems_.empty()) return testing::AssertionFailure() << problems_.front();
    if (!Done()) return testing::AssertionFailure() << steps_.size() << " steps never ran";
    return testing::AssertionSuccess();
}

void ModalScript::Poll() {
    // The window on top: a popup menu, or else a modal window.
    QWidget* top = QApplication::activePopupWidget();
    if (!top) top = QApplication::activeModalWidget();
    if (!top || top == handled_ || !top->isVisible()) {
        waitingOn_ = nullptr;
        waitedMs_ = 0;
        return;
    }
    // The progress window is modal too, but it belongs to the worker: leave it alone.
    if (top->inherits("qv::ProgressWindow")) return;
    if (!steps_.empty() && steps_.front()(top)) {
        handled_ = top;
        steps_.pop_front();
        return;
    }
    waitedMs_ = top == waitingOn_ ? waitedMs_ + kPollMs : kPollMs;
    waitingOn_ = top;
    if (waitedMs_ >= kGiveUpMs) {
        // The window's class, title and, for a message box, its text.
        std::string said = top->metaObject()->className();
        said += " \"" + top->windowTitle().toStdString() + "\"";
        if (auto* box = qobject_cast<QMessageBox*>(top)) said += ": " + box->text().toStdString();
        problems_.push_back("unexpected window: " + said);
        if (auto* dialog = qobject_cast<QDialog*>(top))
            dialog->reject();
        else
            top->close();  // a menu
        waitingOn_ = nullptr;
        waitedMs_ = 0;
    }
}

void TypeAndAccept(QFileDialog* dialog, const QString& path) {
    auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    if (name) name->setText(path);
    static_cast<QDialog*>(dialog)->accept();  // QFileDialog's own accept checks the name
}

void OnWorker(const std::function<void()>& work, const std::function<void()>& meanwhile) {
    auto worker = std::async(std::launch::async, work);
    if (meanwhile) meanwhile();
    WaitProcessingEvents(
        [&] { return worker.wait_for(std::chrono::seconds(0)) == std::future_status::ready; });
    worker.get();  // and what it threw, if it threw
}

char16_t ChooseImage(MainDialog& dialog, const std::string& image) {
    QComboBox* chooser = dialog.DriveChooser();
    for (int i = 0; i < chooser->count(); ++i) {
        const Drive drive = chooser->itemData(i).value<Drive>();
        if (drive.source.path == FromUtf8(image)) {
            chooser->setCurrentIndex(i);
            return drive.letter;
        }
    }
    return 0;
}

ScannedWindow::ScannedWindow(const std::string& image, bool advanced) : dialog({FromUtf8(image)}) {
    dialog.show();
    letter = ChooseImage(dialog, image);
    dialog.AdvancedScan()->setChecked(advanced);
    if (letter) dialog.OnScan();
}

int ScannedWindow::RowOf(const std::string& name) {
    for (int r = 0; r < page.Sorted().rowCount(); ++r)
        if (ToUtf8(page.Sorted().File(r).name) == name) return r;
    return -1;
}

}  // namespace qv::test
