#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>

#include "app/ProgressView.h"
#include "base/Progress.h"

namespace qv {

// The counters, stages and cancel flag behind the progress window of one scan or recovery.
// A fresh one is made for every operation, so a cancel never carries over.
//
// The bar has ten steps. A stage begins with SetSteps(total); Step(amount) accumulates work and
// advances the bar by one step each time more than a tenth of stageCount x total has piled up, so
// a scan of n stages fills the bar about once.
class ProgressDialog final : public Progress {
public:
    static constexpr int kBarRange = 100;
    static constexpr int kBarStep = 10;

    explicit ProgressDialog(ProgressView* view = nullptr) : view_(view) {}
    ProgressDialog(const ProgressDialog&) = delete;
    ProgressDialog& operator=(const ProgressDialog&) = delete;

    // Worker side.
    int SetStatus(const std::u16string& text, const std::u16string& title, StopListener* task);
    void SetStatusText(const std::u16string& text) override;
    // A new plan of stages: the next SetSteps begins the first of them.
    void SetStageCount(int32_t stages) override {
        stageCount_ = stages;
        counts_.stage = 0;
    }
    void SetSteps(int64_t total) override { SetUnitSteps(total, StepUnit::kShare); }
    void SetUnitSteps(int64_t total, StepUnit unit) override;
    void Step(uint64_t amount) override;
    // A recovery's files: done of total (the stages count bytes of one file each).
    void SetFiles(uint64_t done, uint64_t total);
    bool IsCancelled() const override { return cancelled_.load(std::memory_order_acquire); }
    // The worker's close request. Remembered, so a front end that starts waiting later still
    // sees it.
    void Close(int result);

    // Front-end side.
    void Stop();  // the Stop button
    bool IsCloseRequested() const { return closeResult_.load(std::memory_order_acquire) >= 0; }
    int CloseResult() const { return closeResult_.load(std::memory_order_acquire); }
    // Blocks until Close has been called; for front ends without an event loop of their own.
    int WaitForClose();
    // The same for at most timeout: whether Close has been called.
    bool WaitForClose(std::chrono::milliseconds timeout);

    // For tests and for views that mirror the bar.
    int BarPosition() const { return barPosition_; }
    int BarAdvances() const { return barAdvances_; }
    int32_t StageCount() const { return stageCount_; }
    int64_t Threshold() const { return threshold_; }
    const ProgressCounts& Counts() const { return counts_; }
    uint64_t Accumulated() const { return accumulated_; }

    // The bar position after one step from pos: a step that would pass the end starts again.
    static int NextBarPosition(int pos);

private:
    void ReportCounts(bool always);

    ProgressView* view_;
    std::atomic<bool> cancelled_{false};
    std::atomic<StopListener*> task_{nullptr};
    int32_t stageCount_ = 1;
    int64_t threshold_ = 0;
    uint64_t accumulated_ = 0;
    int barPosition_ = 0;
    ProgressCounts counts_;
    uint64_t shownPermille_ = 0;  // of the stage, when the view was last told
    int barAdvances_ = 0;

    std::atomic<int> closeResult_{-1};
    std::mutex closeMutex_;
    std::condition_variable closeSignal_;
};

}  // namespace qv
