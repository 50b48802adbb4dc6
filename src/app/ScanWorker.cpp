// The scan worker: from a source to the deleted files, delivered to the front end's sink.
#include <cerrno>
#include <new>

#include "app/Log.h"
#include "app/ProgressDialog.h"
#include "app/WorkerContext.h"
#include "base/Error.h"
#include "base/Prompts.h"
#include "platform/Text.h"

namespace qv {

unsigned ScanThreadProc(WorkerContext* context) {
    context->RunScan();
    return 0;
}

void WorkerContext::RunScan() {
    Log& log = Log::Global();
    const std::u16string& volume = scanOptions.volumeName;
    log.Write(u"Searching deleted files on %s ...\n", volume);
    session.reset();  // the previous scan's temporary files go with it
    scanFailed = false;
    progress->SetStatus(u"Searching deleted files, please wait...", u"Please wait", this);
    files->Discard();

    auto opened = ScanSession::Open(source, scanOptions, *progress);
    if (!opened) {
        if (progress->IsCancelled()) {
            log.Write(u"Canceled by user\n");
        } else {
            // The fixed message names one cause only, a refusal by the system; for anything else
            // (no such file, not NTFS, a short image) it names the real one.
            const Error& e = opened.error();
            const std::u16string cause = FromUtf8(e.Text());
            log.Write(u"%s %s\n", volume, cause);
            log.Write(u"open disk %s failed.\n", volume);
            const bool refused = e.osError == EACCES || e.osError == EPERM;
            if (prompts)
                prompts->MessageBox(
                    refused ? Format(u"Open disk %s failed.\nYou must be an administrator to run "
                                     u"this software.\n%s",
                                     volume, cause)
                            : Format(u"Open disk %s failed.\n%s", volume, cause),
                    u"Error", PromptButtons::kOk);
        }
        progress->Close(kIdOk);
        return;
    }
    session = std::move(*opened);

    ListDeletedFiles();
    if (progress->IsCancelled()) {
        log.Write(u"Canceled by user\n");
        session.reset();
        files->Discard();
    } else {
        log.Write(u"Scan finished\n");
    }
    progress->Close(kIdOk);
}

void WorkerContext::ListDeletedFiles() {
    const Status found = session->FindDeletedFiles(*files, *progress);
    if (!found) {
        // A list cut short by a failure would pass for all there is: show nothing instead.
        Log::Global().Write(u"Reading the deleted files failed: %s\n",
                            FromUtf8(DescribeError(found.error().code)));
        files->Discard();
        scanFailed = true;
    }
}

}  // namespace qv
