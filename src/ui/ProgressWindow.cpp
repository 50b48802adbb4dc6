#include "ui/ProgressWindow.h"

#include <QBoxLayout>
#include <QCloseEvent>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>

#include "app/FileTexts.h"
#include "app/ProgressDialog.h"
#include "ui/QtText.h"
#include "ui/UiThread.h"

namespace qv {

ProgressWindow::ProgressWindow(QWidget* transientFor)
    : QDialog(transientFor, Qt::Dialog | Qt::FramelessWindowHint) {
    setModal(true);
    since_.start();

    // No title bar: the raised border stands in for the dialog frame.
    auto* frame = new QFrame(this);
    frame->setFrameStyle(QFrame::Panel | QFrame::Raised);
    frame->setLineWidth(2);

    status_ = new QLabel(QStringLiteral("Searching deleted files, please wait..."), frame);
    status_->setObjectName(QStringLiteral("status"));
    // A long file name must not widen the window.
    status_->setMinimumWidth(1);
    status_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);

    bar_ = new QProgressBar(frame);
    bar_->setRange(0, ProgressDialog::kBarRange);
    bar_->setValue(0);
    bar_->setTextVisible(false);
    counts_ = new QLabel(frame);
    counts_->setObjectName(QStringLiteral("counts"));

    stop_ = new QPushButton(QStringLiteral("&Stop"), frame);
    stop_->setAutoDefault(false);
    stop_->setDefault(false);
    connect(stop_, &QPushButton::clicked, this, [this] {
        if (progress_) progress_->Stop();
    });

    auto* inFrame = new QVBoxLayout(frame);
    inFrame->addWidget(status_);
    inFrame->addWidget(bar_);
    inFrame->addWidget(counts_);
    inFrame->addWidget(stop_, 0, Qt::AlignHCenter);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(frame);
    setFixedWidth(420);
}

QString ProgressCountsText(const ProgressCounts& counts, qint64 elapsedMs) {
    QString text;
    double share = 0;
    if (counts.filesTotal > 0) {
        text = QStringLiteral("%1 of %2 files")
                   .arg(ToQString(GroupedNumber(counts.files)),
                        ToQString(GroupedNumber(counts.filesTotal)));
        share = static_cast<double>(counts.files) / static_cast<double>(counts.filesTotal);
    } else if (counts.total > 0) {
        share = static_cast<double>(counts.done) / static_cast<double>(counts.total);
        text = QStringLiteral("Stage %1 of %2: ").arg(counts.stage).arg(counts.stages);
        if (counts.unit == StepUnit::kShare) {
            text += QStringLiteral("%1 %").arg(static_cast<int>(share * 100));
        } else {
            text += QStringLiteral("%1 of %2 %3")
                        .arg(ToQString(GroupedNumber(counts.done)),
                             ToQString(GroupedNumber(counts.total)),
                             counts.unit == StepUnit::kRecords ? QStringLiteral("records")
                                                               : QStringLiteral("files"));
        }
        // A stage's share says nothing of the stages after it: the time left is the stage's.
    } else {
        return {};
    }
    // An estimate is given once it rests on a few seconds and a few percent of the work; an
    // earlier one would jump about.
    if (elapsedMs >= ProgressWindow::kEstimateAfterMs &&
        share >= ProgressWindow::kEstimateAfterShare && share < 1) {
        const auto left = static_cast<qint64>(static_cast<double>(elapsedMs) * (1 - share) / share);
        const qint64 seconds = (left + 999) / 1000;
        const QString time = seconds < 60 ? QStringLiteral("%1 s").arg(seconds)
                                          : QStringLiteral("%1 min").arg((seconds + 59) / 60);
        text += (counts.filesTotal > 0 ? QStringLiteral(", about ")
                                       : QStringLiteral(", this stage about ")) +
                time + QStringLiteral(" left");
    }
    return text;
}

void ProgressWindow::ShowCounts(const ProgressCounts& counts) {
    {
        std::lock_guard lock(statusMutex_);
        // The estimate measures the stage (or the recovery) from its start.
        if (counts.filesTotal == 0 && counts.stage != pendingCounts_.stage) stageStart_ = -1;
        pendingCounts_ = counts;
        if (countsPosted_) return;
        countsPosted_ = true;
    }
    PostToUiThread(this, [this] { ShowPendingCounts(); });
}

void ProgressWindow::ShowPendingCounts() {
    ProgressCounts counts;
    {
        std::lock_guard lock(statusMutex_);
        counts = pendingCounts_;
        countsPosted_ = false;
        if (stageStart_ < 0) stageStart_ = since_.elapsed();
    }
    counts_->setText(ProgressCountsText(counts, since_.elapsed() - stageStart_));
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

QString ProgressWindow::CountsText() const {
    return counts_->text();
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
