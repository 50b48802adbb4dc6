#pragma once

#include <cstdint>
#include <string>

namespace qv {

// What a stage's steps count, so that a front end can say "12,000 of 200,000 records" instead of
// a share.
enum class StepUnit { kShare, kRecords, kFiles };

// How every long operation of the engine reports how far it is and learns that Stop was pressed.
// A stage begins with SetSteps (its total amount) and the work reports Step amounts; an operation
// of several stages announces their number first. Every long loop asks IsCancelled and ends early,
// without counting that as a failure.
class Progress {
public:
    virtual ~Progress() = default;
    virtual void SetStageCount(int32_t stages) = 0;
    virtual void SetSteps(int64_t total) = 0;
    // The same, for a stage whose steps count records or files.
    virtual void SetUnitSteps(int64_t total, StepUnit /*unit*/) { SetSteps(total); }
    virtual void Step(uint64_t amount) = 0;
    virtual bool IsCancelled() const = 0;
    // What is being done now, for the front end to show ("Recovering report.txt").
    virtual void SetStatusText(const std::u16string& /*text*/) {}
};

// For work nobody watches and nobody stops (a record's attribute list read in passing).
class QuietProgress final : public Progress {
public:
    void SetStageCount(int32_t) override {}
    void SetSteps(int64_t) override {}
    void Step(uint64_t) override {}
    bool IsCancelled() const override { return false; }
};

}  // namespace qv
