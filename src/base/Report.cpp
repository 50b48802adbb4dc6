#include "base/Report.h"

#include <atomic>

namespace qv {

namespace {
std::atomic<ReportSink*> sink{nullptr};
thread_local std::vector<std::u16string>* captured = nullptr;
}  // namespace

void SetReportSink(ReportSink* s) {
    sink.store(s, std::memory_order_release);
}

void ReportText(const std::u16string& message) {
    if (captured) {
        captured->push_back(message);
        return;
    }
    if (ReportSink* s = sink.load(std::memory_order_acquire)) s->Line(message);
}

ReportCapture::ReportCapture(std::vector<std::u16string>* lines) : outer_(captured) {
    captured = lines;
}

ReportCapture::~ReportCapture() {
    captured = outer_;
}

}  // namespace qv
