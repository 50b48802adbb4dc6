#include "volume/ReadWindow.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>

#include "base/Error.h"
#include "platform/BlockDevice.h"

namespace qv {

namespace {

uint64_t RoundUp(uint64_t value, uint64_t block) {
    return value % block == 0 ? value : value + (block - value % block);
}

}  // namespace

bool ReadWindow::Allocate(uint64_t capacity, int64_t near) {
    near_ = near;
    bytes_.reset(new (std::nothrow) uint8_t[capacity]);
    capacity_ = bytes_ ? capacity : 0;
    length_ = 0;
    start_ = 0;
    nextOffset_ = -1;
    lastFill_ = 0;
    return bytes_ != nullptr;
}

Status ReadWindow::Read(BlockDevice& device, int64_t offset, void* buffer, uint32_t length) {
    // Hit: wholly inside the window, no device access.
    if (length_ > 0 && start_ <= offset &&
        static_cast<uint64_t>(offset - start_) + length <= length_) {
        std::memcpy(buffer, bytes_.get() + (offset - start_), length);
        ++stats_.hits;
        nextOffset_ = offset + length;
        return {};
    }
    if (offset < 0 || capacity_ == 0)
        return Error(kErrSeek, "no volume byte " + std::to_string(offset));
    if (length == 0) return {};
    ++stats_.misses;
    const bool sequential =
        nextOffset_ >= 0 && offset >= nextOffset_ && offset - nextOffset_ <= near_;
    auto* out = static_cast<uint8_t*>(buffer);
    uint64_t position = static_cast<uint64_t>(offset);
    uint32_t delivered = 0;
    while (delivered < length) {
        const uint64_t remaining = length - delivered;
        // A large request goes straight into the caller's buffer, which already holds as much as
        // reading ahead would: copying it through the window would only touch more memory. The
        // window keeps what it holds.
        const bool direct = remaining >= kDirectBytes;
        uint64_t fill = std::min(remaining, capacity_);
        if (!direct) {
            fill = RoundUp(position + remaining, kBlockBytes) - position;
            if (sequential || delivered > 0) fill = std::max(fill, 2 * lastFill_);
            fill = std::min(fill, capacity_);
        }
        uint8_t* into = direct ? out + delivered : bytes_.get();
        const Result<size_t> read = device.ReadAt(position, into, fill);
        ++stats_.deviceReads;
        if (!read || *read == 0) {
            if (!direct) length_ = 0;  // the buffer may be half overwritten: trust none of it
            lastFill_ = 0;
            nextOffset_ = -1;
            if (!read) return read.error();
            return Error(kErrRead, "the volume ends before byte " + std::to_string(position));
        }
        const uint64_t n = *read;
        stats_.bytesFromDevice += n;
        lastFill_ = fill;
        if (!direct) {
            start_ = static_cast<int64_t>(position);
            length_ = n;
            std::memcpy(out + delivered, bytes_.get(), std::min(n, remaining));
        }
        delivered += static_cast<uint32_t>(std::min(n, remaining));
        position += n;
    }
    nextOffset_ = offset + length;
    return {};
}

}  // namespace qv
