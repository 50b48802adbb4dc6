// A recovery: every chosen file is written below the destination.
#include "recovery/Recovery.h"

#include "base/Error.h"
#include "base/Progress.h"
#include "base/Prompts.h"
#include "base/Report.h"
#include "ntfs/DataCopy.h"
#include "ntfs/FileRecord.h"
#include "platform/File.h"
#include "platform/Text.h"
#include "recovery/TargetFolders.h"
#include "recovery/TargetNames.h"
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
std::u16string LeafName(const DeletedFile& file) {
    if (file.name.empty()) return u"record-" + FromUtf8(std::to_string(file.record));
    return SafeComponent(file.name);
}

// Why a copy that ran to its end still cannot be the whole stream, or nothing.
const char16_t* WhyNotWhole(const FileRecord& record, const std::u16string& stream) {
    if (record.ExtentMissing(stream))
        return u"part of its data lies in an extension record that is missing, reused or damaged";
    if (record.Damaged()) return u"its record is damaged";
    return nullptr;
}

// What a success line adds when the file's clusters were taken by other files since: the copy
// holds what they hold now, not (all of) the deleted content.
const char16_t* OverwrittenNote(FileState state) {
    switch (state) {
        case FileState::kPartlyOverwritten: return u" (partly overwritten)";
        case FileState::kOverwritten: return u" (overwritten)";
        default: return u"";
    }
}

// One run: its options, its output paths and what it has done so far.
class Run {
public:
    Run(ScanSession& session, const RecoveryOptions& options, Prompts& prompts, Progress& progress,
        RecoveryOutcomeSink* outcomes)
        : session_(session),
          options_(options),
          prompts_(prompts),
          progress_(progress),
          outcomes_(outcomes),
          paths_(options.destination, options.existingFile, prompts, progress) {}

    bool PrepareDestination();
    Next RecoverFile(const DeletedFile& file, TargetFolders& plan);
    void Close() { paths_.Close(); }

    RecoverySummary summary;

private:
    bool Refuse(const std::u16string& why) {
        summary.refused = true;
        summary.refusal = why;
        return false;
    }
    void Outcome(const DeletedFile& file, const std::u16string& name, const std::u16string& target,
                 RecoveryOutcome::Kind kind, uint64_t bytes, std::u16string cause);
    Next RecoverStream(const DeletedFile& file, const FileRecord& record, const RunList* stream,
                       std::u16string target, const std::u16string& name);

    ScanSession& session_;
    const RecoveryOptions& options_;
    Prompts& prompts_;
    Progress& progress_;
    RecoveryOutcomeSink* outcomes_;
    OutputPaths paths_;
};

void Run::Outcome(const DeletedFile& file, const std::u16string& name, const std::u16string& target,
                  RecoveryOutcome::Kind kind, uint64_t bytes, std::u16string cause) {
    switch (kind) {
        case RecoveryOutcome::kRecovered: ++summary.recovered; break;
        case RecoveryOutcome::kIncomplete: ++summary.incomplete; break;
        case RecoveryOutcome::kFailed: ++summary.failed; break;
        case RecoveryOutcome::kSkipped: ++summary.skipped; break;
        case RecoveryOutcome::kCanceled: ++summary.canceled; break;
    }
    if (outcomes_)
        outcomes_->Take(RecoveryOutcome{file.record, name, target, kind, bytes, std::move(cause)});
}

