#include "volume/BootSector.h"

#include <cstring>

#include "base/LittleEndian.h"

namespace qv {

namespace {

constexpr uint32_t kMaxClusterSize = 2u << 20;  // NTFS clusters go up to 2 MiB
constexpr uint32_t kMinRecordSize = 512;        // fixups protect 512-byte blocks
constexpr uint32_t kMaxRecordSize = 64u << 10;

bool IsPowerOfTwo(uint64_t v) {
    return v != 0 && (v & (v - 1)) == 0;
}

// Clusters-per-record and clusters-per-index-block: a positive byte counts clusters, a negative
// one n means 2^-n bytes (records smaller than a cluster).
uint64_t DecodeClusterCount(uint8_t raw, uint32_t clusterSize) {
    const auto v = static_cast<int8_t>(raw);
    if (v >= 0) return static_cast<uint64_t>(v) * clusterSize;
    const int shift = -v;
    return shift < 32 ? (uint64_t{1} << shift) : 0;
}

bool Fail(std::string* why, const char* reason) {
    if (why) *why = reason;
    return false;
}

}  // namespace

std::optional<BootParameters> BootParameters::Parse(std::span<const uint8_t, kSectorBytes> s,
                                                    std::string* why) {
    const uint8_t* p = s.data();
    if (std::memcmp(p + 3, "NTFS    ", 8) != 0) {
        Fail(why, "no NTFS signature in the boot sector");
        return std::nullopt;
    }
    if (p[510] != 0x55 || p[511] != 0xAA) {
        Fail(why, "the boot sector has no end marker");
        return std::nullopt;
    }
    BootParameters b;
    std::memcpy(b.raw.data(), p + 0x0B, b.raw.size());
    b.bytesPerSector = Load16(p + 0x0B);
    if (!IsPowerOfTwo(b.bytesPerSector) || b.bytesPerSector < 256 || b.bytesPerSector > 4096) {
        Fail(why, "bytes per sector is not a power of two from 256 to 4096");
        return std::nullopt;
    }
    const uint8_t spc = p[0x0D];
    if (spc == 0) {
        Fail(why, "sectors per cluster is 0");
        return std::nullopt;
    }
    // Since Windows 10 1709, clusters of 128 KiB and more store the count as a power: a byte v
    // above 0x80 means 2^(256 - v). 0x80 itself is 128 sectors (64 KiB clusters of 512-byte
    // sectors, as mkntfs and Windows have always written it).
    const uint64_t sectors = spc <= 0x80 ? spc : (256 - spc < 32 ? uint64_t{1} << (256 - spc) : 0);
    const uint64_t clusterSize = sectors * b.bytesPerSector;
    if (sectors == 0 || clusterSize > kMaxClusterSize) {
        Fail(why, "the cluster size is larger than 2 MiB");
        return std::nullopt;
    }
    b.sectorsPerCluster = static_cast<uint32_t>(sectors);
    b.clusterSize = static_cast<uint32_t>(clusterSize);
    const uint64_t recordSize = DecodeClusterCount(p[0x40], b.clusterSize);
    if (!IsPowerOfTwo(recordSize) || recordSize < kMinRecordSize || recordSize > kMaxRecordSize) {
        Fail(why, "the FILE record size is not a power of two from 512 to 65536");
        return std::nullopt;
    }
    b.recordSize = static_cast<uint32_t>(recordSize);
    b.totalSectors = Load64(p + 0x28);
    b.mftCluster = Load64(p + 0x30);
    b.mftMirrorCluster = Load64(p + 0x38);
    b.serialNumber = Load64(p + 0x48);
    return b;
}

}  // namespace qv
