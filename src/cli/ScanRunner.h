#pragma once

#include <string>
#include <vector>

#include "app/DriveList.h"
#include "app/WorkerContext.h"
#include "cli/SourceChoice.h"
#include "cli/Terminal.h"
#include "scan/DeletedFile.h"

namespace qv {

// Runs one worker (scan or recovery) on its own thread while the terminal waits, the way the
// window waits in its progress dialog; Ctrl-C is the Stop button.
class ScanRunner {
public:
    enum class Outcome { kFinished, kCannotOpen, kCancelled };

    ScanRunner();
    ~ScanRunner();

    // Resolves SOURCE (see SourceChoice.h) and scans it; Files() are then in record order, as
    // the scan found them. Returns the exit status to end with, or -1 when the scan finished
    // and the command goes on.
    int ScanSource(const std::string& source, int partition, bool advanced);
    int ScanSource(const SourceChoice& choice, bool advanced);
    // Recovers context().chosen with context().recovery; Outcome::kCancelled when Stop ended it.
    Outcome Recover();

    WorkerContext& Context() { return context_; }
    std::vector<DeletedFile>& Files() { return files_.files; }
    char16_t Letter() const { return drive_.letter; }
    Terminal& Term() { return terminal_; }

private:
    template <typename Body>
    Outcome RunWorker(Body body);

    Terminal terminal_;
    TerminalLogPane pane_{terminal_};
    TerminalPrompts prompts_{terminal_};
    DeletedFileList files_;
    Drive drive_;
    WorkerContext context_;
};

}  // namespace qv
