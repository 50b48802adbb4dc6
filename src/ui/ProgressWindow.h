#pragma once

#include <QDialog>

#include <functional>
#include <mutex>

#include "app/ProgressView.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace qv {

class ProgressDialog;

// The small window shown while a worker scans or recovers: a status line, a bar of ten steps and
// Stop. Made anew for every operation. The worker's title and bar calls arrive as synchronous
// calls onto the window thread. Its status texts are queued without waiting, and only the latest
// is kept while an update is on its way: a recovery sets one per file, and must not wait for the
// window that often. Every call is handled in the order made, so a text set before a synchronous
// call or the close request is shown when that arrives. The close request is queued too and is
// kept when it arrives before the modal loop has started. Only the worker ends the window: Enter,
// Escape and the window manager's close are ignored, since the worker holds a pointer to it until
// it has finished.
class ProgressWindow final : public QDialog, public ProgressView {
    Q_OBJECT
public:
    explicit ProgressWindow(QWidget* transientFor);

    // Stop tells this counter; the worker polls its flag.
    void Attach(ProgressDialog* progress) { progress_ = progress; }
    // Runs on the worker thread just before its close request is queued, e.g. to hand the list
    // its last rows while the worker can still wait for the window thread.
    void SetBeforeClose(std::function<void()> hook) { beforeClose_ = std::move(hook); }

    // Worker side (any thread).
    void SetStatusText(const std::u16string& text) override;
    void SetTitle(const std::u16string& title) override;
    void StepBar() override;
    void Close(int result) override;

    // Window thread: shows the window modally until the worker's close request; its result.
    int RunModal();
    bool CloseReceived() const { return closeReceived_; }

    QString StatusText() const;
    int BarValue() const;
    QPushButton* StopButton() const { return stop_; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

public slots:
    void reject() override {}  // Escape must not end the window under a running worker

private:
    void OnCloseRequest(int result);
    void ShowPendingStatus();

    QLabel* status_;
    QProgressBar* bar_;
    QPushButton* stop_;
    ProgressDialog* progress_ = nullptr;
    std::function<void()> beforeClose_;
    std::mutex statusMutex_;
    QString pendingStatus_;      // the latest status text not yet shown
    bool statusPosted_ = false;  // an update is queued that will show it
    bool inLoop_ = false;
    bool closeReceived_ = false;
    int closeResult_ = 0;
};

}  // namespace qv
