// The recovery worker: every checked row of the list is written below the destination.
#include <cstring>

#include "app/ErrorCodes.h"
#include "app/ListControl.h"
#include "app/Log.h"
#include "app/ProgressDialog.h"
#include "app/WorkerContext.h"
#include "ntfs/DataCopy.h"
#include "ntfs/FileRecord.h"
#include "platform/File.h"
#include "platform/Text.h"
#include "recovery/TargetNames.h"
#include "scan/DeletedFileEntry.h"
#include "scan/ScanSession.h"
#include "volume/VolumeReader.h"

namespace qv {

namespace {

enum class Next { kGoOn, kAbort };

// The name a recovered file gets: its own, made safe; a file without any name is named after its
// record.
std::u16string LeafName(const FileRecord& record) {
    const std::u16string name = record.GetName();
    if (name.empty()) return u"record-" + FromUtf8(std::to_string(record.RecordNumber()));
    return SafeComponent(name);
}

// Writes one stream (the file's content when stream is null) into target, with its prompts and
// its log line.
Next RecoverStream(WorkerContext& c, const FileRecord& record, const RunList* stream,
                   std::u16string target, const std::u16string& name) {
    Log& log = Log::Global();
    File file;
    const int opened = c.OpenTarget(file, target, name);
    if (opened == kIdAbort) {
        log.Write(u"Open file %s failed\n", target);
        log.Write(u"Canceled by user\n");
        return Next::kAbort;
    }
    if (opened == kIdIgnore) {
        log.Write(u"Open file %s failed, skip\n", target);
        ++c.counts.skipped;
        return Next::kGoOn;
    }
    if (opened == WorkerContext::kStopped) {
        // Stop was pressed at a prompt: nothing was opened, created or truncated.
        log.Write(u"Recover %s to %s canceled\n", name, target);
        ++c.counts.canceled;
        return Next::kGoOn;
    }

    VolumeReader& reader = c.session->Reader();
    const uint32_t cs = reader.ClusterSize();
    const uint64_t expected = stream ? stream->TotalSize(cs) : record.TotalDataSize(cs);
    int result;
    if (stream == nullptr) {
        result = CopyRecordData(file, record, reader, *c.progress);
    } else {
        c.progress->SetSteps(static_cast<int64_t>(expected));
        result = CopyTo(*stream, reader, file, *c.progress);
    }
    const int64_t written = file.Length();
    if (result >= 0 && c.progress->IsCancelled() &&
        (written < 0 || static_cast<uint64_t>(written) < expected)) {
        // Cut short by Stop: a partial file must never look like a recovered one.
        file.Close();
        File::Remove(target);
        log.Write(u"Recover %s to %s canceled\n", name, target);
        ++c.counts.canceled;
        return Next::kGoOn;
    }
    if (result == kErrCopyIncomplete) {
        log.Write(u"Recover %s to %s incomplete\n", name, target);
        log.Write(u"%s: %s\n", target, FromUtf8(DescribeError(result)));
        ++c.counts.incomplete;
    } else if (result < 0) {
        log.Write(u"Recover %s to %s failed\n", name, target);
        const std::string cause =
            result == kErrWrite ? std::strerror(file.LastError()) : DescribeError(result);
        log.Write(u"%s: %s\n", target, FromUtf8(cause));
        ++c.counts.failed;
    } else {
        if (c.keepTimes) {
            CTime created, modified, accessed;
            if (record.GetTimes(created, modified, accessed) == 0)
                file.SetTimes(accessed.Seconds(), modified.Seconds());
        }
        log.Write(u"Recover %s to %s success\n", name, target);
        ++c.counts.recovered;
    }
    return Next::kGoOn;
}

Next RecoverEntry(WorkerContext& c, const DeletedFileEntry& entry, const std::u16string& path) {
    Log& log = Log::Global();
    const FileRecord& record = *entry.record;
    const std::u16string name = record.GetName();
    log.Write(u"Recovering %s ... \n", name);
    c.progress->SetStatus(Format(u"Recovering %s", name), u"Please wait", &c);

    std::u16string target = c.destination;
    if (c.recreatePaths) {
        const std::u16string folder = FolderBelowDestination(path);
        if (!folder.empty()) {
            target += folder;
            const int answer = c.CreatePath(target, WorkerContext::FolderPrompt::kAbortRetryIgnore);
            if (answer == kIdAbort) {
                log.Write(u"Create folder %s failed\n", target);
                log.Write(u"Canceled by user\n");
                return Next::kAbort;
            }
            if (answer == kIdIgnore) {
                log.Write(u"Create folder %s failed, recover to %s\n", target, c.destination);
                target = c.destination;
            }
        }
    }
    target += LeafName(record);
    if (RecoverStream(c, record, nullptr, target, name) == Next::kAbort) return Next::kAbort;

    // Named streams (a download's zone identifier, say) go beside the file as file:stream.
    for (size_t i = 0; const RunList* stream = record.GetDataStream(i); ++i) {
        if (stream->Name().empty()) continue;
        if (c.progress->IsCancelled()) break;
        const std::u16string streamName = name + u":" + stream->Name();
        const std::u16string streamTarget = target + u":" + SafeComponent(stream->Name());
        log.Write(u"Recovering %s ... \n", streamName);
        if (RecoverStream(c, record, stream, streamTarget, streamName) == Next::kAbort)
            return Next::kAbort;
    }
    return Next::kGoOn;
}

}  // namespace

unsigned RecoverThreadProc(WorkerContext* context) {
    context->RunRecovery();
    return 0;
}

void WorkerContext::RunRecovery() {
    Log& log = Log::Global();
    counts = {};
    log.Write(u"Start recover\n");
    progress->SetStatus(u"Recovering", u"Please wait", this);
    if (CreatePath(destination, FolderPrompt::kRetryCancel) != 0) {
        log.Write(u"Create folder %s failed, canceled by user\n", destination);
        progress->Close(kIdCancel);
        return;
    }
    if (!progress->IsCancelled()) {
        for (int item = list->GetNextItem(-1); item != -1; item = list->GetNextItem(item)) {
            if (list->GetCheck(item)) {
                const DeletedFileEntry* entry = list->GetItemData(item);
                if (entry && entry->record && session) {
                    const std::u16string path = list->GetItemText(item, DeletedFileEntry::kPath);
                    if (RecoverEntry(*this, *entry, path) == Next::kAbort) {
                        progress->Close(kIdOk);
                        return;
                    }
                }
            }
            if (progress->IsCancelled()) break;
        }
    }
    log.Write(progress->IsCancelled() ? u"Canceled by user\n"
                                      : u"All files are processed, recover end\n");
    progress->Close(kIdOk);
}

}  // namespace qv
