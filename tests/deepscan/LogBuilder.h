#pragma once

// Builds $LogFile images the way Windows writes them, for the tests of the advanced scan: two
// restart pages, then record pages ("RCRD") whose records carry LSNs that map to their own
// offsets, run on across pages behind the 64-byte page headers, and whose pages are protected by
// an update sequence array in 512-byte blocks. Also loads them into a record store and records
// what a rollback hands on. Header-only: the test folder compiles only its test_*.cpp files.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <vector>

#include "base/LittleEndian.h"
#include "base/Progress.h"
#include "deepscan/ChangeSink.h"
#include "deepscan/LogFormat.h"
#include "deepscan/LogRecordStore.h"
#include "support/Bytes.h"
#include "support/MemoryDevice.h"

namespace qv::test {

// One NTFS log record as a test describes it. The LSN is given by where the record is placed.
struct LogRecordSpec {
    uint64_t previous = 0;
    uint64_t undoNext = UINT64_MAX;  // UINT64_MAX: the same as previous
    uint32_t type = 1;               // 1 client record, 2 restart (checkpoint) record
    uint16_t redoOp = 0;
    uint16_t undoOp = 0;
    std::vector<uint8_t> redo;
    std::vector<uint8_t> undo;
    uint16_t recordOff = 0;
    uint16_t attrOff = 0;
    uint16_t clusterBlock = 0;
    uint64_t vcn = 0;
    // Client data given whole instead of the fields above (then redo/undo are not used).
    std::vector<uint8_t> rawClientData;
    bool raw = false;
    // Declared lengths that differ from the data (to test clipping); 0 = the data's.
    uint16_t undoLengthOverride = 0;
};

// The record that closes a transaction: 88 bytes, no redo or undo data of its own.
inline LogRecordSpec Closing(uint64_t previous) {
    LogRecordSpec s;
    s.previous = previous;
    s.undoNext = 0;
    s.redoOp = logfmt::kForgetTransaction;
    s.undoOp = logfmt::kCompensationLogRecord;
    return s;
}

// The 48-byte header and the client data of a record (LSN left 0).
inline std::vector<uint8_t> EncodeLogRecord(const LogRecordSpec& s) {
    std::vector<uint8_t> client;
    if (s.raw) {
        client = s.rawClientData;
    } else {
        // NTFS client header (0x20 bytes), one LCN, then redo and undo data, 8-byte aligned.
        client.assign(0x28, 0);
        Put16(client, 0x00, s.redoOp);
        Put16(client, 0x02, s.undoOp);
        const size_t redoAt = client.size();
        client.insert(client.end(), s.redo.begin(), s.redo.end());
        client.resize(logfmt::Align8(client.size()));
        const size_t undoAt = client.size();
        client.insert(client.end(), s.undo.begin(), s.undo.end());
        client.resize(logfmt::Align8(client.size()));
        Put16(client, 0x04, static_cast<uint16_t>(redoAt));
        Put16(client, 0x06, static_cast<uint16_t>(s.redo.size()));
        Put16(client, 0x08, static_cast<uint16_t>(undoAt));
        Put16(client, 0x0A,
              s.undoLengthOverride ? s.undoLengthOverride : static_cast<uint16_t>(s.undo.size()));
        Put16(client, 0x0E, 1);  // LCNs to follow
        Put16(client, 0x10, s.recordOff);
        Put16(client, 0x12, s.attrOff);
        Put16(client, 0x14, s.clusterBlock);
        Put64(client, 0x18, s.vcn);
    }
    std::vector<uint8_t> r(logfmt::kHeaderSize, 0);
    Put64(r, 0x08, s.previous);
    Put64(r, 0x10, s.undoNext == UINT64_MAX ? s.previous : s.undoNext);
    Put32(r, 0x18, static_cast<uint32_t>(client.size()));
    Put32(r, 0x20, s.type);
    r.insert(r.end(), client.begin(), client.end());
    return r;
}

class LogBuilder {
public:
    static constexpr uint32_t kBits = 45;  // as on 2 MiB logs

    LogBuilder(uint32_t pageSize = 4096, uint32_t pages = 32, uint32_t bits = kBits)
        : p_(pageSize), bits_(bits), bytes_(size_t{pageSize} * pages, 0) {
        WriteRestartPage(0);
        if (pages > 1 && pageSize <= logfmt::kSecondRestartPage)
            WriteRestartPage(logfmt::kSecondRestartPage);
        else if (pages > 1)
            WriteRestartPage(pageSize);
        at_ = FirstDataOffset() + DataOffset();
    }

    uint32_t PageSize() const { return p_; }
    // 64 on 4 KiB pages: the page header and an update sequence array of one word per block.
    uint32_t DataOffset() const {
        return std::max<uint32_t>(64,
                                  static_cast<uint32_t>(logfmt::Align8(0x28 + 2 * (p_ / 512 + 1))));
    }
    uint64_t FirstDataOffset() const { return 2 * std::max<uint64_t>(p_, 4096); }
    uint64_t Lsn(uint64_t offset) const { return (sequence_ << (64 - bits_)) | (offset / 8); }
    std::vector<uint8_t>& Bytes() { return bytes_; }

    // Records placed from now on belong to this pass over the log.
    void SetSequence(uint64_t sequence) { sequence_ = sequence; }
    // Where the next record goes (a file offset on a record page).
    void MoveTo(uint64_t offset) { at_ = offset; }
    uint64_t Position() const { return at_; }

