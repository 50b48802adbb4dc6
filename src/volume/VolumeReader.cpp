#include "volume/VolumeReader.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "base/Error.h"
#include "platform/DriveTable.h"
#include "platform/Text.h"

namespace qv {

namespace {

uint64_t RoundUp(uint64_t value, uint64_t block) {
    return value % block == 0 ? value : value + (block - value % block);
}

}  // namespace

int VolumeReader::Open(char16_t driveLetter) {
    driveLetter_ = driveLetter;
    const auto drive = DriveTable::Global().Find(driveLetter);
    if (!drive) {
        failureReason_ =
            std::string("no volume is known as ") + static_cast<char>(driveLetter) + ":";
        return kErrOpenVolume;
    }
    int error = 0;
    std::string why;
    sourcePath_ = drive->path;
    auto device = DeviceFile::Open(drive->path, &error, &why);
    if (!device) {
        failureErrno_ = error;
        failureReason_ = "cannot open " + ToUtf8(drive->path) + ": " + std::strerror(error);
        if (!why.empty()) failureReason_ += " (" + why + ")";
        return kErrOpenVolume;
    }
    return Open(std::move(device), driveLetter);
}

int VolumeReader::Open(std::unique_ptr<BlockDevice> device, char16_t driveLetter) {
    driveLetter_ = driveLetter;
    device_ = std::move(device);
    uint8_t sector[BootParameters::kSectorBytes];
    const int64_t n = device_->ReadAt(0, sector, sizeof sector);
    ++stats_.deviceReads;
    if (n != static_cast<int64_t>(sizeof sector)) {
        failureReason_ = n < 0 ? std::string("read error in the boot sector: ") +
                                     std::strerror(static_cast<int>(-n))
                               : "the volume is smaller than one sector";
        return kErrBootSector;
    }
    stats_.bytesFromDevice += sizeof sector;
    std::string why;
    const auto boot = BootParameters::Parse(std::span<const uint8_t, 512>(sector), &why);
    if (!boot) {
        failureReason_ = "not an NTFS volume: " + why;
        return kErrBootSector;
    }
    boot_ = *boot;
    const uint64_t cs = boot_.clusterSize;
    windowSize_ = std::min<uint64_t>(cs * kWindowClusters, kMaxWindowBytes / cs * cs);
    window_.reset(new (std::nothrow) uint8_t[windowSize_]);
    if (!window_) {
        failureReason_ = "out of memory for the read-ahead window";
        return kErrNoMemory;
    }
    windowLength_ = 0;
    windowStart_ = 0;
    nextOffset_ = -1;
    lastFill_ = 0;
    return 0;
}

int64_t VolumeReader::ReadAt(int64_t offset, void* buffer, uint32_t length) {
    // Hit: wholly inside the window, no device access.
    if (windowLength_ > 0 && windowStart_ <= offset &&
        static_cast<uint64_t>(offset - windowStart_) + length <= windowLength_) {
        std::memcpy(buffer, window_.get() + (offset - windowStart_), length);
        ++stats_.hits;
        nextOffset_ = offset + length;
        return length;
    }
    if (offset < 0 || !device_) return kErrSeek;
    if (length == 0) return 0;
    ++stats_.misses;
    // A request that continues the previous one is sequential reading (the $MFT copy, a large
    // file's runs): read ahead, twice as far as last time, up to the whole window. A request
    // anywhere else (the next of many small files) reads just what it asks for, rounded up to a
    // block, so scattered small reads do not each cost a whole window.
    const bool sequential = offset == nextOffset_;
    auto* out = static_cast<uint8_t*>(buffer);
    uint64_t position = static_cast<uint64_t>(offset);
    uint32_t delivered = 0;
    while (delivered < length) {
        const uint64_t wanted = RoundUp(position + (length - delivered), kBlockBytes) - position;
        uint64_t fill = wanted;
        if (sequential || delivered > 0) fill = std::max(fill, 2 * lastFill_);
        fill = std::min(fill, windowSize_);
        const int64_t n = device_->ReadAt(position, window_.get(), fill);
        ++stats_.deviceReads;
        if (n <= 0) {
            windowLength_ = 0;  // the buffer may be half overwritten: trust none of it
            lastFill_ = 0;
            nextOffset_ = -1;
            return kErrRead;
        }
        stats_.bytesFromDevice += static_cast<uint64_t>(n);
        lastFill_ = fill;
        windowStart_ = static_cast<int64_t>(position);
        windowLength_ = static_cast<uint64_t>(n);
        const uint32_t take = static_cast<uint32_t>(std::min<uint64_t>(n, length - delivered));
        std::memcpy(out + delivered, window_.get(), take);
        delivered += take;
        position += static_cast<uint64_t>(n);
    }
    nextOffset_ = offset + length;
    return delivered;
}

int64_t VolumeReader::ReadClusters(uint64_t cluster, void* buffer, uint32_t length) {
    const uint64_t cs = boot_.clusterSize;
    if (cs == 0 || cluster > static_cast<uint64_t>(INT64_MAX) / cs) return kErrSeek;
    return ReadAt(static_cast<int64_t>(cluster * cs), buffer, length);
}

int64_t VolumeReader::ReadMftStart(void* buffer, uint32_t length) {
    return ReadClusters(boot_.mftCluster, buffer, length);
}

}  // namespace qv
