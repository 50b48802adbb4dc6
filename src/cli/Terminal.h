#pragma once

#include <chrono>
#include <mutex>
#include <optional>
#include <string>

#include "app/LogPane.h"
#include "app/ProgressView.h"
#include "base/Prompts.h"

namespace qv {

// The terminal program's front end: log lines and a one-line progress bar on stderr, questions
// on the controlling terminal. Log lines and the bar share stderr, so one lock orders them: a log
// line first clears the bar, then the bar is drawn again below it. When stderr is not a
// terminal (a file, a pipe) the lines are buffered and flushed every 100 ms and at the end, so
// that a recovery of many files does not cost a system call per log line.
class Terminal {
public:
    Terminal();
    ~Terminal();
    bool Interactive() const { return interactive_; }  // stdin and stderr are terminals
    bool BarShown() const { return showBar_; }

    void WriteLogLine(const std::u16string& text);
    void SetStatus(const std::u16string& text);
    void StepBar();
    void ClearBar();
    // Prints a question and reads one line of answer; nullopt at end of input.
    std::optional<std::string> Ask(const std::string& question);

private:
    void DrawBarLocked();
    std::mutex mutex_;
    bool interactive_;
    bool showBar_;
    std::chrono::steady_clock::time_point lastFlush_;
    bool barDrawn_ = false;
    int barPosition_ = 0;
    std::u16string status_;  // converted when drawn: a recovery sets it for every file
    std::string line_;       // the log line being written, its buffer kept for the next
};

// The log on stderr. It keeps no copy of what it printed (a large recovery logs hundreds of
// megabytes), so its Text() is empty: the terminal has no Save Log.
class TerminalLogPane final : public LogPane {
public:
    explicit TerminalLogPane(Terminal& terminal) : terminal_(terminal) {}
    void Append(const std::u16string& text) override { terminal_.WriteLogLine(text); }
    void Clear() override {}
    std::u16string Text() const override { return {}; }

private:
    Terminal& terminal_;
};

class TerminalProgressView final : public ProgressView {
public:
    explicit TerminalProgressView(Terminal& terminal) : terminal_(terminal) {}
    void SetStatusText(const std::u16string& text) override { terminal_.SetStatus(text); }
    void SetTitle(const std::u16string&) override {}
    void StepBar() override { terminal_.StepBar(); }
    void Close(int) override { terminal_.ClearBar(); }

private:
    Terminal& terminal_;
};

// Message boxes become questions with the same text and answers when there is a terminal to
// ask; without one, each kind of question gets the answer that loses nothing (see .cpp).
class TerminalPrompts final : public Prompts {
public:
    explicit TerminalPrompts(Terminal& terminal) : terminal_(terminal) {}
    int MessageBox(const std::u16string& text, const std::u16string& caption,
                   PromptButtons buttons) override;
    std::optional<std::u16string> SaveFileDialog(const std::u16string& filterName,
                                                 const std::u16string& filterPattern,
                                                 const std::u16string& defaultExtension,
                                                 const std::u16string& initialName,
                                                 const std::u16string& initialFolder) override;

private:
    Terminal& terminal_;
};

}  // namespace qv