    // Places a record at the current position, running on across pages, and moves on behind it
    // (to the next page when fewer than 48 bytes remain). Returns its LSN.
    uint64_t Add(const LogRecordSpec& spec) { return AddBytes(EncodeLogRecord(spec)); }
    uint64_t AddBytes(std::vector<uint8_t> record) {
        const uint64_t lsn = Lsn(at_);
        Put64(record, 0, lsn);
        uint64_t page = at_ / p_;
        uint64_t o = at_ % p_;
        Touch(page);
        last_[page] = lsn;
        size_t done = 0;
        while (done < record.size()) {
            const size_t take = std::min<size_t>(record.size() - done, p_ - o);
            std::memcpy(bytes_.data() + page * p_ + o, record.data() + done, take);
            done += take;
            o += take;
            if (done < record.size()) {
                ++page;
                o = DataOffset();
                Touch(page);
                if (!last_.count(page) || last_[page] < lsn) last_[page] = lsn;
            }
        }
        o = logfmt::Align8(o);
        if (o + logfmt::kHeaderSize > p_) {
            ++page;
            o = DataOffset();
        }
        at_ = page * p_ + o;
        return lsn;
    }

    // Overrides a page's last-LSN field (buffer pages keep a file offset there).
    void SetLastLsn(uint64_t page, uint64_t value) { lastOverride_[page] = value; }
    // Marks a page as a record page even when no record touches it.
    void Touch(uint64_t page) {
        pages_[page] = true;
        if (bytes_.size() < (page + 1) * p_) bytes_.resize((page + 1) * p_, 0);
    }

    // Writes page headers and protects every record page. Later changes to Bytes() (torn
    // blocks, stretches of 0xFF) are the test's own.
    std::vector<uint8_t> Build() const {
        std::vector<uint8_t> b = bytes_;
        for (const auto& [page, used] : pages_) {
            if (!used || (page + 1) * p_ > b.size()) continue;
            const size_t base = page * p_;
            b[base] = 'R', b[base + 1] = 'C', b[base + 2] = 'R', b[base + 3] = 'D';
            uint64_t last = 0;
            if (auto it = last_.find(page); it != last_.end()) last = it->second;
            if (auto it = lastOverride_.find(page); it != lastOverride_.end()) last = it->second;
            Put64(b, base + 0x08, last);
            Put16(b, base + 0x14, 1);
            Protect(b, base, static_cast<uint16_t>(0x0100 + page));
        }
        return b;
    }

private:
    void WriteRestartPage(uint64_t at) {
        const size_t base = static_cast<size_t>(at);
        if (base + 0x100 > bytes_.size()) return;
        bytes_[base] = 'R', bytes_[base + 1] = 'S', bytes_[base + 2] = 'T', bytes_[base + 3] = 'R';
        Put32(bytes_, base + 0x10, std::max<uint32_t>(p_, 4096));
        Put32(bytes_, base + 0x14, p_);
        Put16(bytes_, base + 0x18, 0x30);
        Put16(bytes_, base + 0x1A, 1);
        Put16(bytes_, base + 0x1C, 1);
        Put32(bytes_, base + 0x30 + 0x10, bits_);
        Put64(bytes_, base + 0x30 + 0x18, bytes_.size());
        Put16(bytes_, base + 0x30 + 0x24, 48);
        Put16(bytes_, base + 0x30 + 0x26, static_cast<uint16_t>(DataOffset()));
        // Restart pages carry an update sequence array too (at 0x1E).
        Put16(bytes_, base + 0x04, 0x1E);
        Put16(bytes_, base + 0x06, 1);
    }

    // The update sequence array at 0x28: the number, then the saved last word of every block.
    void Protect(std::vector<uint8_t>& b, size_t base, uint16_t number) const {
        const uint16_t blocks = static_cast<uint16_t>(p_ / 512);
        Put16(b, base + 0x04, 0x28);
        Put16(b, base + 0x06, static_cast<uint16_t>(blocks + 1));
        Put16(b, base + 0x28, number);
        for (uint16_t i = 1; i <= blocks; ++i) {
            const size_t end = base + size_t{i} * 512 - 2;
            b[base + 0x28 + 2 * i] = b[end];
            b[base + 0x28 + 2 * i + 1] = b[end + 1];
            Put16(b, end, number);
        }
    }

    uint32_t p_;
    uint32_t bits_;
    uint64_t sequence_ = 1;
    std::vector<uint8_t> bytes_;
    uint64_t at_ = 0;
    std::map<uint64_t, bool> pages_;
    std::map<uint64_t, uint64_t> last_;
    std::map<uint64_t, uint64_t> lastOverride_;
};

// Loads a log image into a store, read where it lies in memory.
inline Status LoadBytes(LogRecordStore& store, const std::vector<uint8_t>& bytes,
                        Progress& progress, uint32_t clusterSize = 4096,
                        uint32_t recordSize = 1024) {
    MemoryDevice log(bytes);
    return store.Load(log, clusterSize, 512, recordSize, progress);
}
inline Status LoadBytes(LogRecordStore& store, const std::vector<uint8_t>& bytes) {
    StepCounter progress;
    return LoadBytes(store, bytes, progress);
}

// Remembers every change a rollback hands on.
struct RecordedChange {
    RecordChange change;
    std::vector<uint8_t> data;
};
class RecordingSink final : public ChangeSink {
public:
    int ApplyChange(uint64_t, uint32_t, uint32_t, ByteSpan, int32_t) override {
        ++plainCalls;
        return 0;
    }
    int ApplyRecordChange(const RecordChange& change) override {
        changes.push_back({change, std::vector<uint8_t>(change.data.begin(), change.data.end())});
        changes.back().change.data = {};
        return 1;
    }
    std::vector<uint64_t> Lsns() const {
        std::vector<uint64_t> out;
        for (const auto& c : changes)
            out.push_back(c.change.lsn);
        return out;
    }
    std::vector<RecordedChange> changes;
    int plainCalls = 0;
};

}  // namespace qv::test
