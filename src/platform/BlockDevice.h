#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace qv {

// The read-only seam under the volume reader: a block device, an image file, or memory in tests.
// There is no write operation: nothing in the program can write to the volume it scans.
class BlockDevice {
public:
    virtual ~BlockDevice() = default;
    // Reads up to size bytes at offset. Returns the count read (0 at or past the end), or a
    // negative errno.
    virtual int64_t ReadAt(uint64_t offset, void* buffer, size_t size) = 0;
    // Size in bytes.
    virtual uint64_t Size() const = 0;
};

// A block device or image file opened O_RDONLY | O_CLOEXEC and read with pread.
class DeviceFile final : public BlockDevice {
public:
    // Opens path read-only. On failure returns null and sets *error to the errno.
    static std::unique_ptr<DeviceFile> Open(const std::u16string& path, int* error);
    ~DeviceFile() override;
    int64_t ReadAt(uint64_t offset, void* buffer, size_t size) override;
    uint64_t Size() const override { return size_; }

private:
    DeviceFile(int fd, uint64_t size) : fd_(fd), size_(size) {}
    int fd_;
    uint64_t size_;
};

}  // namespace qv
