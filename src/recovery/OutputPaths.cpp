// Folders and target files of a recovery, with the questions they may need.
#include "recovery/OutputPaths.h"

#include <cerrno>

#include "base/Progress.h"
#include "base/Prompts.h"
#include "base/Report.h"
#include "platform/File.h"
#include "platform/SafeDirectory.h"
#include "platform/Text.h"
#include "recovery/TargetFolders.h"
#include "recovery/TargetNames.h"

namespace qv {

namespace {

PromptButtons ButtonsFor(OutputPaths::FolderPrompt kind) {
    return kind == OutputPaths::FolderPrompt::kRetryCancel ? PromptButtons::kRetryCancel
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

std::u16string WithoutSlash(std::u16string path) {
    if (!path.empty() && path.back() == u'/') path.pop_back();
    return path;
}

}  // namespace

OutputPaths::OutputPaths(std::u16string destination, ExistingFile existing, Prompts& prompts,
                         Progress& progress)
    : destination_(std::move(destination)),
      existing_(existing),
      prompts_(prompts),
      progress_(progress) {}

DestinationFolder* OutputPaths::Beneath(const std::u16string& path, Status* opened) {
    *opened = {};
    if (!Below(path, destination_)) return nullptr;
    if (!folder_.IsOpen()) *opened = OpenDestination();
    return &folder_;
}

int OutputPaths::CreatePath(std::u16string path, FolderPrompt kind) {
    if (path.empty() || path.back() != u'/') path += u'/';
    // "/" is the root: it is never made.
    size_t start = path.front() == u'/' ? 1 : 0;
    while (true) {
        if (progress_.IsCancelled()) return 0;
        const size_t slash = path.find(u'/', start);
        if (slash == std::u16string::npos) return 0;
        if (const int answer = CreateFolder(path.substr(0, slash + 1), kind); answer != 0)
            return answer;
        start = slash + 1;
    }
}

int OutputPaths::CreateFolder(const std::u16string& folder, FolderPrompt kind) {
    while (true) {
        if (progress_.IsCancelled()) return 0;
        // Below an open destination nothing is followed through a symbolic link; the destination
        // and the folders above it are the user's own.
        Status made;
        if (DestinationFolder* below = Beneath(folder, &made)) {
            if (made) made = below->MakeFolder(WithoutSlash(folder.substr(destination_.size())));
        } else {
            made = MakeFolder(folder);
        }
        if (made) return 0;
        lastError_ = made.error().osError;
        const int answer = prompts_.MessageBox(u"Create folder " + folder + u" failed, continue?",
                                               u"Error", ButtonsFor(kind));
        if (answer != kIdRetry) return answer;
    }
}

Status OutputPaths::OpenDestination() {
    return folder_.Open(destination_);
}

int OutputPaths::MakeTargetFolder(TargetFolders& plan, size_t folder) {
    if (plan.Made(folder)) return 0;
    if (!folder_.IsOpen()) {
        if (Status opened = OpenDestination(); !opened) {
            lastError_ = opened.error().osError;
            return kIdIgnore;
        }
    }
    if (const int above = MakeTargetFolder(plan, plan.Parent(folder)); above != 0) return above;
    while (true) {
        if (beforeChange_) beforeChange_();
        if (progress_.IsCancelled()) return kStopped;
        const std::u16string relative = plan.Relative(folder);
        const Status made = folder_.MakeFolder(WithoutSlash(relative));
        if (made) {
            plan.SetMade(folder);
            return 0;
        }
        const int error = made.error().osError;
        if (error == EEXIST) {
            // A file (or a link) has the folder's name: the folder takes the next numbered name,
            // and the files below it go there.
            const std::u16string renamed = plan.Renumber(folder);
            Report(u"Create folder %s as %s, the name is taken\n", destination_ + relative,
                   destination_ + renamed);
            continue;
        }
        lastError_ = error;
        const int answer =
            prompts_.MessageBox(u"Create folder " + destination_ + relative + u" failed, continue?",
                                u"Error", PromptButtons::kAbortRetryIgnore);
        if (answer != kIdRetry) return answer;
    }
}

int OutputPaths::OpenTarget(File& file, std::u16string& target, const std::u16string& fileName) {
    const auto create = [&](bool exclusive) -> Status {
        Status opened;
        if (DestinationFolder* below = Beneath(target, &opened)) {
            if (!opened) return opened;
            return below->CreateFile(file, target.substr(destination_.size()), exclusive);
        }
        // A path the user chose in the save dialog, outside the destination.
        return file.Open(target, exclusive ? File::Mode::kCreateNew : File::Mode::kCreate);
    };
    while (true) {
        if (progress_.IsCancelled()) return kStopped;
        // Most targets do not exist yet: creating them exclusively is the existence test and the
        // creation in one call. Only when something has the name is the existing-file rule asked.
        Status opened = create(true);
        if (!opened && opened.error().osError == EEXIST) {
            const int confirmed = ConfirmOverwrite(target, fileName);
            if (confirmed != 0) return confirmed;  // skip, or stopped
            // Stop may have been pressed while a question was open: then nothing is truncated.
            if (beforeChange_) beforeChange_();
            if (progress_.IsCancelled()) return kStopped;
            opened = create(false);
        }
        if (opened) return 0;
        lastError_ = opened.error().osError;
        const int answer = prompts_.MessageBox(u"Can't create file " + target + u", continue?",
                                               u"Error", PromptButtons::kAbortRetryIgnore);
        if (answer == kIdAbort) return kIdAbort;
        if (answer == kIdIgnore) return kIdIgnore;
    }
}

int OutputPaths::ConfirmOverwrite(std::u16string& target, const std::u16string& fileName) {
    const auto exists = [&](const std::u16string& path) {
        Status opened;
        if (DestinationFolder* below = Beneath(path, &opened))
            return opened && below->Exists(path.substr(destination_.size()));
        return PathExists(path);
    };
    while (true) {
        if (progress_.IsCancelled()) return kStopped;
        if (!exists(target)) return 0;
        switch (existing_) {
            case ExistingFile::kOverwrite: return 0;
            case ExistingFile::kSkip: lastError_ = EEXIST; return kIdIgnore;
            case ExistingFile::kRename: {
                const std::u16string folder = FolderOf(target);
                const std::u16string leaf = target.substr(folder.size());
                for (int n = 1;; ++n) {
                    const std::u16string candidate = folder + NumberedName(leaf, n);
                    if (!exists(candidate)) {
                        target = candidate;
                        return 0;
                    }
                }
            }
            case ExistingFile::kAsk: break;
        }
        const int answer = prompts_.MessageBox(target + u" existed, Overwrite?", u"Warnning",
                                               PromptButtons::kYesNoCancel);
        if (answer == kIdYes) return 0;
        if (answer != kIdNo) {  // Cancel: the file is skipped
            lastError_ = EEXIST;
            return kIdIgnore;
        }
        // The save dialog opens in the file's own folder, so a bare name typed there (or on a
        // terminal) lands beside the file it replaces, inside the destination.
        const std::u16string folder = FolderOf(target);
        if (auto chosen =
                prompts_.SaveFileDialog(u"All files (*.*)", u"*.*", u"", fileName, folder)) {
            target = (!chosen->empty() && chosen->front() == u'/') ? *chosen : folder + *chosen;
            return 0;
        }
        // The save dialog was cancelled: ask about the same file again.
    }
}

}  // namespace qv
