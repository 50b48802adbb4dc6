#pragma once

// A deleted file whose $DATA sat in an extension record, and the log of the transaction that
// deleted it: it first deleted the $DATA attribute from the extension record (its undo data is
// the whole attribute), then deallocated the extension record and the base record. As found the
// extension record has no attributes left, so the file has no data; rolled back, it has its runs.

#include <cstdint>
#include <vector>

#include "deepscan/LogBuilder.h"
#include "deepscan/LogFormat.h"
#include "support/RecordBuilder.h"

namespace qv::test {

struct DeletedFileScenario {
    uint32_t clusterSize = 4096, recordSize = 1024;
    uint64_t baseNumber = 40, extensionNumber = 41;
    uint16_t sequence = 3;
    std::vector<RunSpec> runs = {{300, 3}, {120, 2}, {500, 4}};
    uint64_t dataSize = 0;  // set by Make: the runs' clusters less 1000 bytes
    std::u16string name = u"restored.bin";
    uint64_t parent = 5;  // the root folder

    // Made by Make.
    std::vector<uint8_t> log = {};
    std::vector<uint8_t> base = {};              // as found: deleted
    std::vector<uint8_t> extensionAsFound = {};  // deleted, without its $DATA
    std::vector<uint8_t> extensionBefore = {};   // as it stood before the transaction
    uint64_t freeExtension = 0;                  // the LSN of the extension record's deallocation

    // A log record of the given operations that changes MFT record n.
    LogRecordSpec For(uint64_t n, uint64_t previous, uint16_t redoOp, uint16_t undoOp,
                      std::vector<uint8_t> undo = {}, uint16_t recordOff = 0,
                      uint16_t attrOff = 0) const {
        const uint64_t byte = n * recordSize;
        return {.previous = previous,
                .redoOp = redoOp,
                .undoOp = undoOp,
                .undo = std::move(undo),
                .recordOff = recordOff,
                .attrOff = attrOff,
                .clusterBlock = static_cast<uint16_t>((byte % clusterSize) / 512),
                .vcn = byte / clusterSize};
    }

    RecordBuilder Base(uint64_t lsn) const {
        RecordBuilder b(recordSize);
        b.Sequence(sequence).Lsn(lsn).RecordNumber(static_cast<uint32_t>(baseNumber));
        b.FileName(Ref(parent, 5), name, 1);
        b.ResidentAttributeList({{0x30, 0, Ref(baseNumber, sequence), 0, u""},
                                 {0x80, 0, Ref(extensionNumber, sequence), 0, u""}});
        return b;
    }
    RecordBuilder Extension(uint64_t lsn) const {
        RecordBuilder b(recordSize);
        b.Sequence(sequence).Lsn(lsn).RecordNumber(static_cast<uint32_t>(extensionNumber));
        return b.BaseReference(Ref(baseNumber, sequence));
    }

    // The undo data of a deallocation: the header fields of the record in use.
    static std::vector<uint8_t> InUseHeader(const std::vector<uint8_t>& record) {
        std::vector<uint8_t> h(record.begin(), record.begin() + 24);
        h[0x16] = 1;
        return h;
    }

    void Make() {
        using namespace logfmt;
        uint64_t clusters = 0;
        for (const RunSpec& r : runs)
            clusters += r.length;
        if (dataSize == 0) dataSize = clusters * clusterSize - 1000;
        RecordBuilder before = Extension(0);
        extensionBefore = before.NonResidentData(runs, dataSize).Build();
        const uint16_t dataAt = Load16(extensionBefore.data() + 0x14);
        LogBuilder b(4096, 16);
        // Some older transaction on the same records: never undone by the rollback.
        LogRecordSpec older =
            For(extensionNumber, 0, kUpdateMappingPairs, kUpdateMappingPairs, {0x00}, dataAt, 0x40);
        older.redo = {0x11, 0x01, 0x05, 0x00};
        b.Add(Closing(b.Add(older)));
        const uint64_t deleteAttribute = b.Add(For(extensionNumber, 0, kDeleteAttribute,
                                                   kCreateAttribute, before.Attribute(0), dataAt));
        freeExtension = b.Add(For(extensionNumber, deleteAttribute, kDeallocateFileRecordSegment,
                                  kInitializeFileRecordSegment, InUseHeader(extensionBefore)));
        // The parent folder's index entry (a metadata record), then bitmap bits whose VCN would
        // land on the base record.
        const uint64_t index =
            b.Add(For(parent, freeExtension, kDeleteIndexEntryRoot, kAddIndexEntryRoot,
                      std::vector<uint8_t>(0x68, 0x2F), 0x98, 0x40));
        LogRecordSpec bits =
            For(0, index, kClearBitsInNonresidentBitMap, kSetBitsInNonresidentBitMap,
                {static_cast<uint8_t>(baseNumber), 0, 0, 0, 2, 0, 0, 0});
        bits.redo = bits.undo;
        bits.vcn = baseNumber / 4;
        const uint64_t freeBase =
            b.Add(For(baseNumber, b.Add(bits), kDeallocateFileRecordSegment,
                      kInitializeFileRecordSegment, InUseHeader(Base(0).Build())));
        b.Add(Closing(freeBase));
        log = b.Build();
        base = Base(freeBase).Build();
        extensionAsFound = Extension(freeExtension).Build();
    }
};

}  // namespace qv::test
