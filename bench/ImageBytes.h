#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/ByteSink.h"

namespace qv::bench {

// What the benchmarks share: little-endian stores into an image being built, a sink that
// discards.

// Little-endian stores into an image being built.
inline void Put16(std::vector<uint8_t>& b, size_t at, uint16_t v) {
    b[at] = static_cast<uint8_t>(v), b[at + 1] = static_cast<uint8_t>(v >> 8);
}
inline void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void Put64(std::vector<uint8_t>& b, size_t at, uint64_t v) {
    for (int i = 0; i < 8; ++i)
        b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// Counts what a copy writes and keeps nothing: the engine's read path alone.
class DiscardSink final : public ByteSink {
public:
    bool Write(const void*, size_t size) override {
        written += size;
        return true;
    }
    uint64_t written = 0;
};

}  // namespace qv::bench
