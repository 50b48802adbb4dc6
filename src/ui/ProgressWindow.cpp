#include "ui/ProgressWindow.h"
#include <atomic>
#include <cstdio>
#include <cstdlib>

#include <QCloseEvent>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>

#include "app/ProgressDialog.h"
#include "ui/DialogUnits.h"
#include "ui/QtText.h"
#include "ui/UiThread.h"

namespace qv {

ProgressWindow::ProgressWindow(QWidget* transientFor)
    : QDialog(transientFor, Qt::Dialog | Qt::FramelessWindowHint) {
    setFont(DialogFont());
    const DialogUnits du(font());
    setFixedSize(du.Size(179, 57));
    setModal(true);

    // No title bar: the raised border stands in for the dialog frame.
    auto* frame = new QFrame(this);
    frame->setFrameStyle(QFrame::Panel | QFrame::Raised);
    frame->setLineWidth(2);
    frame->setGeometry(rect());

    status_ = new QLabel(QStringLiteral("Searching deleted files, please wait..."), this);
    status_->setGeometry(du.Rect(7, 7, 154, 12));
    status_->setObjectName(QStringLiteral("status"));

    bar_ = new QProgressBar(this);
    bar_->setGeometry(du.Rect(7, 24, 165, 10));
    bar_->setRange(0, ProgressDialog::kBarRange);
    bar_->setValue(0);
    bar_->setTextVisible(false);

    stop_ = new QPushButton(QStringLiteral("&Stop"), this);
    stop_->setGeometry(du.Rect(65, 38, 43, 12));
    stop_->setAutoDefault(false);
    stop_->setDefault(false);
    connect(stop_, &QPushButton::clicked, this, [this] {
        if (progress_) progress_->Stop();
    });
}

void ProgressWindow::SetStatusText(const std::u16string& text) {
    const bool windowThread = QThread::currentThread() == thread();
    {
        std::lock_guard lock(statusMutex_);
        pendingStatus_ = ToQString(text);
        if (statusPosted_) return;  // the update on its way shows this text
        if (!windowThread) statusPosted_ = true;
    }
    if (windowThread) {
        ShowPendingStatus();
        return;
    }
    PostToUiThread(this, [this] { ShowPendingStatus(); });
}

void ProgressWindow::ShowPendingStatus() {
    QString text;
    {
        std::lock_guard lock(statusMutex_);
        text.swap(pendingStatus_);
        statusPosted_ = false;
    }
    status_->setText(text);
}

void ProgressWindow::SetTitle(const std::u16string& title) {
    const QString value = ToQString(title);
    CallOnUiThread(this, [&] { setWindowTitle(value); });
}

void ProgressWindow::StepBar() {
    static std::atomic<int> steps{0};
    if (++steps % 10000 == 0) fprintf(stderr, "steps %d\n", steps.load());
    if (getenv("QV_EXP_NOBAR")) return;
    CallOnUiThread(this, [&] { bar_->setValue(ProgressDialog::NextBarPosition(bar_->value())); });
}

void ProgressWindow::Close(int result) {
    if (beforeClose_) beforeClose_();
    PostToUiThread(this, [this, result] { OnCloseRequest(result); });
}

void ProgressWindow::OnCloseRequest(int result) {
    closeReceived_ = true;
    closeResult_ = result;
    if (inLoop_) done(result);
}

int ProgressWindow::RunModal() {
    if (!closeReceived_) {
        inLoop_ = true;
        exec();
        inLoop_ = false;
    }
    hide();
    return closeResult_;
}

QString ProgressWindow::StatusText() const {
    return status_->text();
}

int ProgressWindow::BarValue() const {
    return bar_->value();
}

void ProgressWindow::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Escape:
        case Qt::Key_Enter:
        case Qt::Key_Return: event->accept(); return;
        default: QDialog::keyPressEvent(event);
    }
}

void ProgressWindow::closeEvent(QCloseEvent* event) {
    event->ignore();
}

}  // namespace qv
