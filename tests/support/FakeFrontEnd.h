#pragma once

#include <cstdlib>
#include <ctime>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/LogPane.h"
#include "app/ProgressView.h"
#include "base/Prompts.h"

namespace qv::test {

// The log pane as a list of lines, for asserting exact log text.
class MemoryLogPane final : public LogPane {
public:
    void Append(const std::u16string& text) override { text_ += text; }
    void Clear() override { text_.clear(); }
    std::u16string Text() const override { return text_; }
    // The messages without their time stamps, one per line.
    std::vector<std::string> Messages() const;

private:
    std::u16string text_;
};

// Answers prompts from a script, and keeps every question asked.
class ScriptedPrompts final : public Prompts {
public:
    struct Asked {
        std::u16string text;
        std::u16string caption;
        PromptButtons buttons;
    };
    int MessageBox(const std::u16string& text, const std::u16string& caption,
                   PromptButtons buttons) override;
    std::optional<std::u16string> SaveFileDialog(const std::u16string& filterName,
                                                 const std::u16string& filterPattern,
                                                 const std::u16string& defaultExtension,
                                                 const std::u16string& initialName,
                                                 const std::u16string& initialFolder) override;

    std::deque<int> answers;                              // used in order; OK when empty
    std::deque<std::optional<std::u16string>> savePaths;  // nothing when empty
    std::vector<Asked> asked;
    std::vector<std::u16string> saveDialogs;  // initial names offered
    std::vector<std::u16string> saveFolders;  // and the folders the dialogs opened in
    std::function<void()> onAsk;              // e.g. press Stop while a prompt is open
};

// Sets TZ for one scope and puts the old value back.
class Zone {
public:
    explicit Zone(const char* tz) {
        if (const char* old = std::getenv("TZ")) saved_ = old;
        ::setenv("TZ", tz, 1);
        ::tzset();
    }
    ~Zone() {
        saved_.empty() ? ::unsetenv("TZ") : ::setenv("TZ", saved_.c_str(), 1);
        ::tzset();
    }

private:
    std::string saved_;
};

// Records what a progress window would show; a test's hooks run as it changes (e.g. press Stop).
class RecordingProgressView final : public ProgressView {
public:
    void SetStatusText(const std::u16string& text) override {
        statuses.push_back(text);
        if (onStatus) onStatus(text);
    }
    void SetTitle(const std::u16string& title) override { titles.push_back(title); }
    void StepBar() override {
        ++steps;
        if (onStep) onStep();
    }
    void Close(int result) override { closed.push_back(result); }
    void ShowCounts(const ProgressCounts& c) override {
        counts.push_back(c);
        if (onCounts) onCounts(c);
    }
    std::vector<std::u16string> statuses, titles;
    std::vector<int> closed;
    std::vector<ProgressCounts> counts;
    int steps = 0;
    std::function<void(const std::u16string&)> onStatus;
    std::function<void()> onStep;
    std::function<void(const ProgressCounts&)> onCounts;
};

}  // namespace qv::test
