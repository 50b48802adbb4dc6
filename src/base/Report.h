#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "base/Format.h"

namespace qv {

// The engine's one report channel: lines for the program's log ("Advanced scan is not possible
// on C:, ..."). The log of the front end (app/Log.h) receives them, adds the time stamp and shows
// them; without one they go nowhere. Any thread may report; every message ends in "\n".
class ReportSink {
public:
    virtual ~ReportSink() = default;
    virtual void Line(const std::u16string& message) = 0;
};

// The sink the engine's lines go to (the application's log); null for none.
void SetReportSink(ReportSink* sink);

void ReportText(const std::u16string& message);

// While one stands, the lines this thread reports are kept in `lines` instead of reaching the
// sink: a recovery holds a file's lines back until the file is done, so that lines come in file
// order whichever thread finishes the file. Captures nest; the innermost takes the lines, and
// one of null lets them reach the sink again.
class ReportCapture {
public:
    explicit ReportCapture(std::vector<std::u16string>* lines);
    ~ReportCapture();
    ReportCapture(const ReportCapture&) = delete;
    ReportCapture& operator=(const ReportCapture&) = delete;

private:
    std::vector<std::u16string>* outer_;
};

template <typename... Args>
void Report(std::u16string_view format, const Args&... args) {
    ReportText(Format(format, args...));
}

}  // namespace qv
