#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/ProgressView.h"
#include "base/Prompts.h"
#include "platform/DestinationFolder.h"
#include "platform/SameVolume.h"

namespace qv {

class DeletedFileEntry;
class File;
class ListControl;
class ProgressDialog;
class ScanSession;
class TargetFolders;

// The one object a front end hands to a worker thread. Scan and recovery use the same instance,
// one after the other; while a worker runs, the front end only waits for the progress dialog to
// close, so nothing here is touched by two threads at once.
class WorkerContext : public StopListener {
public:
    // How a folder that cannot be made is asked about.
    enum class FolderPrompt { kRetryCancel, kAbortRetryIgnore };
    // OpenTarget and ConfirmOverwrite: go on, abort the run, skip the file, or Stop was pressed
    // (nothing was opened, created or truncated).
    static constexpr int kStopped = -1;

    WorkerContext();
    ~WorkerContext() override;
    WorkerContext(const WorkerContext&) = delete;
    WorkerContext& operator=(const WorkerContext&) = delete;

    // Set by the front end before each scan and each recovery.
    ProgressDialog* progress = nullptr;
    ListControl* list = nullptr;
    Prompts* prompts = nullptr;
    // Set by the Undelete command: tidy, ends in "/".
    std::u16string destination;
    int32_t recreatePaths = 1;
    // Set by StartScan.
    char16_t driveLetter = 0;
    int32_t advanced = 1;
    // What a recovery does with a target file that exists; ask means the overwrite prompt.
    enum class ExistingFile { kAsk, kOverwrite, kSkip, kRename };
    ExistingFile existingFile = ExistingFile::kAsk;
    // Give the recovered file the deleted file's modification and access times.
    bool keepTimes = false;
    // A destination on the volume being scanned: ask (the window), go on, or refuse (the
    // terminal, unless told to go on).
    enum class SameVolume { kAsk, kAllow, kRefuse };
    SameVolume sameVolume = SameVolume::kAsk;
    // Whether writing into a destination can land on the source (platform/SameVolume.h); tests
    // put a stand-in here.
    bool (*destinationOnSource)(const std::u16string& source,
                                const std::u16string& destination) = &DestinationOnSource;

    // What the last recovery did, file by file (named streams count as files).
    struct RecoveryCounts {
        int recovered = 0;
        int incomplete = 0;
        int failed = 0;
        int skipped = 0;
        int canceled = 0;
        int notReached = 0;         // chosen files after an Abort
        bool refused = false;       // the destination could not be used: nothing was written
        bool onSameVolume = false;  // refused because it lies on the volume being scanned
    };
    RecoveryCounts counts;
    // Why the destination was refused, in words ("/out: Not a directory").
    std::u16string refusal;

    std::unique_ptr<ScanSession> session;
    std::vector<std::unique_ptr<DeletedFileEntry>> results;

    void OnStop() override {}

    // The bodies of the two worker threads.
    void RunScan();
    // The part of RunScan after the session is open: lists its deleted files, or, when reading
    // them fails, logs why, lists nothing and sets scanFailed.
    void ListDeletedFiles();
    bool scanFailed = false;
    void RunRecovery();
    int ClearResults();

    // Output paths of a recovery. CreatePath and CreateFolder make the destination (a whole
    // path, the user's own); OpenDestination then holds it open, and everything below it is made
    // through destinationFolder, never through a link.
    int CreatePath(std::u16string path, FolderPrompt kind);
    int CreateFolder(const std::u16string& folder, FolderPrompt kind);
    // 0, or the errno that makes the destination unusable.
    int OpenDestination();
    // Makes a folder of the plan below the destination (and the ones above it), renaming it
    // when the name is taken by something that is not a folder. 0, kIdAbort, kIdIgnore, or
    // kStopped.
    int MakeTargetFolder(TargetFolders& plan, size_t folder);
    int OpenTarget(File& file, std::u16string& target, const std::u16string& fileName);
    int ConfirmOverwrite(std::u16string& target, const std::u16string& fileName);

    DestinationFolder destinationFolder;
    // The errno of the last folder or file that could not be made, for the log line after it.
    int lastError = 0;
};

// Thread entry points: run the context's scan or recovery and return 0.
unsigned ScanThreadProc(WorkerContext* context);
unsigned RecoverThreadProc(WorkerContext* context);

}  // namespace qv
