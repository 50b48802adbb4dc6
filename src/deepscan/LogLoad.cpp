// Loading the record store from the $LogFile, read in place: the page pass and the record walk.
#include <algorithm>
#include <memory>
#include <new>

#include "base/Error.h"
#include "base/Progress.h"
#include "deepscan/LogFormat.h"
#include "deepscan/LogRecordStore.h"
#include "deepscan/LogRestart.h"
#include "platform/TempFile.h"

namespace qv {

namespace {

using namespace logfmt;

// Both passes read the log in pieces of at most this size (whole pages). The first pass starts
// with small pieces and doubles them, so that a log mostly unused costs little.
constexpr uint64_t kChunkBytes = 256u << 10;
constexpr uint64_t kFirstChunkBytes = 64u << 10;

}  // namespace

// The buffer both passes read the log into, one piece at a time: left uninitialised, so that
// only what is read is ever touched (on a log mostly unused, fresh memory costs more than the
// reading).
class PieceBuffer {
public:
    // No larger than the log: a small one (a fuzzer's, a test's) costs no more than it holds.
    PieceBuffer(const LogGeometry& g, uint64_t logPages)
        : pages_(std::max<uint64_t>(1, std::min(kChunkBytes / g.pageSize, logPages))),
          bytes_(new uint8_t[static_cast<size_t>(pages_ * g.pageSize)]) {}
    uint64_t Pages() const { return pages_; }
    uint8_t* Data() { return bytes_.get(); }

private:
    uint64_t pages_;
    std::unique_ptr<uint8_t[]> bytes_;
};

namespace {

// Whole pages of the log, read a piece at a time, with their fixups applied to the pages
// that are intact. Asking for a page outside the piece in hand reads the piece that starts there.
class PageReader {
public:
    PageReader(ByteSource& log, const LogGeometry& g, uint64_t pages, PieceBuffer& buffer)
        : log_(log), g_(g), pages_(pages), buffer_(buffer) {}

    // Null when the page cannot be read.
    const uint8_t* Page(uint64_t k) {
        if (k < first_ || k >= first_ + count_) {
            if (!Load(k)) return nullptr;
        }
        return buffer_.Data() + (k - first_) * g_.pageSize;
    }

private:
    bool Load(uint64_t k) {
        count_ = 0;  // the piece in hand is overwritten whatever comes of the read
        if (k >= pages_) return false;
        const uint64_t count = std::min(buffer_.Pages(), pages_ - k);
        const size_t size = static_cast<size_t>(count * g_.pageSize);
        const Result<size_t> n = log_.ReadAt(k * g_.pageSize, buffer_.Data(), size);
        if (!n || *n != size) return false;
        for (uint64_t i = 0; i < count; ++i)
            FixLogPage(buffer_.Data() + i * g_.pageSize, g_);
        first_ = k;
        count_ = count;
        return true;
    }

