#pragma once

#include <functional>
#include <string>

#include "platform/DestinationFolder.h"

namespace qv {

class File;
class Progress;
class Prompts;
class TargetFolders;

// What a recovery does with a target file that exists: ask (the overwrite question), overwrite
// it, skip the file, or write it under the next free numbered name.
enum class ExistingFile { kAsk, kOverwrite, kSkip, kRename };

// The folders and target files of one recovery, with the questions they may need. The
// destination is made as the user named it (a whole path, the user's own); everything below it
// is made through its open folder, never through a link. Every operation gives up quietly once
// Stop is pressed.
class OutputPaths {
public:
    // How a folder that cannot be made is asked about.
    enum class FolderPrompt { kRetryCancel, kAbortRetryIgnore };
    // OpenTarget and ConfirmOverwrite: Stop was pressed; nothing was opened, made or truncated.
    static constexpr int kStopped = -1;

    // destination: tidy, ends in "/".
    OutputPaths(std::u16string destination, ExistingFile existing, Prompts& prompts,
                Progress& progress);

    // Makes every missing folder of a whole path; 0 or the answer that ended it (Cancel, Abort,
    // Ignore).
    int CreatePath(std::u16string path, FolderPrompt kind);
    int CreateFolder(const std::u16string& folder, FolderPrompt kind);
    // Opens the destination for writing below it; the error says what makes it unusable.
    Status OpenDestination();
    // Makes a folder of the plan below the destination (and the ones above it), renaming it
    // when the name is taken by something that is not a folder. 0, kIdAbort, kIdIgnore, or
    // kStopped.
    int MakeTargetFolder(TargetFolders& plan, size_t folder);
    // Creates the target file (asking about one that exists): 0 with the file open, kIdAbort,
    // kIdIgnore (skip it), or kStopped. The target may change (rename, another name chosen).
    int OpenTarget(File& file, std::u16string& target, const std::u16string& fileName);
    // The existing-file rule for a target: 0 (go on; the target may have changed), kIdIgnore
    // (skip), or kStopped.
    int ConfirmOverwrite(std::u16string& target, const std::u16string& fileName);
    void Close() { folder_.Close(); }
    // Called right before a change that Stop must not find made ahead of the files before it:
    // an existing file opened for overwriting (truncated) or a folder made. A recovery that
    // copies on another thread first finishes the files before it, so Stop never leaves a file
    // whose old content is gone, or a folder, for a file that was never written.
    void BeforeLastingChange(std::function<void()> hook) { beforeChange_ = std::move(hook); }

    const std::u16string& Destination() const { return destination_; }
    // The errno of the last folder or file that could not be made, for the log line after it.
    int LastError() const { return lastError_; }

private:
    // The open destination when path lies below it, opened on first use; null for a path
    // outside it. *opened says whether the destination could be opened.
    DestinationFolder* Beneath(const std::u16string& path, Status* opened);

    std::u16string destination_;
    ExistingFile existing_;
    Prompts& prompts_;
    Progress& progress_;
    DestinationFolder folder_;
    int lastError_ = 0;
    std::function<void()> beforeChange_;
};

}  // namespace qv
