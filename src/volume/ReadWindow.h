#pragma once

#include <cstdint>
#include <memory>

#include "base/Error.h"

namespace qv {

class BlockDevice;

// One read-ahead window over a device. A miss refills the window from the requested offset:
// while requests follow on from each other (or, for a window that allows it, start a little past
// the last one's end) the refill reads ahead, twice as far as last time, up to the whole window, so
// reading a large stream costs one device read per window; a request that jumps elsewhere reads
// only what it asks for, rounded up to a 4 KiB block, so many small scattered reads cost about what
// they hold.
class ReadWindow {
public:
    // What a jump reads at least, and the unit its end is rounded up to: a page of the cache.
    static constexpr uint64_t kBlockBytes = 4096;
    // A request at least this large bypasses the window.
    static constexpr uint64_t kDirectBytes = 64 * 1024;

    struct Stats {
        uint64_t deviceReads = 0;      // calls into the device
        uint64_t bytesFromDevice = 0;  // bytes those calls delivered
        uint64_t hits = 0;             // requests served from the window alone
        uint64_t misses = 0;           // requests that refilled it
    };

    // A window of up to capacity bytes (the memory is only touched as it fills). A request that
    // starts up to near bytes past the end of the last one still counts as reading on. False
    // when the memory cannot be had.
    bool Allocate(uint64_t capacity, int64_t near = 0);

    // Reads length bytes at offset of device, all of them or none: kErrSeek for a negative
    // offset, kErrRead (with the cause) when the device fails or ends first.
    Status Read(BlockDevice& device, int64_t offset, void* buffer, uint32_t length);

    uint64_t Capacity() const { return capacity_; }
    int64_t Start() const { return start_; }
    uint64_t Length() const { return length_; }
    const Stats& GetStats() const { return stats_; }
    void CountDeviceRead(uint64_t bytes) {
        ++stats_.deviceReads;
        stats_.bytesFromDevice += bytes;
    }

private:
    std::unique_ptr<uint8_t[]> bytes_;
    uint64_t capacity_ = 0;
    uint64_t length_ = 0;  // valid bytes (0: empty)
    int64_t start_ = 0;    // where on the device they start
    int64_t near_ = 0;
    int64_t nextOffset_ = -1;  // where the last request ended: the next sequential one starts
    uint64_t lastFill_ = 0;    // bytes the last refill asked the device for
    Stats stats_;
};

}  // namespace qv
