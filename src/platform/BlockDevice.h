#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/ByteSource.h"

namespace qv {

// The read-only seam under the volume reader: a block device, an image file, or memory in tests.
// There is no write operation: nothing in the program can write to the volume it scans. A failed
// read returns a negative errno.
class BlockDevice : public ByteSource {};

// A second way to open a device the program's user may not open (the desktop program asks
// udisks2 over D-Bus, which asks for the password). Returns an open read-only descriptor, or -1
// with *error (an errno) and *reason set.
using PrivilegedOpener = int (*)(const std::u16string& path, int* error, std::string* reason);
// Null (the default): no second way.
void SetPrivilegedOpener(PrivilegedOpener opener);

// A volume held in memory (fuzzers, benchmarks, tools). Reads past its end deliver nothing, as
// from a device.
class MemoryBlockDevice : public BlockDevice {
public:
    explicit MemoryBlockDevice(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}
    int64_t ReadAt(uint64_t offset, void* buffer, size_t size) override;
    uint64_t Size() const override { return bytes_.size(); }
    std::vector<uint8_t>& Bytes() { return bytes_; }

private:
    std::vector<uint8_t> bytes_;
};

// A block device or image file opened O_RDONLY | O_CLOEXEC and read with pread.
class DeviceFile final : public BlockDevice {
public:
    // Opens path read-only; when that is refused (EACCES, EPERM) and a privileged opener is set,
    // through it. On failure returns null and sets *error to the errno, and *reason to what the
    // privileged opener said, if it was asked.
    static std::unique_ptr<DeviceFile> Open(const std::u16string& path, int* error,
                                            std::string* reason = nullptr);
    ~DeviceFile() override;
    int64_t ReadAt(uint64_t offset, void* buffer, size_t size) override;
    uint64_t Size() const override { return size_; }

private:
    DeviceFile(int fd, uint64_t size) : fd_(fd), size_(size) {}
    int fd_;
    uint64_t size_;
};

}  // namespace qv
