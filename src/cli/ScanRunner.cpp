#include "cli/ScanRunner.h"

#include <csignal>
#include <cstdio>
#include <thread>

#include "app/Log.h"
#include "app/ProgressDialog.h"
#include "cli/Commands.h"
#include "cli/Output.h"
#include "platform/Text.h"
#include "platform/VolumeEnumeration.h"

namespace qv {

namespace {

volatile std::sig_atomic_t interrupted = 0;
extern "C" void OnInterrupt(int) {
    interrupted = 1;
}

}  // namespace

ScanRunner::ScanRunner() {
    Log::Global().Attach(&pane_);
    context_.files = &files_;
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
    Log::Global().Attach(nullptr);
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

int ScanRunner::ScanSource(const std::string& source, int partition, bool advanced) {
    const SourceChoice choice = ChooseSource(source, partition);
    if (choice.exitStatus >= 0) return choice.exitStatus;
    return ScanSource(choice, advanced);
}

int ScanRunner::ScanSource(const SourceChoice& choice, bool advanced) {
    drive_ = choice.drive;
    if (!choice.note.empty()) Log::Global().Write(u"Scanning %s\n", FromUtf8(choice.note));
    context_.source = drive_.source;
    context_.scanOptions.advanced = advanced;
    context_.scanOptions.volumeName = std::u16string(1, drive_.letter) + u":";
    switch (RunWorker(ScanThreadProc)) {
        case Outcome::kCancelled: return kExitInterrupted;
        case Outcome::kCannotOpen: return kExitCannotOpen;
        case Outcome::kFinished: break;
    }
    if (!context_.session || context_.scanFailed) return kExitCannotOpen;
    return -1;
}

ScanRunner::Outcome ScanRunner::Recover() {
    return RunWorker(RecoverThreadProc);
}

}  // namespace qv
