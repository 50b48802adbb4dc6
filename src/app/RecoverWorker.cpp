// The recovery worker: the chosen files written below the destination.
#include "app/ProgressDialog.h"
#include "app/WorkerContext.h"
#include "base/Prompts.h"

namespace qv {

namespace {

// Counts the files a recovery has finished for the progress window, passing every outcome on.
// A file's named streams follow it with the same record number: one file.
class FileCounter final : public RecoveryOutcomeSink {
public:
    FileCounter(RecoveryOutcomeSink* next, ProgressDialog& progress, uint64_t total)
        : next_(next), progress_(progress), total_(total) {
        progress_.SetFiles(0, total_);
    }
    void Take(const RecoveryOutcome& outcome) override {
        if (next_) next_->Take(outcome);
        if (done_ == 0 || outcome.record != last_) {
            last_ = outcome.record;
            progress_.SetFiles(++done_, total_);
        }
    }

private:
    RecoveryOutcomeSink* next_;
    ProgressDialog& progress_;
    uint64_t total_;
    uint64_t done_ = 0;
    uint64_t last_ = 0;
};

}  // namespace

unsigned RecoverThreadProc(WorkerContext* context) {
    context->RunRecovery();
    return 0;
}

void WorkerContext::RunRecovery() {
    summary = {};
    progress->SetStatus(u"Recovering", u"Please wait", this);
    FileCounter counter(outcomes, *progress, chosen.size());
    if (session) summary = Recover(*session, chosen, recovery, *prompts, *progress, &counter);
    progress->Close(summary.refused ? kIdCancel : kIdOk);
}

}  // namespace qv
