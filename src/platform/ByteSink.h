#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qv {

// Where a data copy writes: a file on disk, or memory in tests. Write appends at the current
// position and reports whether every byte was written.
class ByteSink {
public:
    virtual ~ByteSink() = default;
    [[nodiscard]] virtual bool Write(const void* data, size_t size) = 0;
};

// Collects what is written in memory, up to a limit (a hostile size must not exhaust memory).
class MemorySink final : public ByteSink {
public:
    explicit MemorySink(size_t limit = SIZE_MAX) : limit_(limit) {}
    [[nodiscard]] bool Write(const void* data, size_t size) override {
        if (size > limit_ - bytes.size()) return false;
        const auto* p = static_cast<const uint8_t*>(data);
        bytes.insert(bytes.end(), p, p + size);
        return true;
    }
    std::vector<uint8_t> bytes;

private:
    size_t limit_;
};

}  // namespace qv
