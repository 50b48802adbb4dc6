#include "platform/DiskImage.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cstring>

#include "platform/ImageLibraries.h"
#include "platform/ReadAhead.h"
#include "platform/Text.h"

namespace qv {

namespace {

// A raw device's worker only copies out of the page cache (or waits for the disk): blocks of
// 256 KiB read a large $MFT as fast as 1 MiB ones, and a short stream (the first pages of a
// volume's log, mostly never written) reads and touches a seventh as much ahead for nothing.
constexpr uint64_t kRawBlockBytes = 256u << 10;
constexpr int kRawBlocksAhead = 4;
// And only from the third streaming read in a row: a volume's log often streams for a read or
// two before its first pass ends, and a worker started for that only cost the advanced scan of a
// small volume time (thread, blocks read for nothing). A large $MFT streams for hundreds.
constexpr uint64_t kRawStreakBeforeReadingAhead = 3;

bool StartsWith(const uint8_t* bytes, size_t size, const char* signature, size_t length) {
    return size >= length && std::memcmp(bytes, signature, length) == 0;
}

}  // namespace

ImageFormat DetectImageFormat(const std::u16string& path) {
    const int fd = ::open(ToUtf8(path).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return ImageFormat::kRaw;
    std::array<uint8_t, 512> head{};
    const ssize_t got = ::pread(fd, head.data(), head.size(), 0);
    const size_t n = got > 0 ? static_cast<size_t>(got) : 0;
    // A fixed VHD has its "conectix" footer in its last 512 bytes only; a dynamic one has a copy
    // at the start too.
    std::array<uint8_t, 512> foot{};
    const off_t end = ::lseek(fd, 0, SEEK_END);
    const bool footer = end >= 512 && ::pread(fd, foot.data(), 512, end - 512) == 512 &&
                        StartsWith(foot.data(), 512, "conectix", 8);
    ::close(fd);
    const uint8_t* h = head.data();
    if (StartsWith(h, n, "EVF\x09\x0d\x0a\xff\x00", 8)) return ImageFormat::kEwf;
    if (StartsWith(h, n, "vhdxfile", 8)) return ImageFormat::kVhdx;
    if (StartsWith(h, n, "conectix", 8) || footer) return ImageFormat::kVhd;
    if (StartsWith(h, n, "KDMV", 4) || StartsWith(h, n, "COWD", 4) ||
        StartsWith(h, n, "# Disk DescriptorFile", 21))
        return ImageFormat::kVmdk;
    if (StartsWith(h, n, "QFI\xfb", 4)) return ImageFormat::kQcow;
    return ImageFormat::kRaw;
}

const char* ImageFormatName(ImageFormat format) {
    switch (format) {
        case ImageFormat::kRaw: return "raw";
        case ImageFormat::kEwf: return "EWF";
        case ImageFormat::kVhd: return "VHD";
        case ImageFormat::kVhdx: return "VHDX";
        case ImageFormat::kVmdk: return "VMDK";
        case ImageFormat::kQcow: return "QCOW2";
    }
    return "raw";
}

Result<std::unique_ptr<BlockDevice>> OpenDiskImage(const std::u16string& path, ImageFormat format) {
    const std::string native = ToUtf8(path);
    switch (format) {
        case ImageFormat::kEwf: return OpenEwf(native);
        case ImageFormat::kVhd:
        case ImageFormat::kVhdx: return OpenVhdi(native);
        case ImageFormat::kVmdk: return OpenVmdk(native);
        case ImageFormat::kQcow: return OpenQcow(native);
        case ImageFormat::kRaw: break;
    }
    auto device = DeviceFile::Open(path);
    if (!device) return device.error();
    // Read ahead as containers are: while the scan streams through the $MFT, a worker copies
    // the next blocks out of the page cache (or waits for the disk) as the scan parses.
    const DeviceFile& file = **device;
    ReadAheadOptions options;
    options.blockBytes = kRawBlockBytes;
    options.blocksAhead = kRawBlocksAhead;
    options.streakBeforeReadingAhead = kRawStreakBeforeReadingAhead;
    // A worker asks for its reader when it starts; the read-ahead device joins its workers
    // before file goes.
    return WithReadAhead(
        std::move(*device),
        [&file]() -> Result<std::unique_ptr<BlockDevice>> {
            auto another = file.AnotherReader();
            if (!another) return another.error();
            return std::unique_ptr<BlockDevice>(std::move(*another));
        },
        options);
}

}  // namespace qv
