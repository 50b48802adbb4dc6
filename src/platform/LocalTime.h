#pragma once

#include <cstdint>
#include <string>

namespace qv {

// A point in time as seconds since 1970-01-01 UTC, shown in local time: the times of a deleted
// file and the time stamps of the log. 64-bit, so dates past 2038 and before 1970 are kept.
class CTime {
public:
    CTime() = default;
    static CTime FromUnix(int64_t seconds) { return CTime(seconds); }
    // NTFS FILETIME: 100-ns intervals since 1601-01-01 UTC.
    static CTime FromFileTime(uint64_t filetime);
    static CTime Now();

    bool IsSet() const { return set_; }
    int64_t Seconds() const { return seconds_; }
    // strftime of the local time, e.g. "%Y-%m-%d %H:%M"; empty when not set.
    std::u16string Format(const char* format) const;

private:
    explicit CTime(int64_t seconds) : seconds_(seconds), set_(true) {}
    int64_t seconds_ = 0;
    bool set_ = false;
};

}  // namespace qv
