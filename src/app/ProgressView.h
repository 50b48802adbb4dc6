#pragma once

#include <cstdint>
#include <string>

#include "base/Progress.h"

namespace qv {

// How far a scan or recovery is: the stage (1-based; 0 before the first) and how much of it is
// done in its own units, and for a recovery the files done of those chosen.
struct ProgressCounts {
    int32_t stage = 0;
    int32_t stages = 1;
    uint64_t done = 0;
    uint64_t total = 0;
    uint64_t files = 0;
    uint64_t filesTotal = 0;           // 0: not a recovery
    StepUnit unit = StepUnit::kShare;  // what done and total count
};

// What a front end shows for a running scan or recovery: a status line, a title, a bar of ten
// steps and a Stop button. Workers never call this directly; they go through ProgressDialog.
// Every call but Close has taken effect when it returns; Close may be queued.
class ProgressView {
public:
    virtual ~ProgressView() = default;
    virtual void SetStatusText(const std::u16string& text) = 0;
    virtual void SetTitle(const std::u16string& title) = 0;
    // Advance the bar by one of its ten steps; past the end it starts again from empty.
    virtual void StepBar() = 0;
    // How far it is; called when the shown share changes. May be queued.
    virtual void ShowCounts(const ProgressCounts& /*counts*/) {}
    // End the modal wait with this result (1 OK, 2 Cancel). May arrive before the wait starts.
    virtual void Close(int result) = 0;
};

// Told when the user presses Stop, before the cancel flag is set.
class StopListener {
public:
    virtual ~StopListener() = default;
    virtual void OnStop() = 0;
};

}  // namespace qv
