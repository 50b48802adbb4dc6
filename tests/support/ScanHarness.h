#pragma once

#include <memory>
#include <string>

#include "app/Log.h"
#include "app/ProgressDialog.h"
#include "app/WorkerContext.h"
#include "scan/DeletedFile.h"
#include "scan/ScanSession.h"
#include "support/FakeFrontEnd.h"

namespace qv {
class VolumeReader;
}

namespace qv::test {

// A session on a volume, named "X:" in log lines; null (and a test failure) when it does not open.
std::unique_ptr<ScanSession> OpenSession(std::unique_ptr<VolumeReader> reader,
                                         bool advanced = false);
// The folder path of the given names, from the top down.
inline FolderPath PathOf(const std::vector<std::u16string>& names) {
    FolderPath path;
    for (const std::u16string& n : names)
        path = path.Child(n);
    return path;
}
// Every deleted file the session finds, as delivered; a failure of the scan fails the test.
std::vector<DeletedFile> FindAll(ScanSession& session);

// Keeps what a recovery reports, file by file.
class RecoveryOutcomeList final : public RecoveryOutcomeSink {
public:
    void Take(const RecoveryOutcome& outcome) override { all.push_back(outcome); }
    std::vector<RecoveryOutcome> all;
};

// A front end of fakes around one WorkerContext: scans and recoveries run on the test's thread
// and everything they show is kept for asserting.
class ScanHarness {
public:
    ScanHarness();
    ~ScanHarness();

    // Scans an image file (shown as volume letter: "X:").
    void Scan(const std::string& image, bool advanced = false, char16_t letter = u'C');
    // Recovers the chosen files (by record number), in the order the window lists them after a
    // scan: newest record first.
    void Recover(const std::u16string& destination, const std::vector<uint64_t>& records,
                 bool recreatePaths = true);

    // The listed file of a record number, or null.
    const DeletedFile* Find(uint64_t record) const;
    std::vector<std::string> LogMessages() const { return pane.Messages(); }

    MemoryLogPane pane;
    ScriptedPrompts prompts;
    RecordingProgressView view;
    DeletedFileList list;          // as the scan delivered it: ascending record number
    RecoveryOutcomeList outcomes;  // of the last recovery, in the order the files were written
    WorkerContext context;
    std::unique_ptr<ProgressDialog> progress;
    // Called on the progress dialog before the worker runs (e.g. to press Stop at a moment).
    std::function<void(ProgressDialog&)> beforeRun;
};

}  // namespace qv::test
