// A recovery: every chosen file is written below the destination.
#include "recovery/Recovery.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <utility>

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
#include "recovery/WriterQueue.h"
#include "scan/ScanSession.h"
#include "volume/VolumeReader.h"

namespace qv {

namespace {

enum class Next { kGoOn, kAbort };

constexpr char16_t kSameVolumeQuestion[] =
    u"The destination is on the volume being scanned; recovering there can overwrite the files "
    u"you are recovering. Continue?";

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

// One step of a file's recovery as the recovering thread leaves it for the writer: the lines
// and outcomes said so far and, when a target was opened, the copy into it.
struct Step {
    std::vector<std::u16string> lines;
    std::vector<RecoveryOutcome> outcomes;
    bool stopPoint = false;  // a file or named stream begins: Stop pressed before it ends the run
    File out;                // open: the copy to make
    std::shared_ptr<const FileRecord> record;  // null: the writer loads it
    const RunList* stream = nullptr;           // null: the file's content
    FileState state = FileState::kUnknown;
    uint64_t fileRecord = 0;
    std::u16string name, target;
    std::u16string planned;  // the target before it was opened: a record that cannot be loaded
                             // is reported there, as when it is loaded first
};

class Run;

// The questions of a recovery: before each, everything decided so far is carried out and
// logged, so the user sees every earlier line first.
class DrainingPrompts final : public Prompts {
public:
    DrainingPrompts(Prompts& prompts, Run& run) : prompts_(prompts), run_(run) {}
    int MessageBox(const std::u16string& text, const std::u16string& caption,
                   PromptButtons buttons) override;
    std::optional<std::u16string> SaveFileDialog(const std::u16string& filterName,
                                                 const std::u16string& filterPattern,
                                                 const std::u16string& defaultExtension,
                                                 const std::u16string& initialName,
                                                 const std::u16string& initialFolder) override;

private:
    Prompts& prompts_;
    Run& run_;
};

// One run: its options, its output paths and what it has done so far. The recovering thread
// makes every decision (folders, names, the target's creation with its questions); the writer
// copies the bytes into the opened targets, in the order given, and releases each file's lines
// and outcomes as it completes, so the log is the same as if one thread did everything.
class Run {
public:
    Run(ScanSession& session, const RecoveryOptions& options, Prompts& prompts, Progress& progress,
        RecoveryOutcomeSink* outcomes)
        : session_(session),
          options_(options),
          prompts_(prompts),
          progress_(progress),
          outcomes_(outcomes),
          draining_(prompts, *this),
          paths_(options.destination, options.existingFile, draining_, progress) {
        paths_.BeforeLastingChange([this] { Drain(); });
    }

    bool PrepareDestination();
    // Starts the writer: on a thread of its own when the volume can be opened a second time.
    void StartWriter();
    Next RecoverFile(const DeletedFile& file, TargetFolders& plan);
    // Everything decided so far carried out; the lines said so far logged.
    void Drain() {
        Emit();
        if (writer_) writer_->Drain();
    }
    void Close() {
        Drain();
        writer_.reset();
        paths_.Close();
    }

    RecoverySummary summary;
    std::vector<std::u16string> lines;  // said on the recovering thread, not yet handed over

private:
    bool Refuse(const std::u16string& why) {
        summary.refused = true;
        summary.refusal = why;
        return false;
    }
    void Outcome(const DeletedFile& file, const std::u16string& name, const std::u16string& target,
                 RecoveryOutcome::Kind kind, uint64_t bytes, std::u16string cause) {
        pendingOutcomes_.push_back(
            RecoveryOutcome{file.record, name, target, kind, bytes, std::move(cause)});
    }
    void Release(const RecoveryOutcome& outcome);
    // Hands the lines and outcomes said so far (and a copy, when the step has one) to the writer.
    void Emit(Step step = {});
    void Carry(Step& step);
    void Copy(Step& step);
    Next RecoverStream(const DeletedFile& file, const std::shared_ptr<const FileRecord>& record,
                       const RunList* stream, std::u16string target, const std::u16string& name);

