#include "app/Log.h"

#include "base/Prompts.h"
#include "platform/File.h"
#include "platform/Text.h"

namespace qv {

Log& Log::Global() {
    // The engine's reports become lines of this log.
    static Log& log = []() -> Log& {
        static Log instance;
        SetReportSink(&instance);
        return instance;
    }();
    return log;
}

void Log::Attach(LogPane* pane) {
    std::lock_guard lock(mutex_);
    pane_ = pane;
}

LogPane* Log::Pane() const {
    std::lock_guard lock(mutex_);
    return pane_;
}

int Log::WriteText(const std::u16string& message) {
    std::lock_guard lock(mutex_);
    const CTime now = clock_ ? clock_() : CTime::Now();
    if (!stampTime_.IsSet() || now.Seconds() != stampTime_.Seconds()) {
        stampTime_ = now;
        stamp_ = now.Format("%Y-%m-%d %H:%M:%S") + u"  ";
    }
    if (pane_) pane_->Append(stamp_ + message);
    return 0;
}

int Log::Clear() {
    std::lock_guard lock(mutex_);
    if (pane_) pane_->Clear();
    return 0;
}

std::u16string Log::Text() const {
    std::lock_guard lock(mutex_);
    return pane_ ? pane_->Text() : std::u16string();
}

int Log::Save(Prompts& prompts) {
    const auto path = prompts.SaveFileDialog(u"Log files (*.log)", u"*.log", u"log", u"", u"");
    if (!path) return 0;
    const std::string text = ToUtf8(Text());
    File file;
    Status saved = file.Open(*path, File::Mode::kCreate);
    if (saved) saved = file.Write(text.data(), text.size());
    if (!saved) {
        // Silence here would let the user believe a log was saved that was not.
        const std::u16string reason = ErrorText(saved.error().osError);
        prompts.MessageBox(u"Save log to " + *path + u" failed: " + reason, u"Error",
                           PromptButtons::kOk);
    }
    return 0;
}

void Log::SetClockForTesting(std::function<CTime()> clock) {
    std::lock_guard lock(mutex_);
    clock_ = std::move(clock);
}

}  // namespace qv
