#include "cli/Terminal.h"

#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <iostream>
#include <vector>

#include "app/ProgressDialog.h"
#include "platform/Text.h"

namespace qv {

namespace {
constexpr int kBarWidth = 30;
}

Terminal::Terminal()
    : interactive_(::isatty(STDIN_FILENO) && ::isatty(STDERR_FILENO)),
      showBar_(::isatty(STDERR_FILENO)),
      lastFlush_(std::chrono::steady_clock::now()) {
    if (!showBar_) std::setvbuf(stderr, nullptr, _IOFBF, 1 << 16);
}

Terminal::~Terminal() {
    std::fflush(stderr);
}

void Terminal::WriteLogLine(const std::u16string& text) {
    std::lock_guard lock(mutex_);
    if (barDrawn_) std::fputs("\r\033[K", stderr);
    line_.clear();
    AppendUtf8(line_, text);
    std::fwrite(line_.data(), 1, line_.size(), stderr);
    barDrawn_ = false;
    if (showBar_) {
        if (!status_.empty()) DrawBarLocked();
        std::fflush(stderr);
        return;
    }
    const auto now = std::chrono::steady_clock::now();
    if (now - lastFlush_ >= std::chrono::milliseconds(100)) {
        std::fflush(stderr);
        lastFlush_ = now;
    }
}

void Terminal::SetStatus(const std::u16string& text) {
    std::lock_guard lock(mutex_);
    status_ = text;
    if (showBar_) DrawBarLocked();
}

void Terminal::StepBar() {
    std::lock_guard lock(mutex_);
    barPosition_ = ProgressDialog::NextBarPosition(barPosition_);
    if (showBar_) DrawBarLocked();
}

void Terminal::ClearBar() {
    std::lock_guard lock(mutex_);
    if (barDrawn_) std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
    barDrawn_ = false;
    status_.clear();
    barPosition_ = 0;
}

void Terminal::DrawBarLocked() {
    const int filled = barPosition_ * kBarWidth / ProgressDialog::kBarRange;
    std::string bar = "\r\033[K[";
    bar.append(filled, '#');
    bar.append(kBarWidth - filled, ' ');
    bar += "] ";
    bar += ToUtf8(status_);
    std::fputs(bar.c_str(), stderr);
    std::fflush(stderr);
    barDrawn_ = true;
}

std::optional<std::string> Terminal::Ask(const std::string& question) {
    std::lock_guard lock(mutex_);
    if (barDrawn_) std::fputs("\r\033[K", stderr);
    barDrawn_ = false;
    std::fputs(question.c_str(), stderr);
    std::fflush(stderr);
    std::string line;
    if (!std::getline(std::cin, line)) return std::nullopt;
    return line;
}

int TerminalPrompts::MessageBox(const std::u16string& text, const std::u16string& caption,
                                PromptButtons buttons) {
    struct Choice {
        char key;
        const char* label;
        int answer;
    };
    std::vector<Choice> choices;
    int fallback = kIdOk;
    switch (buttons) {
        case PromptButtons::kOk: choices = {{'o', "OK", kIdOk}}; break;
        // Without anyone to ask: a destination that cannot be made ends the run, a folder below
        // it is ignored (the file goes into the destination), an existing file is kept.
        case PromptButtons::kRetryCancel:
            choices = {{'r', "Retry", kIdRetry}, {'c', "Cancel", kIdCancel}};
            fallback = kIdCancel;
            break;
        case PromptButtons::kAbortRetryIgnore:
            choices = {
                {'a', "Abort", kIdAbort}, {'r', "Retry", kIdRetry}, {'i', "Ignore", kIdIgnore}};
            fallback = kIdIgnore;
            break;
        case PromptButtons::kYesNoCancel:
            choices = {{'y', "Yes", kIdYes}, {'n', "No", kIdNo}, {'c', "Cancel", kIdCancel}};
            fallback = kIdCancel;
            break;
        case PromptButtons::kYesNo:
            choices = {{'y', "Yes", kIdYes}, {'n', "No", kIdNo}};
            fallback = kIdNo;
            break;
    }
    const std::string message = ToUtf8(caption) + ": " + ToUtf8(text) + "\n";
    if (buttons == PromptButtons::kOk || !terminal_.Interactive()) {
        terminal_.WriteLogLine(FromUtf8(message));
        return fallback;
    }
    std::string question = message;
    for (size_t i = 0; i < choices.size(); ++i) {
        question += i ? " / " : "";
        question += std::string("[") + static_cast<char>(std::toupper(choices[i].key)) + "]" +
                    (choices[i].label + 1);
    }
    question += "? ";
    while (true) {
        const auto answer = terminal_.Ask(question);
        if (!answer) return fallback;
        if (answer->empty()) continue;
        const char key = static_cast<char>(std::tolower(static_cast<unsigned char>((*answer)[0])));
        for (const Choice& c : choices)
            if (c.key == key) return c.answer;
    }
}

std::optional<std::u16string> TerminalPrompts::SaveFileDialog(
    const std::u16string&, const std::u16string&, const std::u16string& defaultExtension,
    const std::u16string& initialName, const std::u16string&) {
    if (!terminal_.Interactive()) return std::nullopt;
    const auto answer =
        terminal_.Ask("New file name (empty to cancel) [" + ToUtf8(initialName) + "]: ");
    if (!answer || answer->empty()) return std::nullopt;
    std::u16string name = FromUtf8(*answer);
    if (!defaultExtension.empty() && name.find(u'.') == std::u16string::npos)
        name += u"." + defaultExtension;
    return name;
}

}  // namespace qv
