#pragma once

#include <string>
#include <string_view>

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

template <typename... Args>
void Report(std::u16string_view format, const Args&... args) {
    ReportText(Format(format, args...));
}

}  // namespace qv
