#pragma once

#include <QDialog>
#include <QElapsedTimer>

#include <functional>
#include <mutex>

#include "app/ProgressView.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace qv {

class ProgressDialog;

// "1,200 of 5,000 files, about 2 min left" (a recovery) or "Stage 2 of 5: 45 %" (a scan); the
// time left only once kEstimateAfterMs and kEstimateAfterShare have passed. elapsedMs: since the
// recovery or the stage began.
QString ProgressCountsText(const ProgressCounts& counts, qint64 elapsedMs);

// The small window shown while a worker scans or recovers: a status line, a bar of ten steps,
// how far it is in numbers, and Stop. Made anew for every operation. The worker's title and bar
// calls arrive as synchronous calls onto the window thread. Its status texts are queued without
// waiting, and only the latest is kept while an update is on its way: a recovery sets one per file,
// and must not wait for the window that often. Every call is handled in the order made, so a text
// set before a synchronous call or the close request is shown when that arrives. The close request
// is queued too and is kept when it arrives before the modal loop has started. Only the worker ends
// the window: Enter, Escape and the window manager's close are ignored, since the worker holds a
// pointer to it until it has finished.
class ProgressWindow final : public QDialog, public ProgressView {
    Q_OBJECT
public:
    static constexpr qint64 kEstimateAfterMs = 3000;
    static constexpr double kEstimateAfterShare = 0.05;

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
    void ShowCounts(const ProgressCounts& counts) override;
    void Close(int result) override;

    // Window thread: shows the window modally until the worker's close request; its result.
    int RunModal();
    bool CloseReceived() const { return closeReceived_; }

    QString StatusText() const;
    QString CountsText() const;
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
    void ShowPendingCounts();

    QLabel* status_;
    QProgressBar* bar_;
    QLabel* counts_;
    QPushButton* stop_;
    ProgressDialog* progress_ = nullptr;
    std::function<void()> beforeClose_;
    std::mutex statusMutex_;
    QString pendingStatus_;         // the latest status text not yet shown
    bool statusPosted_ = false;     // an update is queued that will show it
    ProgressCounts pendingCounts_;  // the same for the counts
    bool countsPosted_ = false;
    QElapsedTimer since_;
    qint64 stageStart_ = 0;  // ms after since_; -1: the next counts begin a stage
    bool inLoop_ = false;
    bool closeReceived_ = false;
    int closeResult_ = 0;
};

}  // namespace qv
