#include "platform/LocalTime.h"

#include <ctime>

#include "platform/Text.h"

namespace qv {

CTime CTime::FromFileTime(uint64_t filetime) {
    constexpr int64_t kTicksPerSecond = 10'000'000;
    constexpr int64_t kSeconds1601To1970 = 11'644'473'600;
    return CTime(static_cast<int64_t>(filetime / kTicksPerSecond) - kSeconds1601To1970);
}

CTime CTime::Now() {
    return CTime(static_cast<int64_t>(std::time(nullptr)));
}

std::u16string CTime::Format(const char* format) const {
    if (!set_) return {};
    const std::time_t t = static_cast<std::time_t>(seconds_);
    std::tm local{};
    if (::localtime_r(&t, &local) == nullptr) return {};
    char buffer[128];
    const size_t n = std::strftime(buffer, sizeof buffer, format, &local);
    return FromUtf8(std::string_view(buffer, n));
}

}  // namespace qv
