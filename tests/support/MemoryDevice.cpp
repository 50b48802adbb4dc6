#include "support/MemoryDevice.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

namespace qv::test {

Result<size_t> MemoryDevice::ReadAt(uint64_t offset, void* buffer, size_t size) {
    if (log_) log_->reads.emplace_back(offset, size);
    if (offset >= bytes_.size()) return size_t{0};
    const size_t n = std::min<uint64_t>(size, bytes_.size() - offset);
    if (offset + n > failFrom_ && n > 0)
        return Error(kErrRead, "read error at byte " + std::to_string(offset), EIO);
    std::memcpy(buffer, bytes_.data() + offset, n);
    return n;
}

}  // namespace qv::test