    ScanSession& session_;
    const RecoveryOptions& options_;
    Prompts& prompts_;
    Progress& progress_;
    RecoveryOutcomeSink* outcomes_;
    DrainingPrompts draining_;
    OutputPaths paths_;
    std::vector<RecoveryOutcome> pendingOutcomes_;
    bool stopPoint_ = false;  // the next step begins a file or a named stream
    // The writer's own: VolumeReader is not thread-safe.
    VolumeReader copyReader_;
    VolumeReader* reader_ = nullptr;
    bool dropping_ = false;  // Stop was seen between steps: nothing more is written or said
    std::unique_ptr<WriterQueue<Step>> writer_;
};

int DrainingPrompts::MessageBox(const std::u16string& text, const std::u16string& caption,
                                PromptButtons buttons) {
    run_.Drain();
    return prompts_.MessageBox(text, caption, buttons);
}

std::optional<std::u16string> DrainingPrompts::SaveFileDialog(
    const std::u16string& filterName, const std::u16string& filterPattern,
    const std::u16string& defaultExtension, const std::u16string& initialName,
    const std::u16string& initialFolder) {
    run_.Drain();
    return prompts_.SaveFileDialog(filterName, filterPattern, defaultExtension, initialName,
                                   initialFolder);
}

void Run::StartWriter() {
    reader_ = &session_.Reader();
    bool threaded = false;
    if (const Source* source = session_.Reader().OpenedSource(); source && options_.writerThread) {
        threaded = static_cast<bool>(copyReader_.Open(*source));
        if (threaded) reader_ = &copyReader_;
    }
    writer_ = std::make_unique<WriterQueue<Step>>([this](Step& step) { Carry(step); }, threaded);
}

void Run::Release(const RecoveryOutcome& outcome) {
    switch (outcome.kind) {
        case RecoveryOutcome::kRecovered: ++summary.recovered; break;
        case RecoveryOutcome::kIncomplete: ++summary.incomplete; break;
        case RecoveryOutcome::kFailed: ++summary.failed; break;
        case RecoveryOutcome::kSkipped: ++summary.skipped; break;
        case RecoveryOutcome::kCanceled: ++summary.canceled; break;
    }
    if (outcomes_) outcomes_->Take(outcome);
}

void Run::Emit(Step step) {
    if (!step.out.IsOpen() && lines.empty() && pendingOutcomes_.empty()) return;
    step.lines.swap(lines);
    step.outcomes.swap(pendingOutcomes_);
    step.stopPoint = std::exchange(stopPoint_, false);
    if (writer_) {
        writer_->Push(std::move(step));
    } else {
        Carry(step);  // before the writer starts (the destination's checks)
    }
}

// The writer: says what the step holds and makes its copy, unless Stop was pressed before a file
// or stream it begins; then it and everything after it is dropped, the targets made for them
// removed, as a recovery stopped there leaves them.
void Run::Carry(Step& step) {
    const ReportCapture toTheLog(nullptr);  // a writer without a thread runs inside the capture
    if (!dropping_ && step.stopPoint && progress_.IsCancelled()) dropping_ = true;
    if (dropping_) {
        if (step.out.IsOpen()) {
            step.out.Close();
            File::Remove(step.target);
        }
        return;
    }
    for (const std::u16string& line : step.lines)
        ReportText(line);
    for (const RecoveryOutcome& outcome : step.outcomes)
        Release(outcome);
    if (step.out.IsOpen()) Copy(step);
}

// Writes one stream (the file's content when stream is null) into its open target, with its
// log lines and outcome.
void Run::Copy(Step& step) {
    if (!step.record) {
        auto loaded = session_.LoadFile(step.fileRecord, reader_);
        if (!loaded) {
            // Said as when the record is loaded before its target is made; the target goes.
            step.out.Close();
            File::Remove(step.target);
            const std::u16string cause = FromUtf8(loaded.error().Text());
            Report(u"Recover %s to %s failed\n", step.name, step.planned);
            Report(u"%s: %s\n", step.planned, cause);
            Release(RecoveryOutcome{step.fileRecord, step.name, step.planned,
                                    RecoveryOutcome::kFailed, 0, cause});
            return;
        }
        step.record = std::move(*loaded);
    }
    const FileRecord& record = *step.record;
    const RunList* stream = step.stream;
    const std::u16string& name = step.name;
    const std::u16string& target = step.target;
    const auto outcome = [&](RecoveryOutcome::Kind kind, uint64_t bytes, std::u16string cause) {
        Release(RecoveryOutcome{step.fileRecord, name, target, kind, bytes, std::move(cause)});
    };
    VolumeReader& reader = *reader_;
    const uint32_t cs = reader.ClusterSize();
    const uint64_t expected = stream ? stream->TotalSize(cs) : record.TotalDataSize(cs);
    CountingSink counted(step.out);
    Result<Copied> copied = Copied::kWhole;
    if (stream == nullptr) {
        copied = CopyRecordData(counted, record, reader, progress_);
    } else {
        progress_.SetSteps(static_cast<int64_t>(expected));
        copied = CopyTo(*stream, reader, counted, progress_);
    }
    if (copied && *copied == Copied::kStopped && counted.Bytes() < expected) {
        // Cut short by Stop: a partial file must never look like a recovered one.
        step.out.Close();
        File::Remove(target);
        Report(u"Recover %s to %s canceled\n", name, target);
        outcome(RecoveryOutcome::kCanceled, 0, {});
        return;
    }
    const char16_t* notWhole = nullptr;
    if (copied) notWhole = WhyNotWhole(record, stream ? stream->Name() : std::u16string());
    if (copied && (*copied == Copied::kIncomplete || notWhole)) {
        const std::u16string cause =
            notWhole ? std::u16string(notWhole) : FromUtf8(DescribeError(kErrCopyIncomplete));
        Report(u"Recover %s to %s incomplete\n", name, target);
        Report(u"%s: %s\n", target, cause);
        outcome(RecoveryOutcome::kIncomplete, counted.Bytes(), cause);
    } else if (!copied) {
        const Error& e = copied.error();
        // A write that failed says why in the system's words; anything else in ours.
        const std::u16string cause =
            e.code == kErrWrite ? ErrorText(e.osError) : FromUtf8(DescribeError(e.code));
        Report(u"Recover %s to %s failed\n", name, target);
        Report(u"%s: %s\n", target, cause);
        outcome(RecoveryOutcome::kFailed, counted.Bytes(), cause);
    } else {
        if (options_.keepTimes) {
            CTime created, modified, accessed;
            if (record.GetTimes(created, modified, accessed) == 0)
                step.out.SetTimes(accessed.Seconds(), modified.Seconds());
        }
        Report(u"Recover %s to %s success%s\n", name, target,
               stream ? u"" : OverwrittenNote(step.state));
        outcome(RecoveryOutcome::kRecovered, counted.Bytes(), {});
    }
    step.out.Close();
}

// Opens one stream's target (the file's content when stream is null), with its prompts, and
// hands the copy to the writer.
Next Run::RecoverStream(const DeletedFile& file, const std::shared_ptr<const FileRecord>& record,
                        const RunList* stream, std::u16string target, const std::u16string& name) {
    Step step;
    if (!record) step.planned = target;
    const int opened = paths_.OpenTarget(step.out, target, name);
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
    step.record = record;
    step.stream = stream;
    step.state = file.state;
    step.fileRecord = file.record;
    step.name = name;
    step.target = std::move(target);
    Emit(std::move(step));
    return Next::kGoOn;
}

Next Run::RecoverFile(const DeletedFile& file, TargetFolders& plan) {
    const std::u16string& name = file.name;
    stopPoint_ = true;
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
    // A file without named streams needs nothing of its record to be placed: the writer loads
    // it, through its own reader, while the next files are placed.
    if (!file.hasNamedStreams && reader_ == &copyReader_)
        return RecoverStream(file, nullptr, nullptr, std::move(target), name);
    auto loaded = session_.LoadFile(file.record);
    if (!loaded) {
        const std::u16string cause = FromUtf8(loaded.error().Text());
        Report(u"Recover %s to %s failed\n", name, target);
        Report(u"%s: %s\n", target, cause);
        Outcome(file, name, target, RecoveryOutcome::kFailed, 0, cause);
        return Next::kGoOn;
    }
    const std::shared_ptr<const FileRecord> record = std::move(*loaded);
    if (RecoverStream(file, record, nullptr, target, name) == Next::kAbort) return Next::kAbort;

    // Named streams (a download's zone identifier, say) go beside the file as file:stream.
    for (size_t i = 0; const RunList* stream = record->GetDataStream(i); ++i) {
        if (stream->Name().empty()) continue;
        if (progress_.IsCancelled()) break;
        const std::u16string streamName = name + u":" + stream->Name();
        const std::u16string streamTarget = target + u":" + SafeComponent(stream->Name());
        stopPoint_ = true;
        Report(u"Recovering %s ... \n", streamName);
        if (RecoverStream(file, record, stream, streamTarget, streamName) == Next::kAbort)
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
            plan.AddFile(file);
    std::vector<const DeletedFile*> order;
    order.reserve(chosen.size());
    for (const DeletedFile& file : chosen)
        order.push_back(&file);
    if (options.recordOrder)
        std::stable_sort(
            order.begin(), order.end(),
            [](const DeletedFile* a, const DeletedFile* b) { return a->record < b->record; });
    run.StartWriter();
    {
        // A file's lines wait for the writer to complete the file.
        const ReportCapture capture(&run.lines);
        for (size_t i = 0; i < chosen.size(); ++i) {
            if (progress.IsCancelled()) break;
            if (run.RecoverFile(*order[i], plan) == Next::kAbort) {
                run.Close();
                run.summary.notReached = static_cast<int>(chosen.size() - i);
                return run.summary;
            }
        }
        run.Close();
    }
    Report(progress.IsCancelled() ? u"Canceled by user\n"
                                  : u"All files are processed, recover end\n");
    return run.summary;
}

}  // namespace qv
