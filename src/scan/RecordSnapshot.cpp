#include "scan/RecordSnapshot.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/TempFile.h"

namespace qv {

namespace {
// Records are written out a megabyte at a time.
constexpr size_t kFlushBytes = 1u << 20;
// And read back 256 KiB at a time: a few hundred records.
constexpr size_t kAheadBytes = 256u << 10;
}  // namespace

Status RecordSnapshot::Create() {
    return MakeTempFile(file_, "NRM");
}

Status RecordSnapshot::Add(uint64_t number, const std::vector<uint8_t>& image) {
    size_t stored = image.size();
    while (stored > 0 && image[stored - 1] == 0)
        --stored;
    const auto [at, made] = index_.try_emplace(
        number, Place{written_ + pending_.size(), static_cast<uint32_t>(image.size()),
                      static_cast<uint32_t>(stored)});
    if (!made) return {};
    pending_.insert(pending_.end(), image.begin(), image.begin() + static_cast<ptrdiff_t>(stored));
    if (pending_.size() >= kFlushBytes) return Finish();
    return {};
}

Status RecordSnapshot::Finish() {
    if (pending_.empty()) return {};
    if (Status written = file_.Write(pending_.data(), pending_.size()); !written) return written;
    written_ += pending_.size();
    pending_.clear();
    return {};
}

bool RecordSnapshot::Has(uint64_t number) const {
    return index_.count(number) != 0;
}

Status RecordSnapshot::Read(uint64_t number, std::vector<uint8_t>& image) {
    const auto at = index_.find(number);
    if (at == index_.end())
        return Error(kErrRead, "record " + std::to_string(number) + " was not kept by the scan");
    if (Status flushed = Finish(); !flushed) return flushed;
    const Place& place = at->second;
    image.assign(place.size, 0);
    const std::lock_guard lock(aheadMutex_);
    const bool held =
        place.offset >= aheadAt_ && place.offset + place.stored <= aheadAt_ + ahead_.size();
    if (!held) {
        ahead_.resize(std::max<size_t>(kAheadBytes, place.stored));
        const Result<size_t> n = file_.ReadAt(place.offset, ahead_.data(), ahead_.size());
        if (!n) {
            ahead_.clear();
            return n.error();
        }
        ahead_.resize(*n);
        aheadAt_ = place.offset;
        if (*n < place.stored)
            return Error(kErrRead,
                         "the kept copy of record " + std::to_string(number) + " is short");
    }
    std::memcpy(image.data(), ahead_.data() + (place.offset - aheadAt_), place.stored);
    return {};
}

}  // namespace qv
