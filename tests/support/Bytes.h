#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/Error.h"
#include "platform/ByteSink.h"

namespace qv::test {

// Stores the n low bytes of v little-endian at off, growing b when it is shorter.
inline void Put(std::vector<uint8_t>& b, size_t off, uint64_t v, size_t n) {
    if (b.size() < off + n) b.resize(off + n);
    for (size_t i = 0; i < n; ++i)
        b[off + i] = static_cast<uint8_t>(v >> (8 * i));
}

// Counts what is written and keeps nothing, refusing a write that would pass a limit (a hostile
// size must not make a copy write for ever). It reads the first and last byte of every write, so
// that a sanitizer sees a write from a bad buffer.
class DiscardSink final : public ByteSink {
public:
    explicit DiscardSink(uint64_t limit = UINT64_MAX) : limit_(limit) {}
    Status Write(const void* data, size_t size) override {
        if (size > limit_ - written) {
            refused = true;
            return Error(kErrWrite, "the sink's limit is reached");
        }
        if (size > 0) {
            const auto* p = static_cast<const volatile uint8_t*>(data);
            last = static_cast<uint8_t>(p[0] ^ p[size - 1]);
        }
        written += size;
        return {};
    }
    uint64_t written = 0;
    uint8_t last = 0;
    bool refused = false;  // a write was turned down (the only way this sink fails)

private:
    uint64_t limit_;
};

}  // namespace qv::test
