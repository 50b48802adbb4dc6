#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <vector>

#include "base/Error.h"
#include "base/Progress.h"
#include "platform/ByteSink.h"

namespace qv::test {

// Stores the n low bytes of v little-endian at off, growing b when it is shorter.
inline void Put(std::vector<uint8_t>& b, size_t off, uint64_t v, size_t n) {
    if (b.size() < off + n) b.resize(off + n);
    for (size_t i = 0; i < n; ++i)
        b[off + i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void Put16(std::vector<uint8_t>& b, size_t off, uint16_t v) {
    Put(b, off, v, 2);
}
inline void Put32(std::vector<uint8_t>& b, size_t off, uint32_t v) {
    Put(b, off, v, 4);
}
inline void Put64(std::vector<uint8_t>& b, size_t off, uint64_t v) {
    Put(b, off, v, 8);
}

// The parts one after the other.
inline std::vector<uint8_t> Cat(std::initializer_list<std::vector<uint8_t>> parts) {
    std::vector<uint8_t> out;
    for (const auto& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

// Counts what is stepped (and the steps announced); presses Stop once stopAt has been stepped.
struct StepCounter final : Progress {
    int64_t steps = -1;
    uint64_t stepped = 0, stopAt = UINT64_MAX;
    void SetStageCount(int32_t) override {}
    void SetSteps(int64_t total) override { steps = total; }
    void Step(uint64_t amount) override { stepped += amount; }
    bool IsCancelled() const override { return stepped >= stopAt; }
};

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
