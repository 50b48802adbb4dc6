#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/Error.h"

namespace qv {

// Where a data copy writes: a file on disk, or memory. Write appends at the current position;
// it writes every byte or fails with the cause (kErrWrite).
class ByteSink {
public:
    virtual ~ByteSink() = default;
    virtual Status Write(const void* data, size_t size) = 0;
};

// Collects what is written in memory, up to a limit (a hostile size must not exhaust memory).
class MemorySink final : public ByteSink {
public:
    explicit MemorySink(size_t limit = SIZE_MAX) : limit_(limit) {}
    Status Write(const void* data, size_t size) override {
        if (size > limit_ - bytes.size()) return Error(kErrWrite, "the memory sink is full");
        const auto* p = static_cast<const uint8_t*>(data);
        bytes.insert(bytes.end(), p, p + size);
        return {};
    }
    std::vector<uint8_t> bytes;

private:
    size_t limit_;
};

// Passes writes on to another sink and counts the bytes that went through.
class CountingSink final : public ByteSink {
public:
    explicit CountingSink(ByteSink& inner) : inner_(inner) {}
    Status Write(const void* data, size_t size) override {
        Status written = inner_.Write(data, size);
        if (written) bytes_ += size;
        return written;
    }
    uint64_t Bytes() const { return bytes_; }

private:
    ByteSink& inner_;
    uint64_t bytes_ = 0;
};

// Passes writes on to another sink up to a limit, and refuses the write that would pass it
// (nothing of it is written): a copy whose size a hostile volume sets stops there.
class LimitedSink final : public ByteSink {
public:
    LimitedSink(ByteSink& inner, uint64_t limit) : inner_(inner), left_(limit) {}
    Status Write(const void* data, size_t size) override {
        if (size > left_) {
            reachedLimit_ = true;
            return Error(kErrWrite, "the size limit is reached");
        }
        left_ -= size;
        return inner_.Write(data, size);
    }
    bool ReachedLimit() const { return reachedLimit_; }

private:
    ByteSink& inner_;
    uint64_t left_;
    bool reachedLimit_ = false;
};

}  // namespace qv
