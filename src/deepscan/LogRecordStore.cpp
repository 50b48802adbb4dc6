// The record store and its index: appending records while the log is loaded, finding and
// fetching them afterwards.
#include "deepscan/LogRecordStore.h"

#include <algorithm>
#include <new>

#include "base/Error.h"
#include "deepscan/LogFormat.h"

namespace qv {

namespace {

// Fetches read the store in aligned pieces of this size.
constexpr uint64_t kCacheSize = 64u << 10;

// The shape of the 88-byte records that close a transaction: 40 bytes of client data and no
// redo or undo data of their own (an undo length of 8 is their LCN field read as undo data).
bool IsClosingRecord(const std::vector<uint8_t>& r) {
    using namespace logfmt;
    return r.size() == 88 && Load32(r.data() + kClientDataLength) == 40 &&
           Load16(r.data() + kRedoOffset) == 40 && Load16(r.data() + kUndoOffset) == 40 &&
           Load16(r.data() + kRedoLength) == 0 &&
           (Load16(r.data() + kUndoLength) == 0 || Load16(r.data() + kUndoLength) == 8);
}

}  // namespace

size_t LogRecordStore::RecordCount() const {
    size_t n = current_.size();
    for (const LsnRun& run : runs_)
        n += run.size();
    return n;
}

void LogRecordStore::CloseRun() {
    if (!current_.empty()) runs_.push_back(std::move(current_));
    current_ = LsnRun{};
}

Status LogRecordStore::Append(uint64_t lsn, const std::vector<uint8_t>& record) {
    // A new run begins wherever the LSNs go back: where the circular log wraps, or where the
    // walk meets older records.
    if (!current_.empty() && current_.back().lsn > lsn) CloseRun();
    current_.push_back(LsnIndexEntry{lsn, storeLength_});
    // Written out before it would outgrow its reservation: growing would copy it into fresh memory.
    if (pending_.size() + record.size() > pending_.capacity())
        if (Status flushed = Flush(); !flushed) return flushed;
    pending_.insert(pending_.end(), record.begin(), record.end());
    storeLength_ += record.size();
    if (pending_.size() >= kFlushSize) return Flush();
    return {};
}

Status LogRecordStore::Flush() {
    if (pending_.empty()) return {};
    if (Status written = store_.Write(pending_.data(), pending_.size()); !written) return written;
    pending_.clear();
    return {};
}

bool LogRecordStore::ReadStore(uint64_t position, uint8_t* out, size_t size) {
    if (position > storeLength_ || size > storeLength_ - position) return false;
    if (position < cacheStart_ || position + size > cacheStart_ + cache_.size()) {
        const uint64_t start = position & ~(kCacheSize - 1);
        if (position + size > start + kCacheSize)  // across two pieces: read it alone
        {
            const Result<size_t> n = store_.ReadAt(position, out, size);
            return n && *n == size;
        }
        cache_.resize(static_cast<size_t>(std::min(kCacheSize, storeLength_ - start)));
        const Result<size_t> n = store_.ReadAt(start, cache_.data(), cache_.size());
        if (!n || *n != cache_.size()) {
            cache_.clear();
            return false;
        }
        cacheStart_ = start;
    }
    std::copy_n(cache_.data() + (position - cacheStart_), size, out);
    return true;
}

const LsnIndexEntry* LogRecordStore::FindEntry(uint64_t lsn) const {
    auto search = [lsn](const LsnRun& run) -> const LsnIndexEntry* {
        if (run.empty() || run.front().lsn > lsn || run.back().lsn < lsn) return nullptr;
        auto it = std::lower_bound(run.begin(), run.end(), lsn,
                                   [](const LsnIndexEntry& e, uint64_t v) { return e.lsn < v; });
        return it != run.end() && it->lsn == lsn ? &*it : nullptr;
    };
    for (const LsnRun& run : runs_)
        if (const LsnIndexEntry* e = search(run)) return e;
    return search(current_);
}

std::optional<std::vector<uint8_t>> LogRecordStore::Fetch(uint64_t lsn, uint64_t& position) {
    using namespace logfmt;
    const LsnIndexEntry* e = FindEntry(lsn);
    if (e == nullptr || !Flush()) return std::nullopt;
    uint8_t header[kHeaderSize];
    if (!ReadStore(e->position, header, kHeaderSize) || Load64(header + kLsn) != lsn)
        return std::nullopt;
    const uint64_t length = uint64_t{kHeaderSize} + Load32(header + kClientDataLength);
    if (length > storeLength_ - e->position) return std::nullopt;
    std::vector<uint8_t> record;
    try {
        record.resize(static_cast<size_t>(length));
    } catch (const std::bad_alloc&) {
        throw CMyException(kErrNoMemory, "no memory for a log record copy");
    }
    if (!ReadStore(e->position, record.data(), record.size())) return std::nullopt;
    position = e->position;
    return record;
}

std::optional<std::vector<uint8_t>> LogRecordStore::FetchPrevious(uint64_t lsn,
                                                                  uint64_t& position) {
    if (lsn != 0) return Fetch(lsn, position);
    constexpr uint64_t kClosing = 88;
    if (position < kClosing || position > storeLength_ || !Flush()) return std::nullopt;
    std::vector<uint8_t> record(kClosing);
    if (!ReadStore(position - kClosing, record.data(), kClosing)) return std::nullopt;
    // Only a record the index knows to start there counts: bytes in the middle of a longer
    // record can have the same shape.
    const LsnIndexEntry* e = FindEntry(Load64(record.data()));
    if (e == nullptr || e->position != position - kClosing || !IsClosingRecord(record))
        return std::nullopt;
    position -= kClosing;
    return record;
}

}  // namespace qv
