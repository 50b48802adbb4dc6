#include "base/Report.h"

#include <atomic>

namespace qv {

namespace {
std::atomic<ReportSink*> sink{nullptr};
}

void SetReportSink(ReportSink* s) {
    sink.store(s, std::memory_order_release);
}

void ReportText(const std::u16string& message) {
    if (ReportSink* s = sink.load(std::memory_order_acquire)) s->Line(message);
}

}  // namespace qv
