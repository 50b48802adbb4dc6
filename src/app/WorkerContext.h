#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/ProgressView.h"
#include "platform/Source.h"
#include "recovery/Recovery.h"
#include "scan/DeletedFile.h"
#include "scan/ScanSession.h"

namespace qv {

class ProgressDialog;
class Prompts;

// The one object a front end hands to a worker thread. Scan and recovery use the same instance,
// one after the other; while a worker runs, the front end only waits for the progress dialog to
// close, so nothing here is touched by two threads at once.
class WorkerContext : public StopListener {
public:
    WorkerContext();
    ~WorkerContext() override;
    WorkerContext(const WorkerContext&) = delete;
    WorkerContext& operator=(const WorkerContext&) = delete;

    // Set by the front end before each scan and each recovery.
    ProgressDialog* progress = nullptr;
    Prompts* prompts = nullptr;

    // The scan: what to read, how, and where its deleted files go.
    Source source;
    ScanOptions scanOptions;
    DeletedFileSink* files = nullptr;

    // The recovery: the files chosen, how, and where each outcome goes.
    std::vector<DeletedFile> chosen;
    RecoveryOptions recovery;
    RecoveryOutcomeSink* outcomes = nullptr;
    RecoverySummary summary;  // what the last recovery did

    // The last successful scan: kept for the recovery until the next scan starts.
    std::unique_ptr<ScanSession> session;
    // The last scan opened its volume, but reading its deleted files failed.
    bool scanFailed = false;

    void OnStop() override {}

    // The bodies of the two worker threads: each ends by closing the progress dialog.
    void RunScan();
    void RunRecovery();
    // The part of RunScan after the session is open: lists its deleted files, or, when reading
    // them fails, logs why, lists nothing and sets scanFailed.
    void ListDeletedFiles();
};

// Thread entry points: run the context's scan or recovery and return 0.
unsigned ScanThreadProc(WorkerContext* context);
unsigned RecoverThreadProc(WorkerContext* context);

}  // namespace qv
