#include "platform/Source.h"

#include <algorithm>
#include <cstring>

#include "platform/DiskImage.h"
#include "platform/Text.h"

namespace qv {

namespace {

// The bytes of a device from offset on, for length bytes: a partition read as a volume of its
// own. Nothing before or after it can be read through this.
class DeviceWindow final : public BlockDevice {
public:
    DeviceWindow(std::unique_ptr<BlockDevice> device, uint64_t offset, uint64_t length)
        : device_(std::move(device)), offset_(offset), length_(length) {}
    Result<size_t> ReadAt(uint64_t offset, void* buffer, size_t size) override {
        if (offset >= length_) return 0;
        size = static_cast<size_t>(std::min<uint64_t>(size, length_ - offset));
        return device_->ReadAt(offset_ + offset, buffer, size);
    }
    uint64_t Size() const override { return length_; }

private:
    std::unique_ptr<BlockDevice> device_;
    uint64_t offset_;
    uint64_t length_;
};

}  // namespace

Result<std::unique_ptr<BlockDevice>> OpenDisk(const std::u16string& path) {
    return OpenDiskImage(path, DetectImageFormat(path));
}

Result<std::unique_ptr<BlockDevice>> OpenSource(const Source& source) {
    auto opened = OpenDisk(source.path);
    if (!opened) return opened.error();
    std::unique_ptr<BlockDevice> device = std::move(*opened);
    if (source.offset == 0 && source.length == 0)
        return std::unique_ptr<BlockDevice>(std::move(device));
    const uint64_t size = device->Size();
    if (source.offset >= size)
        return Error(kErrOpenVolume, ToUtf8(source.path) +
                                         " ends before the partition's start at byte " +
                                         std::to_string(source.offset));
    const uint64_t room = size - source.offset;
    const uint64_t length = source.length == 0 ? room : std::min(source.length, room);
    return std::unique_ptr<BlockDevice>(
        std::make_unique<DeviceWindow>(std::move(device), source.offset, length));
}

}  // namespace qv
