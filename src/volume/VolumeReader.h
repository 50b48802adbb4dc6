#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/BlockDevice.h"
#include "volume/BootSector.h"

namespace qv {

// The only place the program touches the volume it scans: opens the device of a drive letter
// read-only, keeps the boot sector's parameters and serves positioned reads through one
// read-ahead window. A miss refills the window from the requested offset: while requests follow
// on from each other the refill reads ahead, doubling up to the whole window, so reading a large
// stream costs one device read per window; a request that jumps elsewhere reads only what it
// asks for, rounded up to a 4 KiB block, so a recovery of many small scattered files reads
// about what they hold.
class VolumeReader {
public:
    static constexpr uint32_t kWindowClusters = 5000;
    static constexpr uint64_t kMaxWindowBytes = 16u << 20;  // 5000 clusters of 2 MiB would be 10 GB
    // What a jump reads at least, and the unit its end is rounded up to: a page of the cache.
    static constexpr uint64_t kBlockBytes = 4096;

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
    // The block device or image file opened by letter; empty for a device handed over.
    const std::u16string& SourcePath() const { return sourcePath_; }
    // The errno of a failed open (EACCES when the user may not read the device), else 0.
    int FailureErrno() const { return failureErrno_; }
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
    int64_t nextOffset_ = -1;  // where the last request ended: the next sequential one starts
    uint64_t lastFill_ = 0;    // bytes the last refill asked the device for
    Stats stats_;
    std::string failureReason_;
    std::u16string sourcePath_;
    int failureErrno_ = 0;
};

}  // namespace qv