// Writes one stream (the file's content when stream is null) into target, with its prompts and
// its log lines.
Next Run::RecoverStream(const DeletedFile& file, const FileRecord& record, const RunList* stream,
                        std::u16string target, const std::u16string& name) {
    File out;
    const int opened = paths_.OpenTarget(out, target, name);
    if (opened == kIdAbort) {
        Report(u"Open file %s failed\n", target);
        Report(u"%s: %s\n", target, ErrorText(paths_.LastError()));
        Report(u"Canceled by user\n");
        return Next::kAbort;
    }
    if (opened == kIdIgnore) {
        Report(u"Open file %s failed, skip\n", target);
        Report(u"%s: %s\n", target, ErrorText(paths_.LastError()));
        Outcome(file, name, target, RecoveryOutcome::kSkipped, 0, ErrorText(paths_.LastError()));
        return Next::kGoOn;
    }
    if (opened == OutputPaths::kStopped) {
        // Stop was pressed at a prompt: nothing was opened, created or truncated.
        Report(u"Recover %s to %s canceled\n", name, target);
        Outcome(file, name, target, RecoveryOutcome::kCanceled, 0, {});
        return Next::kGoOn;
    }

    VolumeReader& reader = session_.Reader();
    const uint32_t cs = reader.ClusterSize();
    const uint64_t expected = stream ? stream->TotalSize(cs) : record.TotalDataSize(cs);
    CountingSink counted(out);
    Result<Copied> copied = Copied::kWhole;
    if (stream == nullptr) {
        copied = CopyRecordData(counted, record, reader, progress_);
    } else {
        progress_.SetSteps(static_cast<int64_t>(expected));
        copied = CopyTo(*stream, reader, counted, progress_);
    }
    if (copied && *copied == Copied::kStopped && counted.Bytes() < expected) {
        // Cut short by Stop: a partial file must never look like a recovered one.
        out.Close();
        File::Remove(target);
        Report(u"Recover %s to %s canceled\n", name, target);
        Outcome(file, name, target, RecoveryOutcome::kCanceled, 0, {});
        return Next::kGoOn;
    }
    const char16_t* notWhole = nullptr;
    if (copied) notWhole = WhyNotWhole(record, stream ? stream->Name() : std::u16string());
    if (copied && (*copied == Copied::kIncomplete || notWhole)) {
        const std::u16string cause =
            notWhole ? std::u16string(notWhole) : FromUtf8(DescribeError(kErrCopyIncomplete));
        Report(u"Recover %s to %s incomplete\n", name, target);
        Report(u"%s: %s\n", target, cause);
        Outcome(file, name, target, RecoveryOutcome::kIncomplete, counted.Bytes(), cause);
    } else if (!copied) {
        const Error& e = copied.error();
        // A write that failed says why in the system's words; anything else in ours.
        const std::u16string cause =
            e.code == kErrWrite ? ErrorText(e.osError) : FromUtf8(DescribeError(e.code));
        Report(u"Recover %s to %s failed\n", name, target);
        Report(u"%s: %s\n", target, cause);
        Outcome(file, name, target, RecoveryOutcome::kFailed, counted.Bytes(), cause);
    } else {
        if (options_.keepTimes) {
            CTime created, modified, accessed;
            if (record.GetTimes(created, modified, accessed) == 0)
                out.SetTimes(accessed.Seconds(), modified.Seconds());
        }
        Report(u"Recover %s to %s success%s\n", name, target,
               stream ? u"" : OverwrittenNote(file.state));
        Outcome(file, name, target, RecoveryOutcome::kRecovered, counted.Bytes(), {});
    }
    return Next::kGoOn;
}

Next Run::RecoverFile(const DeletedFile& file, TargetFolders& plan) {
    const std::u16string& name = file.name;
    Report(u"Recovering %s ... \n", name);
    progress_.SetStatusText(Format(u"Recovering %s", name));

    const std::u16string& destination = paths_.Destination();
    std::u16string target = destination;
    if (options_.recreatePaths && !file.folder.Empty()) {
        const TargetFolders::Id folder = plan.Folder(file.folder);
        const int answer = paths_.MakeTargetFolder(plan, folder);
        const std::u16string wanted = destination + plan.Relative(folder);
        if (answer == kIdAbort) {
            Report(u"Create folder %s failed\n", wanted);
            Report(u"%s: %s\n", wanted, ErrorText(paths_.LastError()));
            Report(u"Canceled by user\n");
            return Next::kAbort;
        }
        if (answer == kIdIgnore) {
            Report(u"Create folder %s failed, recover to %s\n", wanted, destination);
            Report(u"%s: %s\n", wanted, ErrorText(paths_.LastError()));
        } else {
            target = wanted;
        }
    }
    target += LeafName(file);
    auto record = session_.LoadFile(file.record);
    if (!record) {
        const std::u16string cause = FromUtf8(record.error().Text());
        Report(u"Recover %s to %s failed\n", name, target);
        Report(u"%s: %s\n", target, cause);
        Outcome(file, name, target, RecoveryOutcome::kFailed, 0, cause);
        return Next::kGoOn;
    }
    if (RecoverStream(file, **record, nullptr, target, name) == Next::kAbort) return Next::kAbort;

    // Named streams (a download's zone identifier, say) go beside the file as file:stream.
    for (size_t i = 0; const RunList* stream = (*record)->GetDataStream(i); ++i) {
        if (stream->Name().empty()) continue;
        if (progress_.IsCancelled()) break;
        const std::u16string streamName = name + u":" + stream->Name();
        const std::u16string streamTarget = target + u":" + SafeComponent(stream->Name());
        Report(u"Recovering %s ... \n", streamName);
        if (RecoverStream(file, **record, stream, streamTarget, streamName) == Next::kAbort)
            return Next::kAbort;
    }
    return Next::kGoOn;
}

