// The scan worker: from a drive letter to the filled list of deleted files.
#include <new>

#include "app/CMyException.h"
#include "app/ErrorCodes.h"
#include "app/ListControl.h"
#include "app/Log.h"
#include "app/ProgressDialog.h"
#include "app/WorkerContext.h"
#include "ntfs/FileRecord.h"
#include "platform/Text.h"
#include "scan/DeletedFileEntry.h"
#include "scan/ScanSession.h"

namespace qv {

namespace {

void DiscardRows(WorkerContext& context) {
    context.ClearResults();
    context.list->DeleteAllItems();
}

}  // namespace

unsigned ScanThreadProc(WorkerContext* context) {
    context->RunScan();
    return 0;
}

void WorkerContext::RunScan() {
    Log& log = Log::Global();
    log.Write(u"Searching deleted files on %c: ...\n", driveLetter);
    session.reset();  // the previous scan's temporary files go with it
    progress->SetStatus(u"Searching deleted files, please wait...", u"Please wait", this);
    DiscardRows(*this);

    try {
        session = std::make_unique<ScanSession>(driveLetter, advanced != 0, *progress);
    } catch (const CMyException& e) {
        session.reset();
        if (progress->IsCancelled()) {
            log.Write(u"Canceled by user\n");
        } else {
            // The fixed message below names one cause only; the line before it names the real one.
            log.Write(u"%c: %s\n", driveLetter,
                      FromUtf8(e.Detail().empty() ? DescribeError(e.Code()) : e.Detail()));
            log.Write(u"open disk %c: failed.\n", driveLetter);
            if (prompts)
                prompts->MessageBox(
                    Format(u"Open disk %c: failed.\nYou must be an administrator to run this "
                           u"software.",
                           driveLetter),
                    u"Error", PromptButtons::kOk);
        }
        progress->Close(kIdOk);
        return;
    }

    try {
        std::vector<std::unique_ptr<FileRecord>> records;
        session->FindDeletedFiles(records, advanced != 0, *progress);
        results.reserve(records.size());
        for (auto& record : records) {
            results.push_back(MakeEntry(std::move(record), *session));
            InsertRow(*list, *results.back());
        }
    } catch (const CMyException& e) {
        // Out of memory deep in a record: end like a collection that failed, with nothing listed.
        log.Write(u"Reading the deleted files failed: %s\n", FromUtf8(DescribeError(e.Code())));
        DiscardRows(*this);
    } catch (const std::bad_alloc&) {
        log.Write(u"Reading the deleted files failed: %s\n", FromUtf8(DescribeError(kErrNoMemory)));
        DiscardRows(*this);
    }

    if (progress->IsCancelled()) {
        log.Write(u"Canceled by user\n");
        session.reset();
        DiscardRows(*this);
    } else {
        log.Write(u"Scan finished\n");
    }
    progress->Close(kIdOk);
}

}  // namespace qv
