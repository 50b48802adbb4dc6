#include "support/VolumeImage.h"

#include <cstring>
#include <stdexcept>

#include "support/MemoryDevice.h"

namespace qv::test {

std::vector<uint8_t> MakeBootSector(uint16_t bytesPerSector, uint8_t sectorsPerClusterByte,
                                    uint64_t mftCluster, uint8_t recordByte,
                                    uint64_t totalSectors) {
    std::vector<uint8_t> s(512, 0);
    s[0] = 0xEB, s[1] = 0x52, s[2] = 0x90;
    std::memcpy(s.data() + 3, "NTFS    ", 8);
    s[0x0B] = static_cast<uint8_t>(bytesPerSector);
    s[0x0C] = static_cast<uint8_t>(bytesPerSector >> 8);
    s[0x0D] = sectorsPerClusterByte;
    for (int i = 0; i < 8; ++i)
        s[0x28 + i] = static_cast<uint8_t>(totalSectors >> (8 * i));
    for (int i = 0; i < 8; ++i)
        s[0x30 + i] = static_cast<uint8_t>(mftCluster >> (8 * i));
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
    uint8_t spcByte = static_cast<uint8_t>(spc);
    if (spc >= 256) {  // stored as a power since 128 KiB clusters
        int power = 0;
        while ((1u << power) < spc)
            ++power;
        spcByte = static_cast<uint8_t>(256 - power);
    }
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