// Checks that the destination can take the files and makes it; false (the reason logged and in
// the summary) when nothing must be written.
bool Run::PrepareDestination() {
    const std::u16string& destination = paths_.Destination();
    if (destination.empty()) return Refuse(u"no destination folder was given");
    // Asked before anything is made: even the destination folder itself would be written onto
    // the volume.
    const std::u16string& source = session_.Reader().SourcePath();
    if (options_.destinationOnSource(source, destination)) {
        bool goOn = options_.sameVolume == SameVolume::kAllow;
        if (options_.sameVolume == SameVolume::kAsk)
            goOn = prompts_.MessageBox(kSameVolumeQuestion, u"Warnning", PromptButtons::kYesNo) ==
                   kIdYes;
        Report(u"%s %s\n", kSameVolumeQuestion, goOn ? u"Yes" : u"No");
        summary.onSameVolume = !goOn;
        if (!goOn)
            return Refuse(destination + u": it is on the volume being scanned (" + source + u")");
    }
    if (paths_.CreatePath(destination, OutputPaths::FolderPrompt::kRetryCancel) != 0) {
        Report(u"Create folder %s failed, canceled by user\n", destination);
        Report(u"%s: %s\n", destination, ErrorText(paths_.LastError()));
        return Refuse(destination + u": " + ErrorText(paths_.LastError()));
    }
    if (progress_.IsCancelled()) return true;
    if (Status opened = paths_.OpenDestination(); !opened) {
        // A file, or a folder this user cannot write into: said once, before the first file.
        const std::u16string why = destination + u": " + ErrorText(opened.error().osError);
        Report(u"Cannot recover into %s\n", why);
        prompts_.MessageBox(u"Cannot recover into " + why, u"Error", PromptButtons::kOk);
        return Refuse(why);
    }
    return true;
}

}  // namespace

RecoverySummary Recover(ScanSession& session, const std::vector<DeletedFile>& chosen,
                        const RecoveryOptions& options, Prompts& prompts, Progress& progress,
                        RecoveryOutcomeSink* outcomes) {
    Report(u"Start recover\n");
    Run run(session, options, prompts, progress, outcomes);
    if (!run.PrepareDestination()) return run.summary;
    // Every chosen file's name is known before the first folder is named, so a folder never
    // takes the name of a file beside it.
    TargetFolders plan;
    if (options.recreatePaths)
        for (const DeletedFile& file : chosen)
            plan.AddFile(file.folder, LeafName(file));
    for (size_t i = 0; i < chosen.size(); ++i) {
        if (progress.IsCancelled()) break;
        if (run.RecoverFile(chosen[i], plan) == Next::kAbort) {
            run.summary.notReached = static_cast<int>(chosen.size() - i);
            run.Close();
            return run.summary;
        }
    }
    run.Close();
    Report(progress.IsCancelled() ? u"Canceled by user\n"
                                  : u"All files are processed, recover end\n");
    return run.summary;
}

}  // namespace qv
