#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/BlockDevice.h"

namespace qv::test {

// A volume in memory, with the reads it served on record and failures on demand.
class MemoryDevice final : public BlockDevice {
public:
    struct Log {
        std::vector<std::pair<uint64_t, size_t>> reads;  // offset, size requested
    };

    explicit MemoryDevice(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}

    Result<size_t> ReadAt(uint64_t offset, void* buffer, size_t size) override;
    uint64_t Size() const override { return bytes_.size(); }

    // Every read that touches a byte at or after offset fails with EIO.
    void FailReadsFrom(uint64_t offset) { failFrom_ = offset; }
    // Shared, so a test can keep watching after the reader took the device.
    std::shared_ptr<Log> log() const { return log_; }

private:
    std::vector<uint8_t> bytes_;
    uint64_t failFrom_ = UINT64_MAX;
    std::shared_ptr<Log> log_ = std::make_shared<Log>();
};

}  // namespace qv::test
