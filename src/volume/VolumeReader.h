#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "base/Error.h"
#include "platform/BlockDevice.h"
#include "platform/Source.h"
#include "volume/BootSector.h"
#include "volume/ReadWindow.h"

namespace qv {

// The only place the program touches the volume it scans: opens a source read-only, keeps the
// boot sector's parameters and serves positioned reads through read-ahead windows (see
// ReadWindow). Two streams of reads that go on side by side each have their own window, so
// neither breaks the other's read-ahead: the files' data (read ahead only while the reads follow
// on exactly: many small files near each other are not one stream), and the $MFT's records (a
// recovery reads each chosen file's record, then its data).
class VolumeReader {
public:
    static constexpr uint32_t kWindowClusters = 5000;
    static constexpr uint64_t kMaxWindowBytes = 16u << 20;  // 5000 clusters of 2 MiB would be 10 GB
    // Records are read one at a time: their window needs less room. Read in ascending order with
    // gaps (every deleted file's, say), they still count as reading on.
    static constexpr uint64_t kMaxRecordWindowBytes = 1u << 20;
    static constexpr int64_t kRecordGapBytes = 64 << 10;

    enum class Stream { kData, kRecords };
    using Stats = ReadWindow::Stats;

    VolumeReader() = default;
    VolumeReader(const VolumeReader&) = delete;
    VolumeReader& operator=(const VolumeReader&) = delete;

    // Opens a source read-only and reads its boot sector. The error (kErrOpenVolume,
    // kErrBootSector or kErrNoMemory) names the cause for the log; its errno is EACCES or EPERM
    // when the user may not read the device.
    Status Open(const Source& source);
    // The same on a device already at hand (tests, fuzzers).
    Status Open(std::unique_ptr<BlockDevice> device);

    // Reads length bytes at a byte offset, all or none: kErrSeek or kErrRead with the cause.
    Status ReadAt(int64_t offset, void* buffer, uint32_t length, Stream stream = Stream::kData);
    // Reads length bytes from the start of a cluster (64-bit cluster numbers).
    Status ReadClusters(uint64_t cluster, void* buffer, uint32_t length);
    // Reads length bytes from the first cluster of the $MFT.
    Status ReadMftStart(void* buffer, uint32_t length);

    uint32_t ClusterSize() const { return boot_.clusterSize; }
    uint16_t SectorSize() const { return boot_.bytesPerSector; }
    uint32_t RecordSize() const { return boot_.recordSize; }
    // The block device or image file opened; empty for a device handed over.
    const std::u16string& SourcePath() const { return sourcePath_; }
    // The source opened, for a second reader of the same volume (one per thread); null for a
    // device handed over.
    const Source* OpenedSource() const { return source_ ? &*source_ : nullptr; }
    const BootParameters& Boot() const { return boot_; }
    uint64_t DeviceSize() const { return device_ ? device_->Size() : 0; }
    // The data window.
    uint64_t WindowSize() const { return windows_[0].Capacity(); }
    int64_t WindowStart() const { return windows_[0].Start(); }
    uint64_t WindowLength() const { return windows_[0].Length(); }
    const Stats& GetStats() const { return windows_[0].GetStats(); }

private:
    std::unique_ptr<BlockDevice> device_;
    BootParameters boot_;
    ReadWindow windows_[2];  // by Stream
    std::u16string sourcePath_;
    std::optional<Source> source_;
};

}  // namespace qv
