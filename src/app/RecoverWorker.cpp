// The recovery worker: the chosen files written below the destination.
#include "app/ProgressDialog.h"
#include "app/WorkerContext.h"
#include "base/Prompts.h"

namespace qv {

unsigned RecoverThreadProc(WorkerContext* context) {
    context->RunRecovery();
    return 0;
}

void WorkerContext::RunRecovery() {
    summary = {};
    progress->SetStatus(u"Recovering", u"Please wait", this);
    if (session) summary = Recover(*session, chosen, recovery, *prompts, *progress, outcomes);
    progress->Close(summary.refused ? kIdCancel : kIdOk);
}

}  // namespace qv
