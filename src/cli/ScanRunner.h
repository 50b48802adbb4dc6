#pragma once

#include <string>

#include "app/MemoryListControl.h"
#include "app/WorkerContext.h"
#include "cli/Terminal.h"

namespace qv {

// Runs one worker (scan or recovery) on its own thread while the terminal waits, the way the
// window waits in its progress dialog; Ctrl-C is the Stop button.
class ScanRunner {
public:
    enum class Outcome { kFinished, kCannotOpen, kCancelled };

    ScanRunner();
    ~ScanRunner();

    // Resolves SOURCE (an image, a block device, or a drive letter such as E:) to a letter.
    // Returns 0 when it cannot.
    char16_t ResolveSource(const std::string& source);

    Outcome Scan(char16_t letter, bool advanced);
    // Resolves SOURCE, scans it and sorts the rows by name. Returns the exit status to end with,
    // or -1 when the scan finished and the command goes on.
    int ScanSource(const std::string& source, bool advanced);
    // Recovers the checked rows; Outcome::kCancelled when Stop ended it.
    Outcome Recover();

    WorkerContext& Context() { return context_; }
    MemoryListControl& List() { return list_; }
    Terminal& Term() { return terminal_; }

private:
    template <typename Body>
    Outcome RunWorker(Body body);

    Terminal terminal_;
    TerminalLogPane pane_{terminal_};
    TerminalPrompts prompts_{terminal_};
    MemoryListControl list_;
    WorkerContext context_;
};

}  // namespace qv
