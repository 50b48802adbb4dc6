#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "volume/VolumeReader.h"

namespace qv::test {

// A first sector that passes as an NTFS boot sector with the given geometry.
// recordByte is the clusters-per-FILE-record byte (0xF6 = 2^10 = 1024 bytes).
std::vector<uint8_t> MakeBootSector(uint16_t bytesPerSector, uint8_t sectorsPerClusterByte,
                                    uint64_t mftCluster, uint8_t recordByte = 0xF6,
                                    uint64_t totalSectors = 0);

// A small volume in memory: a boot sector and clusters that tests fill.
class VolumeImage {
public:
    VolumeImage(uint32_t clusterSize, uint64_t clusters, uint64_t mftCluster = 4,
                uint16_t bytesPerSector = 512, uint8_t recordByte = 0xF6);

    std::vector<uint8_t>& Bytes() { return bytes_; }
    // Writes data from the start of a cluster (it may run on into the next ones).
    void Put(uint64_t cluster, const std::vector<uint8_t>& data);
    void PutAt(uint64_t offset, const std::vector<uint8_t>& data);

    // A reader over a copy of the image as it stands now.
    std::unique_ptr<VolumeReader> Open() const;

private:
    uint32_t clusterSize_;
    std::vector<uint8_t> bytes_;
};

// Reproducible filler bytes.
std::vector<uint8_t> PatternBytes(size_t size, uint32_t seed);

}  // namespace qv::test
