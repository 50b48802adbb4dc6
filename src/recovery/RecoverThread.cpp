// The recovery worker: every checked row of the list is written below the destination.
#include <cstring>

#include "base/Error.h"
#include "app/ListControl.h"
#include "app/Log.h"
#include "app/ProgressDialog.h"
#include "app/WorkerContext.h"
#include "ntfs/DataCopy.h"
#include "ntfs/FileRecord.h"
#include "platform/File.h"
#include "platform/SameVolume.h"
#include "platform/Text.h"
#include "recovery/TargetFolders.h"
#include "recovery/TargetNames.h"
#include "scan/DeletedFileEntry.h"
#include "scan/ScanSession.h"
#include "volume/VolumeReader.h"

namespace qv {

namespace {

enum class Next { kGoOn, kAbort };

constexpr char16_t kSameVolumeQuestion[] =
    u"The destination is on the volume being scanned; recovering there can overwrite the files "
    u"you are recovering. Continue?";

// The name a recovered file gets: its own, made safe; a file without any name is named after its
// record.
std::u16string LeafName(const FileRecord& record) {
    const std::u16string name = record.GetName();
    if (name.empty()) return u"record-" + FromUtf8(std::to_string(record.RecordNumber()));
    return SafeComponent(name);
}

// A chosen row: its file, and the folder its Path names (from the top down).
struct Chosen {
    const DeletedFileEntry* entry;
    TargetFolders::Names folder;
};

// Why a copy that ran to its end still cannot be the whole stream, or nothing.
const char16_t* WhyNotWhole(const FileRecord& record, const std::u16string& stream) {
    if (record.ExtentMissing(stream))
        return u"part of its data lies in an extension record that is missing, reused or damaged";
    if (record.Damaged()) return u"its record is damaged";
    return nullptr;
}

// Writes one stream (the file's content when stream is null) into target, with its prompts and
// its log lines.
Next RecoverStream(WorkerContext& c, const FileRecord& record, const RunList* stream,
                   std::u16string target, const std::u16string& name) {
    Log& log = Log::Global();
    File file;
    const int opened = c.OpenTarget(file, target, name);
    if (opened == kIdAbort) {
        log.Write(u"Open file %s failed\n", target);
        log.Write(u"%s: %s\n", target, ErrorText(c.lastError));
        log.Write(u"Canceled by user\n");
        return Next::kAbort;
    }
    if (opened == kIdIgnore) {
        log.Write(u"Open file %s failed, skip\n", target);
        log.Write(u"%s: %s\n", target, ErrorText(c.lastError));
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
    if (result >= 0 && c.progress->IsCancelled()) {
        const int64_t written = file.Length();
        if (written < 0 || static_cast<uint64_t>(written) < expected) {
            // Cut short by Stop: a partial file must never look like a recovered one.
            file.Close();
            File::Remove(target);
            log.Write(u"Recover %s to %s canceled\n", name, target);
            ++c.counts.canceled;
            return Next::kGoOn;
        }
    }
    const char16_t* notWhole = nullptr;
    if (result >= 0) notWhole = WhyNotWhole(record, stream ? stream->Name() : std::u16string());
    if (result == kErrCopyIncomplete || notWhole) {
        log.Write(u"Recover %s to %s incomplete\n", name, target);
        log.Write(u"%s: %s\n", target,
                  notWhole ? std::u16string(notWhole) : FromUtf8(DescribeError(result)));
        ++c.counts.incomplete;
    } else if (result < 0) {
        log.Write(u"Recover %s to %s failed\n", name, target);
        log.Write(
            u"%s: %s\n", target,
            result == kErrWrite ? ErrorText(file.LastError()) : FromUtf8(DescribeError(result)));
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

Next RecoverEntry(WorkerContext& c, const Chosen& chosen, TargetFolders& plan) {
    Log& log = Log::Global();
    const FileRecord& record = *chosen.entry->record;
    const std::u16string name = record.GetName();
    log.Write(u"Recovering %s ... \n", name);
    c.progress->SetStatus(Format(u"Recovering %s", name), u"Please wait", &c);

    std::u16string target = c.destination;
    if (c.recreatePaths && !chosen.folder.empty()) {
        const TargetFolders::Id folder = plan.Folder(chosen.folder);
        const int answer = c.MakeTargetFolder(plan, folder);
        const std::u16string wanted = c.destination + plan.Relative(folder);
        if (answer == kIdAbort) {
            log.Write(u"Create folder %s failed\n", wanted);
            log.Write(u"%s: %s\n", wanted, ErrorText(c.lastError));
            log.Write(u"Canceled by user\n");
            return Next::kAbort;
        }
        if (answer == kIdIgnore) {
            log.Write(u"Create folder %s failed, recover to %s\n", wanted, c.destination);
            log.Write(u"%s: %s\n", wanted, ErrorText(c.lastError));
        } else {
            target = wanted;
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

// Makes the destination and checks that it can take the files; false (and the reason logged
// and kept in the context) when nothing must be written.
bool PrepareDestination(WorkerContext& c) {
    Log& log = Log::Global();
    const auto refuse = [&](const std::u16string& why) {
        c.counts.refused = true;
        c.refusal = why;
        return false;
    };
    if (c.destination.empty()) return refuse(u"no destination folder was given");
    // Asked before anything is made: even the destination folder itself would be written onto
    // the volume.
    if (c.session && c.destinationOnSource(c.session->Reader().SourcePath(), c.destination)) {
        bool goOn = c.sameVolume == WorkerContext::SameVolume::kAllow;
        if (c.sameVolume == WorkerContext::SameVolume::kAsk)
            goOn = c.prompts->MessageBox(kSameVolumeQuestion, u"Warnning", PromptButtons::kYesNo) ==
                   kIdYes;
        log.Write(u"%s %s\n", kSameVolumeQuestion, goOn ? u"Yes" : u"No");
        c.counts.onSameVolume = !goOn;
        if (!goOn)
            return refuse(c.destination + u": it is on the volume being scanned (" +
                          c.session->Reader().SourcePath() + u")");
    }
    if (c.CreatePath(c.destination, WorkerContext::FolderPrompt::kRetryCancel) != 0) {
        log.Write(u"Create folder %s failed, canceled by user\n", c.destination);
        log.Write(u"%s: %s\n", c.destination, ErrorText(c.lastError));
        return refuse(c.destination + u": " + ErrorText(c.lastError));
    }
    if (c.progress->IsCancelled()) return true;
    if (const int error = c.OpenDestination(); error != 0) {
        // A file, or a folder this user cannot write into: said once, before the first file.
        const std::u16string why = c.destination + u": " + ErrorText(error);
        log.Write(u"Cannot recover into %s\n", why);
        c.prompts->MessageBox(u"Cannot recover into " + why, u"Error", PromptButtons::kOk);
        return refuse(why);
    }
    return true;
}

}  // namespace

unsigned RecoverThreadProc(WorkerContext* context) {
    context->RunRecovery();
    return 0;
}

void WorkerContext::RunRecovery() {
    Log& log = Log::Global();
    counts = {};
    refusal.clear();
    log.Write(u"Start recover\n");
    progress->SetStatus(u"Recovering", u"Please wait", this);
    if (!PrepareDestination(*this)) {
        destinationFolder.Close();
        progress->Close(kIdCancel);
        return;
    }
    // The chosen rows first: every file's name is known before the first folder is named, so
    // a folder never takes the name of a file beside it.
    std::vector<Chosen> chosen;
    TargetFolders plan;
    for (int item = list->GetNextItem(-1); item != -1; item = list->GetNextItem(item)) {
        if (!list->GetCheck(item)) continue;
        const DeletedFileEntry* entry = list->GetItemData(item);
        if (!entry || !entry->record || !session) continue;
        Chosen c{entry, FolderNames(list->GetItemText(item, DeletedFileEntry::kPath))};
        plan.AddFile(c.folder, LeafName(*entry->record));
        chosen.push_back(std::move(c));
    }
    for (size_t i = 0; i < chosen.size(); ++i) {
        if (progress->IsCancelled()) break;
        if (RecoverEntry(*this, chosen[i], plan) == Next::kAbort) {
            counts.notReached = static_cast<int>(chosen.size() - i);
            destinationFolder.Close();
            progress->Close(kIdOk);
            return;
        }
    }
    destinationFolder.Close();
    log.Write(progress->IsCancelled() ? u"Canceled by user\n"
                                      : u"All files are processed, recover end\n");
    progress->Close(kIdOk);
}

}  // namespace qv
