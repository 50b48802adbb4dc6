#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/Error.h"
#include "base/LittleEndian.h"
#include "platform/ByteSource.h"
#include "platform/File.h"

namespace qv {

class ChangeSink;
class Progress;

// Load's error code when the $LogFile cannot serve the advanced scan: no usable restart page (a
// blank log, all 0xFF as Linux drivers and mkntfs leave it, or zeroes), a log page size that is
// not a power of two from 512 to 65536, an unusable restart area, or a log too short to hold a
// restart page. It is not a failure of the scan: the store is left empty, so a rollback changes
// nothing, and the scan goes on as the normal scan does. Both passes have been reported to the
// progress dialog.
inline constexpr int32_t kLogCannotServe = kErrLogCannotServe;

// One indexed log record: its LSN and where it starts in the record store file.
struct LsnIndexEntry {
    uint64_t lsn = 0;
    uint64_t position = 0;
};
// Index entries whose LSNs never decrease from one to the next.
using LsnRun = std::vector<LsnIndexEntry>;

// What the restart page says about the log.
struct LogGeometry {
    uint32_t pageSize = 0;      // P: every page of the log after the restart pages
    uint32_t sequenceBits = 0;  // how an LSN maps to its file offset
    uint32_t dataOffset = 0;    // where records start on a record page (64 on 4 KiB pages)
    uint64_t currentLsn = 0;    // the restart area's: the log's position at its last checkpoint
};

class PieceBuffer;

// The indexed copy of the log records of a volume's $LogFile, and the rollback of one
// transaction through them.
//
// Load reads the $LogFile twice, page by page. The first pass notes every record
// page whose update sequence is intact (a torn page mixes two writes and is never used). The
// second walks the records: a record is taken only where its LSN maps to its own offset in the
// log, it fits in the log, and every page it continues on belongs to the same pass over the
// circular log and is not older than it; the next record is looked for right behind it (on the
// next page when fewer than 48 bytes remain), and the walk looks further ahead on the page when
// nothing valid stands there. Pages whose last LSN does not map into the page itself (the
// restart pages, and the copies of the log's tail that Windows keeps near its start) are not
// walked. Each record is copied whole, without the page headers that interrupt it, into a
// private temporary file ("NRG", removed with the store), with a 64-bit position; the index
// keeps runs of non-decreasing LSNs in the order they were found.
class LogRecordStore {
public:
    LogRecordStore() = default;
    virtual ~LogRecordStore() = default;
    LogRecordStore(const LogRecordStore&) = delete;
    LogRecordStore& operator=(const LogRecordStore&) = delete;

    // Indexes the log records of the $LogFile, read through log (the stream where it lies on the
    // volume, or a copy; read only, any position). The cluster size and record size say how log
    // records address FILE records; bytesPerSector is kept for
    // the record but log pages are always protected in 512-byte blocks. Steps the progress by
    // the page size for every page of each pass and honours Stop in both.
    // 0 (also after Stop: the index then holds what was found so far), kLogCannotServe, or a
    // genuine failure: kErrRead (the log cannot be read), kErrTempFile (no "NRG" file),
    // kErrWrite (the "NRG" file cannot be written), kErrNoMemory.
    Status Load(ByteSource& log, uint32_t clusterSize, uint32_t bytesPerSector, uint32_t recordSize,
                Progress& progress);

    // The index entry of an LSN, or null. Runs are searched in the order Load closed them.
    const LsnIndexEntry* FindEntry(uint64_t lsn) const;
    // A copy of the whole stored record (48-byte header and client data) with that LSN, and its
    // position in the store; none when it is not indexed (position then unchanged). Throws
    // CMyException(kErrNoMemory) when the copy cannot be allocated.
    std::optional<std::vector<uint8_t>> Fetch(uint64_t lsn, uint64_t& position);
    // With an LSN, Fetch. With 0: the 88-byte record with no redo or undo data of its own (the
    // shape of the records that close transactions) that is stored right before position, and
    // position moved to it; none when the record there is not of that shape. The rollback does
    // not use this: it never crosses from one transaction into an older one.
    std::optional<std::vector<uint8_t>> FetchPrevious(uint64_t lsn, uint64_t& position);

    // The MFT record a log record changes: its byte offset in the $MFT, target VCN x cluster
    // size + cluster block offset x 512, divided by the record size. UINT64_MAX when the record
    // is too short to say or the offset does not fit in 64 bits.
    static uint64_t TargetRecordNumber(ByteSpan record, uint32_t clusterSize, uint32_t recordSize);
    uint64_t TargetRecordNumber(ByteSpan record) const {
        return TargetRecordNumber(record, clusterSize_, recordSize_);
    }

    // The sink Rollback reports to; not owned.
    int SetSink(ChangeSink* sink) {
        sink_ = sink;
        return 0;
    }
    // Undoes the transaction that wrote the record with this LSN, from that record back to the
    // transaction's first one (following each record's undo-next LSN, which skips what the
    // transaction had already undone itself), and nothing older. Every record of the chain whose
    // undo operation changes a FILE record (records 24 and up) is handed to the sink as a
    // RecordChange, newest first; undo data that would run past the record is clipped. The
    // count of changes handed on, or nothing when the LSN is not indexed.
    std::optional<int> Rollback(uint64_t lsn);

    // What Load found.
    size_t RecordCount() const;
    const std::vector<LsnRun>& Runs() const { return runs_; }
    const LogGeometry& Geometry() const { return geometry_; }
    uint64_t StoreLength() const { return storeLength_; }
    const std::u16string& StorePath() const { return store_.Path(); }

private:
    // Appended records are written in pieces of this size.
    static constexpr size_t kFlushSize = 256u << 10;

    Status Pass1(ByteSource& log, uint64_t pages, uint64_t& inUse, PieceBuffer& buffer,
                 Progress& progress);
    Status Pass2(ByteSource& log, uint64_t length, uint64_t pages, uint64_t inUse,
                 PieceBuffer& buffer, Progress& progress);
    bool Walkable(uint64_t page) const;
    bool Continues(uint64_t page, uint64_t lsn) const;
    bool AgreesAfter(const uint8_t* page, uint64_t k, uint64_t from, uint64_t lsn) const;
    Status Append(uint64_t lsn, const std::vector<uint8_t>& record);
    Status Flush();
    bool ReadStore(uint64_t position, uint8_t* out, size_t size);
    void CloseRun();

    uint32_t clusterSize_ = 4096;
    uint32_t bytesPerSector_ = 512;
    uint32_t recordSize_ = 1024;
    LogGeometry geometry_;
    // Per page of the log while it is loaded: intact record page, and its last-LSN field.
    struct PageInfo {
        uint64_t lastLsn = 0;
        bool intact = false;
    };
    std::vector<PageInfo> pages_;  // grown as the first pass reads: pages past it say nothing
    PageInfo PageAt(uint64_t k) const { return k < pages_.size() ? pages_[k] : PageInfo{}; }
    std::vector<LsnRun> runs_;
    LsnRun current_;
    File store_;
    uint64_t storeLength_ = 0;
    std::vector<uint8_t> pending_;  // appended bytes not yet written to the store
    // A piece of the store read before: a transaction's records lie close together.
    std::vector<uint8_t> cache_;
    uint64_t cacheStart_ = 0;
    ChangeSink* sink_ = nullptr;
};

}  // namespace qv
