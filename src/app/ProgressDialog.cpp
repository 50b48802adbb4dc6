#include "app/ProgressDialog.h"

#include <algorithm>

namespace qv {

int ProgressDialog::SetStatus(const std::u16string& text, const std::u16string& title,
                              StopListener* task) {
    if (view_) {
        view_->SetStatusText(text);
        view_->SetTitle(title);
    }
    task_.store(task, std::memory_order_release);
    return 0;
}

void ProgressDialog::SetStatusText(const std::u16string& text) {
    if (view_) view_->SetStatusText(text);
}

void ProgressDialog::SetFiles(uint64_t done, uint64_t total) {
    counts_.files = done;
    counts_.filesTotal = total;
    ReportCounts(true);
}

void ProgressDialog::ReportCounts(bool always) {
    // The view hears of a change of a thousandth of the stage at most: a scan steps once per
    // record, and a view told that often would slow it down.
    const uint64_t permille = counts_.total ? counts_.done * 1000 / counts_.total : 0;
    if (!always && permille == shownPermille_) return;
    shownPermille_ = permille;
    if (view_) view_->ShowCounts(counts_);
}

void ProgressDialog::SetUnitSteps(int64_t total, StepUnit unit) {
    counts_.stages = stageCount_;
    if (counts_.stage < stageCount_) ++counts_.stage;
    counts_.done = 0;
    counts_.total = total > 0 ? static_cast<uint64_t>(total) : 0;
    counts_.unit = unit;
    ReportCounts(counts_.filesTotal == 0);
    // The bar keeps its position and what has accumulated: a new stage continues the filling.
    threshold_ =
        static_cast<int64_t>(static_cast<uint64_t>(stageCount_) * static_cast<uint64_t>(total));
}

void ProgressDialog::Step(uint64_t amount) {
    if (threshold_ == 0) return;
    counts_.done = std::min(counts_.done + amount, counts_.total);
    ReportCounts(false);
    accumulated_ += amount;
    if (accumulated_ > static_cast<uint64_t>(threshold_) / 10) {
        // One call advances at most one step, however large the amount.
        accumulated_ = 0;
        barPosition_ = NextBarPosition(barPosition_);
        ++barAdvances_;
        if (view_) view_->StepBar();
    }
}

int ProgressDialog::NextBarPosition(int pos) {
    const int next = pos + kBarStep;
    return next > kBarRange ? kBarStep : next;
}

void ProgressDialog::Stop() {
    if (StopListener* task = task_.load(std::memory_order_acquire)) task->OnStop();
    cancelled_.store(true, std::memory_order_release);
}

void ProgressDialog::Close(int result) {
    {
        std::lock_guard lock(closeMutex_);
        closeResult_.store(result, std::memory_order_release);
    }
    closeSignal_.notify_all();
    if (view_) view_->Close(result);
}

int ProgressDialog::WaitForClose() {
    std::unique_lock lock(closeMutex_);
    closeSignal_.wait(lock, [this] { return closeResult_.load() >= 0; });
    return closeResult_.load();
}

bool ProgressDialog::WaitForClose(std::chrono::milliseconds timeout) {
    std::unique_lock lock(closeMutex_);
    return closeSignal_.wait_for(lock, timeout, [this] { return closeResult_.load() >= 0; });
}

}  // namespace qv
