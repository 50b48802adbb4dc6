#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/BlockDevice.h"
#include "volume/BootSector.h"

namespace qv {

// The only place the program touches the volume it scans: opens the device of a drive letter
// read-only, keeps the boot sector's parameters and serves positioned reads through one large
// read-ahead window. A miss always refills the window from the requested offset, so reading a
// file cluster by cluster costs one device read per window.
class VolumeReader {
public:
    static constexpr uint32_t kWindowClusters = 5000;
    static constexpr uint64_t kMaxWindowBytes = 16u << 20;  // 5000 clusters of 2 MiB would be 10 GB

    struct Stats {
        uint64_t deviceReads = 0;      // calls into the device
        uint64_t bytesFromDevice = 0;  // bytes those calls delivered
        uint64_t hits = 0;             // requests served from the window alone
        uint64_t misses = 0;           // requests that refilled it
    };

    VolumeReader() = default;
    VolumeReader(const VolumeReader&) = delete;
    VolumeReader& operator=(const VolumeReader&) = delete;

    // Opens the drive letter's device or image through the drive table. 0, kErrOpenVolume,
    // kErrBootSector or kErrNoMemory; FailureReason() then names the cause for the log.
    int Open(char16_t driveLetter);
    // The same on a device already at hand (tests, fuzzers).
    int Open(std::unique_ptr<BlockDevice> device, char16_t driveLetter);

    // Reads length bytes at a byte offset. Returns length, or kErrSeek / kErrRead.
    int64_t ReadAt(int64_t offset, void* buffer, uint32_t length);
    // Reads length bytes from the start of a cluster (64-bit cluster numbers).
    int64_t ReadClusters(uint64_t cluster, void* buffer, uint32_t length);
    // Reads length bytes from the first cluster of the $MFT.
    int64_t ReadMftStart(void* buffer, uint32_t length);

    uint32_t ClusterSize() const { return boot_.clusterSize; }
    uint16_t SectorSize() const { return boot_.bytesPerSector; }
    uint32_t RecordSize() const { return boot_.recordSize; }
    char16_t DriveLetter() const { return driveLetter_; }
    const BootParameters& Boot() const { return boot_; }
    uint64_t DeviceSize() const { return device_ ? device_->Size() : 0; }
    uint64_t WindowSize() const { return windowSize_; }
    int64_t WindowStart() const { return windowStart_; }
    uint64_t WindowLength() const { return windowLength_; }
    const Stats& GetStats() const { return stats_; }
    const std::string& FailureReason() const { return failureReason_; }

private:
    std::unique_ptr<BlockDevice> device_;
    BootParameters boot_;
    char16_t driveLetter_ = 0;
    std::unique_ptr<uint8_t[]> window_;
    uint64_t windowSize_ = 0;
    uint64_t windowLength_ = 0;
    int64_t windowStart_ = 0;
    Stats stats_;
    std::string failureReason_;
};

}  // namespace qv
