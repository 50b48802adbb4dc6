#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/BlockDevice.h"

namespace qv::test {

// A volume in memory, with read failures on demand and, when asked, a log of the reads served.
class MemoryDevice final : public BlockDevice {
public:
    struct Log {
        std::vector<std::pair<uint64_t, size_t>> reads;  // offset, size requested
    };

    explicit MemoryDevice(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}

    Result<size_t> ReadAt(uint64_t offset, void* buffer, size_t size) override;
    uint64_t Size() const override { return bytes_.size(); }

    // The bytes, for a caller that changes the volume under a reader it keeps (then the reader's
    // windows must be emptied).
    std::vector<uint8_t>& Bytes() { return bytes_; }
    // Every read that touches a byte at or after offset fails with EIO.
    void FailReadsFrom(uint64_t offset) { failFrom_ = offset; }
    // The reads served from now on. Shared, so a test can keep watching after the reader took
    // the device; nothing is recorded until it is asked for.
    std::shared_ptr<Log> log() {
        if (!log_) log_ = std::make_shared<Log>();
        return log_;
    }

private:
    std::vector<uint8_t> bytes_;
    uint64_t failFrom_ = UINT64_MAX;
    std::shared_ptr<Log> log_;
};

}  // namespace qv::test