    ByteSource& log_;
    const LogGeometry& g_;
    uint64_t pages_;
    PieceBuffer& buffer_;
    uint64_t first_ = 0;
    uint64_t count_ = 0;
};

// Reports one pass over a log that cannot serve, a page at a time, so the bar moves as it would.
void StepPages(Progress& progress, uint64_t length, uint32_t pageSize) {
    progress.SetSteps(static_cast<int64_t>(length));
    for (uint64_t done = 0; done < length; done += pageSize)
        progress.Step(std::min<uint64_t>(pageSize, length - done));
}

}  // namespace

// A walk may start on a page only when the page's last LSN maps into the page itself: copies of
// other pages (the tail copies Windows keeps near the start of the log) and pages that say
// nothing (last LSN 0) are entered only by a walk coming from the page before.
bool LogRecordStore::Walkable(uint64_t page) const {
    const PageInfo info = PageAt(page);
    if (!info.intact || info.lastLsn == 0) return false;
    const uint64_t at = LsnToOffset(info.lastLsn, geometry_.sequenceBits);
    const uint64_t start = page * geometry_.pageSize;
    return at >= start + geometry_.dataOffset && at < start + geometry_.pageSize;
}

// A record with this LSN may run on into the page only when the page is intact and, by its last
// LSN, belongs to the same pass over the circular log and was written no earlier than the record
// began: anything else there is older data that the record's own continuation never reached (at
// the head of the log, its continuation sits in a tail copy). A page whose last LSN is 0 says
// nothing; AgreesAfter looks at its records instead.
bool LogRecordStore::Continues(uint64_t page, uint64_t lsn) const {
    const PageInfo info = PageAt(page);
    if (!info.intact) return false;
    if (info.lastLsn == 0) return true;
    return info.lastLsn >= lsn && LsnSequence(info.lastLsn, geometry_.sequenceBits) ==
                                      LsnSequence(lsn, geometry_.sequenceBits);
}

// True when every record that stands on the page behind offset `from` belongs to the same pass
// as the LSN and is newer.
bool LogRecordStore::AgreesAfter(const uint8_t* page, uint64_t k, uint64_t from,
                                 uint64_t lsn) const {
    const uint32_t p = geometry_.pageSize;
    const uint32_t bits = geometry_.sequenceBits;
    for (uint64_t o = Align8(from); o + kHeaderSize <= p; o += 8) {
        const uint64_t other = Load64(page + o);
        if (other == 0 || LsnToOffset(other, bits) != k * p + o) continue;
        if (other <= lsn || LsnSequence(other, bits) != LsnSequence(lsn, bits)) return false;
    }
    return true;
}

Status LogRecordStore::Load(ByteSource& log, uint32_t clusterSize, uint32_t bytesPerSector,
                            uint32_t recordSize, Progress& progress) {
    clusterSize_ = clusterSize;
    bytesPerSector_ = bytesPerSector;
    recordSize_ = recordSize != 0 ? recordSize : 1024;
    runs_.clear();
    current_.clear();
    pages_.clear();
    pending_.clear();
    cache_.clear();
    cacheStart_ = 0;
    storeLength_ = 0;
    store_.Close();

    const uint64_t length = log.Size();
    const Status geometry = ReadLogGeometry(log, length, geometry_);
    if (!geometry && geometry.error().code == kLogCannotServe) {
        geometry_ = LogGeometry{};
        StepPages(progress, length, 4096);
        StepPages(progress, length, 4096);
        return geometry;
    }
    if (!geometry) return geometry;
    if (Status made = MakeTempFile(store_, "NRG"); !made) return made;

    const uint64_t pages = length / geometry_.pageSize;
    Status result;
    try {
        // Grown once, not copied as it doubles; the records never outgrow the log.
        pending_.reserve(static_cast<size_t>(std::min<uint64_t>(kFlushSize, length)));
        PieceBuffer buffer(geometry_, pages);
        // Each pass is a stage of the scan.
        uint64_t inUse = pages;
        progress.SetSteps(static_cast<int64_t>(length));
        result = Pass1(log, pages, inUse, buffer, progress);
        if (result) progress.SetSteps(static_cast<int64_t>(length));
        if (result) result = Pass2(log, length, pages, inUse, buffer, progress);
    } catch (const std::bad_alloc&) {
        result = Error(kErrNoMemory);
    }
    CloseRun();
    pages_.clear();
    pages_.shrink_to_fit();
    if (result) result = Flush();
    pending_.shrink_to_fit();
    return result;
}

// Notes the last LSN of every intact record page (0 for every other page). The restart page at
// 0 is never a record page; pages are counted from P, so the second restart page is read and
// passed over like any page that is not a record page.
//
// The log is written page after page from the start of its record area, and a new log is all
// 0xFF. So a page that was never written, found at or after the page of the restart area's
// current LSN right behind a record page, means that no page after it was ever written either
// (a log that has gone round once has no such page): the pass ends there. On a large log that
// is mostly unused (64 MiB with 1 MiB in use) this is nearly all of its cost.
Status LogRecordStore::Pass1(ByteSource& log, uint64_t pages, uint64_t& inUse, PieceBuffer& buffer,
                             Progress& progress) {
    const uint32_t p = geometry_.pageSize;
    uint64_t chunkPages = std::min(std::max<uint64_t>(1, kFirstChunkBytes / p), buffer.Pages());
    // A restart area that names no position gives no place to stop.
    const uint64_t stopFrom = geometry_.currentLsn != 0
                                  ? LsnToOffset(geometry_.currentLsn, geometry_.sequenceBits) / p
                                  : pages;
    for (uint64_t k = 1; k < pages;) {
        const uint64_t count = std::min(chunkPages, pages - k);
        const size_t size = static_cast<size_t>(count * p);
        const Result<size_t> n = log.ReadAt(k * p, buffer.Data(), size);
        if (!n) return n.error();
        if (*n != size) return Error(kErrRead, "the $LogFile ends before its size");
        pages_.resize(static_cast<size_t>(k + count));
        for (uint64_t i = 0; i < count; ++i, ++k) {
            if (progress.IsCancelled()) return {};
            const uint8_t* page = buffer.Data() + i * p;
            if (IsIntactLogPage(page, geometry_)) {
                pages_[k] = PageInfo{Load64(page + kPageLastLsn), true};
            } else if (k >= stopFrom && pages_[k - 1].intact && IsUnwrittenLogPage(page, p)) {
                progress.Step((pages - k) * p);
                inUse = k;
                return {};
            }
            progress.Step(p);
        }
        chunkPages = std::min(2 * chunkPages, buffer.Pages());
    }
    return {};
}

// The record walk. A walk starts on a walkable page and examines every 8-byte aligned offset from
// the page's data area on: a record is taken where its LSN maps to that offset, its length fits
// in the log and the pages it runs on into continue it; the next record is looked for right
// behind it, and where none stands there the walk looks further ahead on the page. A walk whose
// last record runs on into the next page, or leaves fewer than 48 bytes on its page, goes on with
// the next page whatever that page's header says.
// Pages from inUse on were never written: none is intact, none is read.
Status LogRecordStore::Pass2(ByteSource& log, uint64_t length, uint64_t pages, uint64_t inUse,
                             PieceBuffer& buffer, Progress& progress) {
    const uint32_t p = geometry_.pageSize;
    const uint32_t d = geometry_.dataOffset;
    const uint32_t bits = geometry_.sequenceBits;
    const uint64_t perPage = p - d;
    PageReader reader(log, geometry_, inUse, buffer);
    std::vector<uint8_t> record;
    uint64_t k = 1;
    uint64_t start = d;
    bool entered = false;  // the walk comes from the page before
    while (k < pages) {
        if (progress.IsCancelled()) return {};
        uint64_t next = k + 1;
        uint64_t nextStart = d;
        bool nextEntered = false;
        if (PageAt(k).intact && (entered || Walkable(k))) {
            const uint8_t* page = reader.Page(k);
            if (page == nullptr) return Error(kErrRead, "a page of the $LogFile cannot be read");
            // Whether the offset in hand is right behind a taken record (or where the walk came
            // in): a page left with no room behind a record hands the walk on to the next page.
            bool behindRecord = entered;
            bool runsOn = false;
            uint64_t o = Align8(std::max<uint64_t>(start, d));
            while (o + kHeaderSize <= p) {
                const uint64_t lsn = Load64(page + o + kLsn);
                const uint64_t total = kHeaderSize + uint64_t{Load32(page + o + kClientDataLength)};
                uint64_t last = k;
                uint64_t end = o + total;
                bool take = lsn != 0 && LsnToOffset(lsn, bits) == k * p + o && total <= length;
                if (take && end > p) {
                    // The pages it runs on into, and where it ends on the last of them.
                    const uint64_t more = (end - p + perPage - 1) / perPage;
                    take = more < pages - k;  // else it would run past the end of the log
                    for (uint64_t c = k + 1; take && c <= k + more; ++c)
                        take = Continues(c, lsn);
                    last = k + more;
                    end = d + (end - p) - (more - 1) * perPage;
                }
                if (take) {
                    record.assign(page + o, page + std::min<uint64_t>(p, o + total));
                    for (uint64_t c = k + 1; take && c <= last; ++c) {
                        const uint8_t* cont = reader.Page(c);  // may replace the piece in hand
                        if (cont == nullptr)
                            return Error(kErrRead, "a page of the $LogFile cannot be read");
                        const uint64_t piece = std::min<uint64_t>(total - record.size(), perPage);
                        record.insert(record.end(), cont + d, cont + d + piece);
                        // A page that says nothing in its header must not hold older records
                        // behind this one.
                        if (c == last && PageAt(c).lastLsn == 0)
                            take = AgreesAfter(cont, c, end, lsn);
                    }
                }
                if (!take) {
                    if (last > k && (page = reader.Page(k)) == nullptr)
                        return Error(kErrRead, "a page of the $LogFile cannot be read");
                    o += 8;
                    behindRecord = false;
                    continue;
                }
                if (Status r = Append(lsn, record); !r) return r;
                if (last > k) {
                    next = last;
                    nextStart = end;
                    nextEntered = true;
                    runsOn = true;
                    break;
                }
                o = Align8(end);
                behindRecord = true;
            }
            if (!runsOn && behindRecord) nextEntered = true;
        }
        for (; k < next; ++k)
            progress.Step(p);
        start = nextStart;
        entered = nextEntered;
    }
    return {};
}

}  // namespace qv
