#pragma once

// $LogFile images as Windows writes them: two restart pages, then record pages ("RCRD") whose
// records carry LSNs that map to their own offsets, run on across pages behind the page headers
// and are protected in 512-byte blocks; and loading one into a record store.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <optional>
#include <vector>

#include "base/LittleEndian.h"
#include "base/Progress.h"
#include "deepscan/LogFormat.h"
#include "deepscan/LogRecordStore.h"
#include "support/Bytes.h"
#include "support/MemoryDevice.h"

namespace qv::test {

// One NTFS log record as a test describes it; its LSN is given by where it is placed.
struct LogRecordSpec {
    uint64_t previous = 0;
    uint64_t undoNext = UINT64_MAX;  // UINT64_MAX: the same as previous
    uint32_t type = 1;               // 1 client record, 2 restart (checkpoint) record
    uint16_t redoOp = 0, undoOp = 0;
    std::vector<uint8_t> redo = {}, undo = {};
    uint16_t recordOff = 0, attrOff = 0, clusterBlock = 0;
    uint64_t vcn = 0;
    std::optional<std::vector<uint8_t>> raw = {};  // client data given whole, for odd shapes
    uint16_t undoLengthOverride = 0;               // a declared undo length other than the data's
};

// The record that closes a transaction: 88 bytes, no redo or undo data of its own.
inline LogRecordSpec Closing(uint64_t previous) {
    return {.previous = previous,
            .undoNext = 0,
            .redoOp = logfmt::kForgetTransaction,
            .undoOp = logfmt::kCompensationLogRecord};
}

// The 48-byte header and the client data of a record (LSN left 0).
inline std::vector<uint8_t> EncodeLogRecord(const LogRecordSpec& s) {
    std::vector<uint8_t> client = s.raw.value_or(std::vector<uint8_t>(0x28, 0));
    if (!s.raw) {
        // Behind the client header and its one LCN: redo, then undo data, each 8-byte aligned.
        const auto append = [&](const std::vector<uint8_t>& data) {
            const auto at = static_cast<uint16_t>(client.size());
            client.insert(client.end(), data.begin(), data.end());
            client.resize(logfmt::Align8(client.size()));
            return at;
        };
        const uint16_t redoAt = append(s.redo), undoAt = append(s.undo);
        const auto undoLength =
            static_cast<uint16_t>(s.undoLengthOverride ? s.undoLengthOverride : s.undo.size());
        // The header's words from 0x00: operations, redo and undo offset and length, target
        // attribute, LCNs to follow, record offset, attribute offset, cluster block.
        const uint16_t words[] = {
            s.redoOp, s.undoOp,    redoAt,    uint16_t(s.redo.size()), undoAt, undoLength, 0,
            1,        s.recordOff, s.attrOff, s.clusterBlock};
        for (size_t i = 0; i < std::size(words); ++i)
            Put16(client, 2 * i, words[i]);
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
    static constexpr uint32_t kBits = 45;  // sequence number bits, as on 2 MiB logs

    explicit LogBuilder(uint32_t pageSize = 4096, uint32_t pages = 32)
        : p_(pageSize), bytes_(size_t{pageSize} * pages, 0) {
        const uint32_t second = std::max(p_, logfmt::kSecondRestartPage);
        WriteRestartPage(0);
        WriteRestartPage(second);
        at_ = 2 * second + DataOffset();
    }

    // 64 on 4 KiB pages: the page header and an update sequence array of one word per block.
    uint32_t DataOffset() const {
        return std::max<uint32_t>(64, logfmt::Align8(0x28 + 2 * (p_ / 512 + 1)));
    }
    uint64_t Lsn(uint64_t offset) const { return (sequence_ << (64 - kBits)) | (offset / 8); }
    std::vector<uint8_t>& Bytes() { return bytes_; }
    // Records placed from now on belong to this pass over the log.
    void SetSequence(uint64_t sequence) { sequence_ = sequence; }
    // Where the next record goes (a file offset on a record page).
    LogBuilder& MoveTo(uint64_t offset) {
        at_ = offset;
        return *this;
    }
    uint64_t Position() const { return at_; }
    // Overrides a page's last-LSN field once its records are placed (buffer pages keep a file
    // offset there).
    void SetLastLsn(uint64_t page, uint64_t value) { last_[page] = value; }

    // Places a record at the current position, running on across pages, and moves on behind it
    // (to the next page when fewer than 48 bytes remain). Returns its LSN.
    uint64_t Add(const LogRecordSpec& spec) {
        std::vector<uint8_t> record = EncodeLogRecord(spec);
        const uint64_t lsn = Lsn(at_);
        Put64(record, 0, lsn);
        uint64_t page = at_ / p_, o = at_ % p_;
        for (size_t done = 0;; ++page, o = DataOffset()) {
            bytes_.resize(std::max(bytes_.size(), (page + 1) * p_), 0);
            last_[page] = std::max(last_[page], lsn);
            const size_t take = std::min<size_t>(record.size() - done, p_ - o);
            std::memcpy(bytes_.data() + page * p_ + o, record.data() + done, take);
            done += take;
            o += take;
            if (done == record.size()) break;
        }
        o = logfmt::Align8(o);
        at_ = o + logfmt::kHeaderSize > p_ ? (page + 1) * p_ + DataOffset() : page * p_ + o;
        return lsn;
    }

    // Writes the page headers and protects every record page. Later changes to Bytes() (torn
    // blocks, stretches of 0xFF) are the test's own.
    std::vector<uint8_t> Build() const {
        std::vector<uint8_t> b = bytes_;
        for (const auto& [page, last] : last_) {
            const size_t base = page * p_;
            std::memcpy(b.data() + base, "RCRD", 4);
            Put64(b, base + 0x08, last);
            Put16(b, base + 0x14, 1);
            // The update sequence array at 0x28: the number, then each block's saved last word.
            const auto number = static_cast<uint16_t>(0x0100 + page);
            Put16(b, base + 0x04, 0x28);
            Put16(b, base + 0x06, static_cast<uint16_t>(p_ / 512 + 1));
            Put16(b, base + 0x28, number);
            for (size_t i = 1; i <= p_ / 512; ++i) {
                const size_t end = base + i * 512 - 2;
                std::memcpy(b.data() + base + 0x28 + 2 * i, b.data() + end, 2);
                Put16(b, end, number);
            }
        }
        return b;
    }

private:
    void WriteRestartPage(size_t base) {
        if (base + 0x100 > bytes_.size()) return;
        std::memcpy(bytes_.data() + base, "RSTR", 4);
        Put16(bytes_, base + 0x04, 0x1E);  // restart pages carry an update sequence array too
        Put16(bytes_, base + 0x06, 1);
        Put32(bytes_, base + 0x10, std::max<uint32_t>(p_, 4096));
        Put32(bytes_, base + 0x14, p_);
        Put16(bytes_, base + 0x18, 0x30);
        Put16(bytes_, base + 0x1A, 1);
        Put16(bytes_, base + 0x1C, 1);
        Put32(bytes_, base + 0x30 + 0x10, kBits);
        Put64(bytes_, base + 0x30 + 0x18, bytes_.size());
        Put16(bytes_, base + 0x30 + 0x24, 48);
        Put16(bytes_, base + 0x30 + 0x26, static_cast<uint16_t>(DataOffset()));
    }

    uint32_t p_;
    uint64_t sequence_ = 1;
    std::vector<uint8_t> bytes_;
    uint64_t at_ = 0;
    std::map<uint64_t, uint64_t> last_;  // record pages and their last-LSN fields
};

// Loads a log image into a store, read where it lies in memory.
inline Status LoadBytes(LogRecordStore& store, const std::vector<uint8_t>& bytes,
                        Progress* progress = nullptr, uint32_t clusterSize = 4096,
                        uint32_t recordSize = 1024) {
    StepCounter quiet;
    MemoryDevice log(bytes);
    return store.Load(log, clusterSize, 512, recordSize, progress ? *progress : quiet);
}

}  // namespace qv::test
