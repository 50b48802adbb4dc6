#pragma once

#include <cstdint>

namespace qv {

// The program's one exception type: a negative error code from ErrorCodes.h.
// Thrown by value, caught by reference.
class CMyException {
public:
    explicit CMyException(int32_t code) : code_(code) {}
    int32_t Code() const { return code_; }

private:
    int32_t code_;
};

}  // namespace qv
