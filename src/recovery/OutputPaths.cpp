// Folders and target files of a recovery, with the questions they may need.
#include "app/ProgressDialog.h"
#include "app/Prompts.h"
#include "app/WorkerContext.h"
#include "platform/File.h"
#include "platform/SafeDirectory.h"
#include "recovery/TargetNames.h"

namespace qv {

namespace {

PromptButtons ButtonsFor(WorkerContext::FolderPrompt kind) {
    return kind == WorkerContext::FolderPrompt::kRetryCancel ? PromptButtons::kRetryCancel
                                                             : PromptButtons::kAbortRetryIgnore;
}

bool Below(const std::u16string& path, const std::u16string& folder) {
    return !folder.empty() && path.size() > folder.size() &&
           path.compare(0, folder.size(), folder) == 0;
}

std::u16string FolderOf(const std::u16string& path) {
    const size_t slash = path.rfind(u'/');
    return slash == std::u16string::npos ? std::u16string() : path.substr(0, slash + 1);
}

}  // namespace

int WorkerContext::CreatePath(std::u16string path, FolderPrompt kind) {
    if (path.empty() || path.back() != u'/') path += u'/';
    // "/" is the root: it is never made.
    size_t start = path.front() == u'/' ? 1 : 0;
    while (true) {
        if (progress->IsCancelled()) return 0;
        const size_t slash = path.find(u'/', start);
        if (slash == std::u16string::npos) return 0;
        if (const int answer = CreateFolder(path.substr(0, slash + 1), kind); answer != 0)
            return answer;
        start = slash + 1;
    }
}

int WorkerContext::CreateFolder(const std::u16string& folder, FolderPrompt kind) {
    while (true) {
        if (progress->IsCancelled()) return 0;
        // Below the destination nothing is followed through a symbolic link; the destination
        // and the folders above it are the user's own.
        const int error = Below(folder, destination)
                              ? MakeFolderBelow(destination, folder.substr(destination.size()))
                              : MakeFolder(folder);
        if (error == 0) return 0;
        const int answer = prompts->MessageBox(u"Create folder " + folder + u" failed, continue?",
                                               u"Error", ButtonsFor(kind));
        if (answer != kIdRetry) return answer;
    }
}

int WorkerContext::OpenTarget(File& file, std::u16string& target, const std::u16string& fileName) {
    while (true) {
        if (progress->IsCancelled()) return kStopped;
        const int confirmed = ConfirmOverwrite(target, fileName);
        if (confirmed != 0) return confirmed;  // skip, or stopped
        // Stop may have been pressed while a question was open: then nothing is truncated.
        if (progress->IsCancelled()) return kStopped;
        const bool opened =
            Below(target, destination)
                ? CreateFileBelow(file, destination, target.substr(destination.size()))
                : file.Open(target, File::Mode::kCreate);
        if (opened) return 0;
        const int answer = prompts->MessageBox(u"Can't create file " + target + u", continue?",
                                               u"Error", PromptButtons::kAbortRetryIgnore);
        if (answer == kIdAbort) return kIdAbort;
        if (answer == kIdIgnore) return kIdIgnore;
    }
}

int WorkerContext::ConfirmOverwrite(std::u16string& target, const std::u16string& fileName) {
    while (true) {
        if (progress->IsCancelled()) return kStopped;
        if (!PathExists(target)) return 0;
        switch (existingFile) {
            case ExistingFile::kOverwrite: return 0;
            case ExistingFile::kSkip: return kIdIgnore;
            case ExistingFile::kRename: {
                const std::u16string folder = FolderOf(target);
                const std::u16string leaf = target.substr(folder.size());
                for (int n = 1;; ++n) {
                    const std::u16string candidate = folder + NumberedName(leaf, n);
                    if (!PathExists(candidate)) {
                        target = candidate;
                        return 0;
                    }
                }
            }
            case ExistingFile::kAsk: break;
        }
        const int answer = prompts->MessageBox(target + u" existed, Overwrite?", u"Warnning",
                                               PromptButtons::kYesNoCancel);
        if (answer == kIdYes) return 0;
        if (answer != kIdNo) return kIdIgnore;  // Cancel: the file is skipped
        if (auto chosen = prompts->SaveFileDialog(u"All files (*.*)", u"*.*", u"", fileName)) {
            // A bare name typed on a terminal goes beside the file it replaces.
            target = (!chosen->empty() && chosen->front() == u'/') ? *chosen
                                                                   : FolderOf(target) + *chosen;
            return 0;
        }
        // The save dialog was cancelled: ask about the same file again.
    }
}

}  // namespace qv
