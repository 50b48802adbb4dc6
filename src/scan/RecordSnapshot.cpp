#include "scan/RecordSnapshot.h"

#include <string>

#include "platform/TempFile.h"

namespace qv {

namespace {
// Records are written out a megabyte at a time.
constexpr size_t kFlushBytes = 1u << 20;
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
    image.assign(at->second.size, 0);
    const Result<size_t> n = file_.ReadAt(at->second.offset, image.data(), at->second.stored);
    if (!n) return n.error();
    if (*n != at->second.stored)
        return Error(kErrRead, "the kept copy of record " + std::to_string(number) + " is short");
    return {};
}

}  // namespace qv
