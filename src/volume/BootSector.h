#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace qv {

// The fields of an NTFS boot sector that the program uses, decoded and checked.
//
// Layout (offsets in the first sector):
//   0x03  8  OEM name "NTFS    "
//   0x0B  2  bytes per sector
//   0x0D  1  sectors per cluster; above 0x80 a power: 2^(256 - v) (clusters of 128 KiB+)
//   0x28  8  total sectors
//   0x30  8  logical cluster number of the $MFT
//   0x38  8  logical cluster number of the $MFTMirr
//   0x40  1  clusters per FILE record (signed; negative n means 2^-n bytes)
//   0x44  1  clusters per index block (same encoding)
//   0x48  8  volume serial number
//   0x1FE 2  0x55 0xAA
struct BootParameters {
    static constexpr size_t kSectorBytes = 512;

    std::array<uint8_t, 0x50 - 0x0B> raw{};  // bytes 0x0B..0x4F as found
    uint16_t bytesPerSector = 0;
    uint32_t sectorsPerCluster = 0;
    uint32_t clusterSize = 0;
    uint32_t recordSize = 0;
    uint64_t totalSectors = 0;
    uint64_t mftCluster = 0;
    uint64_t mftMirrorCluster = 0;
    uint64_t serialNumber = 0;

    // Decodes and validates a first sector. On failure returns nullopt and puts the reason
    // into *why.
    static std::optional<BootParameters> Parse(std::span<const uint8_t, kSectorBytes> sector,
                                               std::string* why = nullptr);
};

}  // namespace qv
