#pragma once

// A deleted file whose $DATA sat in an extension record, and the log of the transaction that
// deleted it: that transaction first deleted the $DATA attribute from the extension record (its
// undo data is the whole attribute), then deallocated the extension record and the base record.
// As found in the $MFT the extension record has no attributes left, so the file built from its
// records as found has no data; rolled back through the log, it has its runs again.

#include <cstdint>
#include <vector>

#include "deepscan/LogBuilder.h"
#include "deepscan/LogFormat.h"
#include "ntfs/Fixup.h"
#include "support/RecordBuilder.h"

namespace qv::test {

struct DeletedFileScenario {
    uint32_t clusterSize = 4096;
    uint32_t recordSize = 1024;
    uint64_t baseNumber = 40;
    uint64_t extensionNumber = 41;
    uint16_t sequence = 3;
    std::vector<RunSpec> runs = {{300, 3}, {120, 2}, {500, 4}};
    uint64_t dataSize = 0;  // set by Make: the runs' clusters less 1000 bytes
    std::u16string name = u"restored.bin";
    uint64_t parent = 5;
    uint64_t parentReference = Ref(5, 5);  // the root folder

    // Made by Make.
    std::vector<uint8_t> log;
    std::vector<uint8_t> base;              // as found: deleted
    std::vector<uint8_t> extensionAsFound;  // deleted, without its $DATA
    std::vector<uint8_t> extensionBefore;   // as it stood before the transaction
    std::vector<uint8_t> dataAttribute;     // the $DATA attribute record the transaction deleted
    uint64_t deleteAttribute = 0, freeExtension = 0, parentIndex = 0, freeBase = 0, forget = 0;

    // A log record that changes MFT record n.
    LogRecordSpec For(uint64_t n) const {
        LogRecordSpec s;
        const uint64_t byte = n * recordSize;
        s.vcn = byte / clusterSize;
        s.clusterBlock = static_cast<uint16_t>((byte % clusterSize) / 512);
        return s;
    }

    uint64_t Reference(uint64_t n) const { return Ref(n, sequence); }

    RecordBuilder Base(uint64_t lsn) const {
        RecordBuilder b(recordSize);
        b.Sequence(sequence).Lsn(lsn).RecordNumber(static_cast<uint32_t>(baseNumber));
        b.FileName(parentReference, name, 1);
        b.ResidentAttributeList({{0x30, 0, Reference(baseNumber), 0, u""},
                                 {0x80, 0, Reference(extensionNumber), 0, u""}});
        return b;
    }
    RecordBuilder Extension(uint64_t lsn) const {
        RecordBuilder b(recordSize);
        b.Sequence(sequence).Lsn(lsn).RecordNumber(static_cast<uint32_t>(extensionNumber));
        b.BaseReference(Reference(baseNumber));
        return b;
    }

    // The undo data of a deallocation: the header fields of the record in use.
    std::vector<uint8_t> InUseHeader(const std::vector<uint8_t>& record) const {
        std::vector<uint8_t> h(record.begin(), record.begin() + 24);
        h[0x16] = 1;
        return h;
    }

    void Make(uint32_t logPageSize = 4096, uint32_t logPages = 16) {
        uint64_t clusters = 0;
        for (const RunSpec& r : runs)
            clusters += r.length;
        if (dataSize == 0) dataSize = clusters * clusterSize - 1000;
        extensionBefore = Extension(0).NonResidentData(runs, dataSize).Build();
        {
            std::vector<uint8_t> fixed = extensionBefore;
            ApplyFixups(fixed);
            const uint16_t first = Load16(fixed.data() + 0x14);
            dataAttribute.assign(fixed.begin() + first,
                                 fixed.begin() + first + Load32(fixed.data() + first + 4));
        }
        const uint16_t dataOffset = Load16(extensionBefore.data() + 0x14);

        LogBuilder b(logPageSize, logPages);
        // Some older transaction on the same records: never undone by the rollback.
        LogRecordSpec older = For(extensionNumber);
        older.redoOp = logfmt::kUpdateMappingPairs;
        older.undoOp = logfmt::kUpdateMappingPairs;
        older.recordOff = dataOffset;
        older.attrOff = 0x40;
        older.redo = {0x11, 0x01, 0x05, 0x00};
        older.undo = {0x00};
        b.Add(Closing(b.Add(older)));

        LogRecordSpec t1 = For(extensionNumber);
        t1.redoOp = logfmt::kDeleteAttribute;
        t1.undoOp = logfmt::kCreateAttribute;
        t1.recordOff = dataOffset;
        t1.undo = dataAttribute;
        deleteAttribute = b.Add(t1);

        LogRecordSpec t2 = For(extensionNumber);
        t2.previous = deleteAttribute;
        t2.redoOp = logfmt::kDeallocateFileRecordSegment;
        t2.undoOp = logfmt::kInitializeFileRecordSegment;
        t2.undo = InUseHeader(extensionBefore);
        freeExtension = b.Add(t2);

        LogRecordSpec t3 = For(parent);  // the parent folder's index entry: a metadata record
        t3.previous = freeExtension;
        t3.redoOp = logfmt::kDeleteIndexEntryRoot;
        t3.undoOp = logfmt::kAddIndexEntryRoot;
        t3.recordOff = 0x98;
        t3.attrOff = 0x40;
        t3.undo = std::vector<uint8_t>(0x68, 0x2F);
        parentIndex = b.Add(t3);

        LogRecordSpec bitmap = For(0);
        bitmap.previous = parentIndex;
        bitmap.redoOp = logfmt::kClearBitsInNonresidentBitMap;
        bitmap.undoOp = logfmt::kSetBitsInNonresidentBitMap;
        bitmap.vcn = baseNumber / 4;  // a bitmap VCN that would land on the base record
        bitmap.redo = {static_cast<uint8_t>(baseNumber), 0, 0, 0, 2, 0, 0, 0};
        bitmap.undo = bitmap.redo;
        const uint64_t bits = b.Add(bitmap);

        LogRecordSpec t4 = For(baseNumber);
        t4.previous = bits;
        t4.redoOp = logfmt::kDeallocateFileRecordSegment;
        t4.undoOp = logfmt::kInitializeFileRecordSegment;
        t4.undo = InUseHeader(Base(0).Build());
        freeBase = b.Add(t4);

        forget = b.Add(Closing(freeBase));

        log = b.Build();
        base = Base(freeBase).Build();
        extensionAsFound = Extension(freeExtension).Build();
    }
};

}  // namespace qv::test
