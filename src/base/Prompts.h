#pragma once

#include <optional>
#include <string>

namespace qv {

// The answers a question can get. The numbers are fixed: callers pass them on as plain integers
// (0 stays free for "go on").
enum PromptAnswer : int {
    kIdOk = 1,
    kIdCancel = 2,
    kIdAbort = 3,
    kIdRetry = 4,
    kIdIgnore = 5,
    kIdYes = 6,
    kIdNo = 7,
};

// kYesNo asks about something that can cost data: No is its default, and what an unanswered
// question gets.
enum class PromptButtons { kOk, kRetryCancel, kAbortRetryIgnore, kYesNoCancel, kYesNo };

// Questions a worker asks the user. Each call blocks the worker until it is answered.
class Prompts {
public:
    virtual ~Prompts() = default;
    virtual int MessageBox(const std::u16string& text, const std::u16string& caption,
                           PromptButtons buttons) = 0;
    // A save-file dialog: the chosen path, or nothing when cancelled. filter is the one entry
    // ("All files (*.*)", "*.*"); defaultExtension is added to a name typed without one. The
    // dialog opens in initialFolder when one is given; a bare name typed on a terminal is
    // returned as it stands, for the caller to place.
    virtual std::optional<std::u16string> SaveFileDialog(const std::u16string& filterName,
                                                         const std::u16string& filterPattern,
                                                         const std::u16string& defaultExtension,
                                                         const std::u16string& initialName,
                                                         const std::u16string& initialFolder) = 0;
};

}  // namespace qv
