#pragma once

#include <cstdint>

#include "base/LittleEndian.h"

namespace qv {

// The on-disk layout of the $LogFile as the advanced scan reads it. All integers little-endian.
namespace logfmt {

// Restart page (at offset 0, a second copy at 4096):
//   0x00 "RSTR", 0x04 update sequence array offset, 0x06 its count, 0x10 system page size,
//   0x14 log page size, 0x18 offset of the restart area.
// Restart area (at its offset in the restart page):
//   0x00 current LSN: where the log stood at its last checkpoint;
//   0x10 sequence number bits: an LSN is (sequence << (64 - bits)) | (file offset / 8), so
//        offset = (LSN << bits) >> (bits - 3);
//   0x26 log page data offset: where records start on a record page (64 on 4 KiB pages).
constexpr size_t kRestartPageSize = 0x14;
constexpr size_t kRestartAreaOffset = 0x18;
constexpr size_t kRestartCurrentLsn = 0x00;
constexpr size_t kRestartSequenceBits = 0x10;
constexpr size_t kRestartDataOffset = 0x26;
constexpr uint32_t kSecondRestartPage = 4096;
constexpr uint32_t kMinPageSize = 512;
constexpr uint32_t kMaxPageSize = 65536;

// Record page ("RCRD"):
//   0x04 update sequence array offset, 0x06 count, 0x08 last LSN (of the last record that begins
//   on the page; on pages that only continue a record, that record's LSN; on the tail copies that
//   Windows keeps near the start of the log, the file offset of the page they copy).
constexpr size_t kPageLastLsn = 0x08;
constexpr uint32_t kDefaultDataOffset = 64;
// Multi-sector protection of log pages works in 512-byte blocks whatever the sector size.
constexpr uint32_t kPageFixupStride = 512;

// Log record header (48 bytes) and the client data of an NTFS record behind it.
constexpr uint32_t kHeaderSize = 48;
constexpr size_t kLsn = 0x00;
constexpr size_t kPreviousLsn = 0x08;
constexpr size_t kUndoNextLsn = 0x10;
constexpr size_t kClientDataLength = 0x18;
constexpr size_t kRecordType = 0x20;
constexpr size_t kRedoOperation = 0x30;
constexpr size_t kUndoOperation = 0x32;
constexpr size_t kRedoOffset = 0x34;  // from 0x30
constexpr size_t kRedoLength = 0x36;
constexpr size_t kUndoOffset = 0x38;  // from 0x30
constexpr size_t kUndoLength = 0x3A;
constexpr size_t kRecordOffset = 0x40;
constexpr size_t kAttributeOffset = 0x42;
constexpr size_t kClusterBlockOffset = 0x44;
constexpr size_t kTargetVcn = 0x48;
// The fields above end here: a record that does not reach this far describes no change.
constexpr uint32_t kChangeHeaderEnd = 0x50;
constexpr uint32_t kClientRecord = 1;  // record type of an ordinary (non-restart) record

// Offsets of log records and FILE records inside the $MFT are counted in 512-byte blocks.
constexpr uint32_t kClusterBlockSize = 512;

// Log operations (redo and undo operation fields).
enum Operation : uint16_t {
    kNoop = 0x00,
    kCompensationLogRecord = 0x01,
    kInitializeFileRecordSegment = 0x02,
    kDeallocateFileRecordSegment = 0x03,
    kWriteEndOfFileRecordSegment = 0x04,
    kCreateAttribute = 0x05,
    kDeleteAttribute = 0x06,
    kUpdateResidentValue = 0x07,
    kUpdateNonresidentValue = 0x08,
    kUpdateMappingPairs = 0x09,
    kDeleteDirtyClusters = 0x0A,
    kSetNewAttributeSizes = 0x0B,
    kAddIndexEntryRoot = 0x0C,
    kDeleteIndexEntryRoot = 0x0D,
    kAddIndexEntryAllocation = 0x0E,
    kDeleteIndexEntryAllocation = 0x0F,
    kWriteEndOfIndexBuffer = 0x10,
    kSetIndexEntryVcnRoot = 0x11,
    kSetIndexEntryVcnAllocation = 0x12,
    kUpdateFileNameRoot = 0x13,
    kUpdateFileNameAllocation = 0x14,
    kSetBitsInNonresidentBitMap = 0x15,
    kClearBitsInNonresidentBitMap = 0x16,
    kForgetTransaction = 0x1B,
    kUpdateRecordDataRoot = 0x21,
    kUpdateRecordDataAllocation = 0x22,
};

// True for the operations whose effect lies inside one FILE record of the $MFT: those are the
// only undo operations the rollback applies to record images. Bitmaps, index buffers and
// non-resident values live in clusters elsewhere; their VCNs would land in unrelated records.
constexpr bool ChangesFileRecord(uint16_t op) {
    switch (op) {
        case kInitializeFileRecordSegment:
        case kDeallocateFileRecordSegment:
        case kWriteEndOfFileRecordSegment:
        case kCreateAttribute:
        case kDeleteAttribute:
        case kUpdateResidentValue:
        case kUpdateMappingPairs:
        case kSetNewAttributeSizes:
        case kAddIndexEntryRoot:
        case kDeleteIndexEntryRoot:
        case kSetIndexEntryVcnRoot:
        case kUpdateFileNameRoot:
        case kUpdateRecordDataRoot: return true;
        default: return false;
    }
}

// The file offset an LSN stands for, given the restart area's sequence number bits (3..63).
constexpr uint64_t LsnToOffset(uint64_t lsn, uint32_t sequenceBits) {
    return (lsn << sequenceBits) >> (sequenceBits - 3);
}
// The wrap count of an LSN: records of one pass over the circular log share it.
constexpr uint64_t LsnSequence(uint64_t lsn, uint32_t sequenceBits) {
    return lsn >> (64 - sequenceBits);
}

constexpr uint64_t Align8(uint64_t v) {
    return (v + 7) & ~uint64_t{7};
}

}  // namespace logfmt
}  // namespace qv
