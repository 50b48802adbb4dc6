// The scan worker: from a drive letter to the filled list of deleted files.
#include <cerrno>
#include <new>

#include "base/Error.h"
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
    scanFailed = false;
    progress->SetStatus(u"Searching deleted files, please wait...", u"Please wait", this);
    DiscardRows(*this);

    try {
        session = std::make_unique<ScanSession>(driveLetter, advanced != 0, *progress);
    } catch (const CMyException& e) {
        session.reset();
        if (progress->IsCancelled()) {
            log.Write(u"Canceled by user\n");
        } else {
            // The fixed message names one cause only, a refusal by the system; for anything else
            // (no such file, not NTFS, a short image) it names the real one.
            const std::u16string cause =
                FromUtf8(e.Detail().empty() ? DescribeError(e.Code()) : e.Detail());
            log.Write(u"%c: %s\n", driveLetter, cause);
            log.Write(u"open disk %c: failed.\n", driveLetter);
            const bool refused = e.OsError() == EACCES || e.OsError() == EPERM;
            if (prompts)
                prompts->MessageBox(
                    refused ? Format(u"Open disk %c: failed.\nYou must be an administrator to run "
                                     u"this software.\n%s",
                                     driveLetter, cause)
                            : Format(u"Open disk %c: failed.\n%s", driveLetter, cause),
                    u"Error", PromptButtons::kOk);
        }
        progress->Close(kIdOk);
        return;
    }

    ListDeletedFiles();
    if (progress->IsCancelled()) {
        log.Write(u"Canceled by user\n");
        session.reset();
        DiscardRows(*this);
    } else {
        log.Write(u"Scan finished\n");
    }
    progress->Close(kIdOk);
}

void WorkerContext::ListDeletedFiles() {
    Log& log = Log::Global();
    const auto fail = [&](int32_t code) {
        // A list cut short by a failure would pass for all there is: show nothing instead.
        log.Write(u"Reading the deleted files failed: %s\n", FromUtf8(DescribeError(code)));
        DiscardRows(*this);
        scanFailed = true;
    };
    try {
        std::vector<std::unique_ptr<FileRecord>> records;
        if (const int found = session->FindDeletedFiles(records, advanced != 0, *progress);
            found < 0)
            return fail(found);
        results.reserve(records.size());
        for (auto& record : records) {
            results.push_back(MakeEntry(std::move(record), *session));
            InsertRow(*list, *results.back());
        }
    } catch (const CMyException& e) {
        // Out of memory deep in a record.
        fail(e.Code());
    } catch (const std::bad_alloc&) {
        fail(kErrNoMemory);
    }
}

}  // namespace qv
