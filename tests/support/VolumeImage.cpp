#include "support/VolumeImage.h"

#include <bit>
#include <cstring>
#include <stdexcept>

#include "support/Bytes.h"
#include "support/MemoryDevice.h"

namespace qv::test {

std::vector<uint8_t> MakeBootSector(uint16_t bytesPerSector, uint8_t sectorsPerClusterByte,
                                    uint64_t mftCluster, uint8_t recordByte,
                                    uint64_t totalSectors) {
    std::vector<uint8_t> s(512, 0);
    s[0] = 0xEB, s[1] = 0x52, s[2] = 0x90;
    std::memcpy(s.data() + 3, "NTFS    ", 8);
    Put16(s, 0x0B, bytesPerSector);
    s[0x0D] = sectorsPerClusterByte;
    Put64(s, 0x28, totalSectors);
    Put64(s, 0x30, mftCluster);
    s[0x38] = 2;
    s[0x40] = recordByte;
    s[0x44] = 1;
    s[510] = 0x55, s[511] = 0xAA;
    return s;
}

VolumeImage::VolumeImage(uint32_t clusterSize, uint64_t clusters, uint64_t mftCluster,
                         uint16_t bytesPerSector, uint8_t recordByte)
    : clusterSize_(clusterSize), bytes_(clusterSize * clusters, 0) {
    const uint32_t spc = clusterSize / bytesPerSector;
    // Stored as a power (-power as a signed byte) from 256 sectors on.
    const auto spcByte = static_cast<uint8_t>(spc >= 256 ? 256 - std::bit_width(spc - 1) : spc);
    const auto boot = MakeBootSector(bytesPerSector, spcByte, mftCluster, recordByte,
                                     bytes_.size() / bytesPerSector);
    std::memcpy(bytes_.data(), boot.data(), boot.size());
}

void VolumeImage::Put(uint64_t cluster, const std::vector<uint8_t>& data) {
    PutAt(cluster * clusterSize_, data);
}

void VolumeImage::PutAt(uint64_t offset, const std::vector<uint8_t>& data) {
    if (offset + data.size() > bytes_.size()) throw std::out_of_range("past the image");
    std::memcpy(bytes_.data() + offset, data.data(), data.size());
}

std::unique_ptr<VolumeReader> VolumeImage::Open() const {
    auto reader = std::make_unique<VolumeReader>();
    if (!reader->Open(std::make_unique<MemoryDevice>(bytes_)))
        throw std::runtime_error("test volume does not open");
    return reader;
}

std::vector<uint8_t> PatternBytes(size_t size, uint32_t seed) {
    std::vector<uint8_t> out(size);
    uint32_t x = seed * 2654435761u + 1;
    for (auto& b : out) {
        x ^= x << 13, x ^= x >> 17, x ^= x << 5;
        b = static_cast<uint8_t>(x);
    }
    return out;
}

}  // namespace qv::test
