#pragma once

#include <cstdint>
#include <string>

namespace qv {

// The program's one exception type: a negative error code from ErrorCodes.h and, where the
// thrower knows it, the real cause in words for the log ("cannot open /dev/sdb1: Permission
// denied") and the system's errno behind it. Thrown by value, caught by reference.
class CMyException {
public:
    explicit CMyException(int32_t code, std::string detail = {}, int osError = 0)
        : code_(code), detail_(std::move(detail)), osError_(osError) {}
    int32_t Code() const { return code_; }
    const std::string& Detail() const { return detail_; }
    int OsError() const { return osError_; }

private:
    int32_t code_;
    std::string detail_;
    int osError_;
};

}  // namespace qv
