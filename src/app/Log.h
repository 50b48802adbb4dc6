#pragma once

#include <functional>
#include <mutex>
#include <string>

#include "app/LogPane.h"
#include "base/Format.h"
#include "base/Report.h"
#include "platform/LocalTime.h"

namespace qv {

class Prompts;

// The program's log: time-stamped lines in the log pane, from the workers and from the engine's
// report channel (base/Report.h), which it receives. Any thread may write; every message ends in
// "\n".
class Log final : public ReportSink {
public:
    static Log& Global();

    void Attach(LogPane* pane);
    LogPane* Pane() const;

    // Appends "YYYY-mm-dd HH:MM:SS" (local time), two blanks, and the formatted message.
    template <typename... Args>
    int Write(std::u16string_view format, const Args&... args) {
        return WriteText(Format(format, args...));
    }
    int WriteText(const std::u16string& message);
    void Line(const std::u16string& message) override { WriteText(message); }
    int Clear();
    std::u16string Text() const;
    // Asks for a ".log" file and writes the text into it as UTF-8. Returns 0 when saved or
    // cancelled; a file that cannot be written is reported to the user through prompts.
    int Save(Prompts& prompts);

    // Tests fix the clock.
    void SetClockForTesting(std::function<CTime()> clock);

private:
    mutable std::mutex mutex_;
    LogPane* pane_ = nullptr;
    std::function<CTime()> clock_;
    // The time stamp of the last line: lines come many to a second, and formatting local time
    // costs more than the rest of a line.
    CTime stampTime_;
    std::u16string stamp_;
};

}  // namespace qv
