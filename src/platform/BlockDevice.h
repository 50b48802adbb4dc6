#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "base/Error.h"
#include "platform/ByteSource.h"

namespace qv {

// The read-only seam under the volume reader: a block device, an image file, a partition of one,
// or memory in tests. There is no write operation: nothing in the program can write to the
// volume it scans.
class BlockDevice : public ByteSource {};

// A second way to open a device the program's user may not open (the desktop program asks
// udisks2 over D-Bus, which asks for the password). Returns an open read-only descriptor, or -1
// with *error (an errno) and *reason set.
using PrivilegedOpener = int (*)(const std::u16string& path, int* error, std::string* reason);
// Null (the default): no second way.
void SetPrivilegedOpener(PrivilegedOpener opener);

// A block device or image file opened O_RDONLY | O_CLOEXEC and read with pread.
class DeviceFile final : public BlockDevice {
public:
    // Opens path read-only; when that is refused (EACCES, EPERM) and a privileged opener is set,
    // through it. The error (kErrOpenVolume) names the path and the cause, the privileged
    // opener's words included, and carries the errno.
    static Result<std::unique_ptr<DeviceFile>> Open(const std::u16string& path);
    ~DeviceFile() override;
    Result<size_t> ReadAt(uint64_t offset, void* buffer, size_t size) override;
    uint64_t Size() const override { return size_; }
    // A second reader of the same open device (a duplicate descriptor), for another thread:
    // pread keeps no file position, so both read at once. The path is not opened again: a
    // device opened through the privileged opener would ask for the password a second time.
    Result<std::unique_ptr<DeviceFile>> AnotherReader() const;

private:
    DeviceFile(int fd, uint64_t size) : fd_(fd), size_(size) {}
    int fd_;
    uint64_t size_;
};

}  // namespace qv
