#pragma once

#include <memory>
#include <string>

#include "app/Log.h"
#include "app/MemoryListControl.h"
#include "app/ProgressDialog.h"
#include "app/WorkerContext.h"
#include "scan/DeletedFileEntry.h"
#include "scan/ScanSession.h"
#include "support/FakeFrontEnd.h"

namespace qv::test {

// A front end of fakes around one WorkerContext: scans and recoveries run on the test's thread
// and everything they show is kept for asserting.
class ScanHarness {
public:
    ScanHarness();
    ~ScanHarness();

    // Scans an image file (given a drive letter through the drive table).
    void Scan(const std::string& image, bool advanced = false);
    void ScanLetter(char16_t letter, bool advanced = false);
    void Recover(const std::u16string& destination, bool recreatePaths = true);

    // The row of a record number, or null.
    const DeletedFileEntry* Find(uint64_t record) const;
    std::vector<std::string> LogMessages() const { return pane.Messages(); }

    MemoryLogPane pane;
    ScriptedPrompts prompts;
    RecordingProgressView view;
    MemoryListControl list;
    WorkerContext context;
    std::unique_ptr<ProgressDialog> progress;
    // Called on the progress dialog before the worker runs (e.g. to press Stop at a moment).
    std::function<void(ProgressDialog&)> beforeRun;
};

}  // namespace qv::test
