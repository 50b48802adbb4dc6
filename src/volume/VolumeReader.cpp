#include "volume/VolumeReader.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "base/Error.h"
#include "platform/Text.h"

namespace qv {

Status VolumeReader::Open(const Source& source) {
    auto device = OpenSource(source);
    if (!device) return device.error();
    const Status opened = Open(std::move(*device));
    sourcePath_ = source.path;
    source_ = source;
    return opened;
}

Status VolumeReader::Open(std::unique_ptr<BlockDevice> device) {
    device_ = std::move(device);
    uint8_t sector[BootParameters::kSectorBytes];
    const Result<size_t> n = device_->ReadAt(0, sector, sizeof sector);
    windows_[0].CountDeviceRead(n ? *n : 0);
    if (!n)
        return Error(kErrBootSector,
                     "read error in the boot sector: " +
                         (n.error().osError ? std::string(std::strerror(n.error().osError))
                                            : n.error().Text()),
                     n.error().osError);
    if (*n != sizeof sector) return Error(kErrBootSector, "the volume is smaller than one sector");
    std::string why;
    const auto boot = BootParameters::Parse(std::span<const uint8_t, 512>(sector), &why);
    if (!boot) return Error(kErrBootSector, "not an NTFS volume: " + why);
    boot_ = *boot;
    const uint64_t cs = boot_.clusterSize;
    const uint64_t data = std::min<uint64_t>(cs * kWindowClusters, kMaxWindowBytes / cs * cs);
    const uint64_t records = std::max<uint64_t>(cs, kMaxRecordWindowBytes / cs * cs);
    if (!windows_[0].Allocate(data) ||
        !windows_[1].Allocate(std::min(data, records), kRecordGapBytes))
        return Error(kErrNoMemory, "out of memory for the read-ahead window");
    return {};
}

Status VolumeReader::ReadAt(int64_t offset, void* buffer, uint32_t length, Stream stream) {
    if (!device_) return Error(kErrSeek, "no volume is open");
    return windows_[static_cast<int>(stream)].Read(*device_, offset, buffer, length);
}

Status VolumeReader::ReadClusters(uint64_t cluster, void* buffer, uint32_t length) {
    const uint64_t cs = boot_.clusterSize;
    if (cs == 0 || cluster > static_cast<uint64_t>(INT64_MAX) / cs)
        return Error(kErrSeek, "no volume cluster " + std::to_string(cluster));
    return ReadAt(static_cast<int64_t>(cluster * cs), buffer, length);
}

Status VolumeReader::ReadMftStart(void* buffer, uint32_t length) {
    return ReadClusters(boot_.mftCluster, buffer, length);
}

}  // namespace qv
