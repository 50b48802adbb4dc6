#include "cli/ScanRunner.h"

#include <csignal>
#include <cstdio>
#include <thread>

#include "app/Log.h"
#include "app/ProgressDialog.h"
#include "cli/Commands.h"
#include "cli/Output.h"
#include "platform/DriveTable.h"
#include "platform/Text.h"
#include "platform/VolumeEnumeration.h"
#include "scan/ScanSession.h"

namespace qv {

namespace {

volatile std::sig_atomic_t interrupted = 0;
extern "C" void OnInterrupt(int) {
    interrupted = 1;
}

}  // namespace

ScanRunner::ScanRunner() {
    Log::Global().Attach(&pane_);
    context_.list = &list_;
    context_.prompts = &prompts_;
    // Ctrl-C, a closed terminal and a polite kill all press Stop, so the scan winds down and its
    // temporary files go. A reader that goes away (| head) must not kill us before that either:
    // writing to it then just fails.
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signal, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
}

ScanRunner::~ScanRunner() {
    context_.session.reset();
    context_.ClearResults();
    Log::Global().Attach(nullptr);
}

char16_t ScanRunner::ResolveSource(const std::string& source) {
    const std::u16string text = FromUtf8(source);
    if (const char16_t letter = DriveTable::ParseLetter(text)) {
        FillDriveTable({});
        return letter;
    }
    return DriveTable::Global().Assign(text);
}

template <typename Body>
ScanRunner::Outcome ScanRunner::RunWorker(Body body) {
    TerminalProgressView view(terminal_);
    ProgressDialog progress(&view);
    context_.progress = &progress;
    interrupted = 0;
    std::thread worker(body, &context_);
    // The terminal's modal loop: wait for the worker's close request, pass Ctrl-C on as Stop.
    // The wait ends the moment the worker closes; the timeout only looks at Ctrl-C.
    while (!progress.WaitForClose(std::chrono::milliseconds(50))) {
        if (interrupted && !progress.IsCancelled()) progress.Stop();
    }
    worker.join();
    context_.progress = nullptr;
    if (progress.IsCancelled()) return Outcome::kCancelled;
    return Outcome::kFinished;
}

ScanRunner::Outcome ScanRunner::Scan(char16_t letter, bool advanced) {
    context_.driveLetter = letter;
    context_.advanced = advanced ? 1 : 0;
    const Outcome outcome = RunWorker(ScanThreadProc);
    if (outcome == Outcome::kFinished && (!context_.session || context_.scanFailed))
        return Outcome::kCannotOpen;
    return outcome;
}

int ScanRunner::ScanSource(const std::string& source, bool advanced) {
    const char16_t letter = ResolveSource(source);
    if (letter == 0) {
        std::fprintf(stderr, "quorvane-cli: no free drive letter for %s\n", source.c_str());
        return kExitBadArguments;
    }
    switch (Scan(letter, advanced)) {
        case Outcome::kCannotOpen: return kExitCannotOpen;
        case Outcome::kCancelled: return kExitInterrupted;
        case Outcome::kFinished: break;
    }
    SortByName(list_);
    return -1;
}

ScanRunner::Outcome ScanRunner::Recover() {
    return RunWorker(RecoverThreadProc);
}

}  // namespace qv
