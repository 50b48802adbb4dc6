// Undoing logged changes in FILE record images held as on disk.
#include <gtest/gtest.h>

#include "deepscan/LogBuilder.h"
#include "deepscan/LogFormat.h"
#include "deepscan/RecordUndo.h"
#include "ntfs/FileRecord.h"
#include "ntfs/Fixup.h"
#include "support/RecordBuilder.h"

namespace qv {
namespace {

using namespace logfmt;
using test::EncodeMappingPairs;
using test::RecordBuilder;
using test::RunSpec;

constexpr uint32_t kFirst = 0x38;  // first attribute of the builder's 1024-byte records

std::vector<uint8_t> Fixed(std::vector<uint8_t> image) {
    ApplyFixups(image);
    return image;
}

// A resident attribute record, whole.
std::vector<uint8_t> ResidentAttribute(uint32_t type, const std::vector<uint8_t>& value,
                                       uint16_t id = 7) {
    std::vector<uint8_t> a(0x18, 0);
    test::Put32(a, 0, type);
    test::Put16(a, 0x0A, 0x18);
    test::Put16(a, 0x0E, id);
    test::Put32(a, 0x10, static_cast<uint32_t>(value.size()));
    test::Put16(a, 0x14, 0x18);
    a.insert(a.end(), value.begin(), value.end());
    a.resize(Align8(a.size()), 0);
    test::Put32(a, 4, static_cast<uint32_t>(a.size()));
    return a;
}

std::vector<uint8_t> Filler(size_t n, uint8_t seed) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = static_cast<uint8_t>(seed + i * 7);
    return v;
}

RecordChange Undo(uint16_t op, uint32_t recordOff, uint32_t attrOff,
                  const std::vector<uint8_t>& data, uint32_t redoLength = 0) {
    RecordChange c;
    c.recordNumber = 40;
    c.undoOperation = op;
    c.recordOff = recordOff;
    c.attrOff = attrOff;
    c.data = data;
    c.redoLength = redoLength;
    c.delta = static_cast<int32_t>(data.size()) - static_cast<int32_t>(redoLength);
    return c;
}

// The attribute area of a record (fixups applied): from the first attribute to the bytes in use.
std::vector<uint8_t> Area(const std::vector<uint8_t>& image) {
    const std::vector<uint8_t> f = Fixed(image);
    const uint32_t inUse = Load32(f.data() + 0x18);
    return std::vector<uint8_t>(f.begin() + kFirst, f.begin() + inUse);
}

TEST(UndoIntoImage, CreatingAnAttributeBackPutsItWholeInItsPlaceAcrossBlockEnds) {
    // The file name, the attribute the transaction deleted, then a big value whose bytes cross
    // the end of the first 512-byte block: the undo must move it without touching the update
    // sequence words.
    const std::vector<uint8_t> deleted = ResidentAttribute(0x80, Filler(100, 3), 2);
    const std::vector<uint8_t> big = ResidentAttribute(0x80, Filler(600, 9), 3);
    auto build = [&](bool withDeleted) {
        RecordBuilder b;
        b.FileName(5, u"name.dat");
        if (withDeleted) b.Raw(deleted);
        b.Raw(big);
        return b.Build();
    };
    const std::vector<uint8_t> before = build(true);
    std::vector<uint8_t> image = build(false);
    const uint32_t at = kFirst + Load32(Fixed(image).data() + kFirst + 4);
    EXPECT_EQ(UndoIntoImage(image, Undo(kCreateAttribute, at, 0, deleted)), UndoResult::kApplied);
    EXPECT_EQ(Area(image), Area(before));
    EXPECT_EQ(Load32(Fixed(image).data() + 0x18), Load32(Fixed(before).data() + 0x18));
    // Still protected as on disk: the block ends carry the update sequence number.
    EXPECT_EQ(Load16(image.data() + 510), Load16(image.data() + 0x30));
    EXPECT_TRUE(IsSoundRecordImage(image));

    // And deleting it again gives the record as it was found.
    EXPECT_EQ(UndoIntoImage(image, Undo(kDeleteAttribute, at, 0, {})), UndoResult::kApplied);
    EXPECT_EQ(Area(image), Area(build(false)));
}

TEST(UndoIntoImage, AnAttributeThatDoesNotFitOrDoesNotMatchIsDroppedWhole) {
    const std::vector<uint8_t> found = RecordBuilder().FileName(5, u"a").Build();
    const uint32_t end = kFirst + Load32(Fixed(found).data() + kFirst + 4);
    std::vector<uint8_t> wrongLength = ResidentAttribute(0x80, Filler(16, 1));
    test::Put32(wrongLength, 4, 8);
    const std::vector<uint8_t> tooBig = ResidentAttribute(0x80, Filler(900, 1));
    const std::vector<uint8_t> small = ResidentAttribute(0x80, Filler(8, 1));
    const std::vector<uint8_t> f8 = Filler(8, 1), f24 = Filler(24, 1), f32 = Filler(32, 1),
                               f16 = Filler(16, 1), f64 = Filler(64, 1);
    const std::vector<RecordChange> changes = {
        Undo(kCreateAttribute, end, 0, tooBig),
        Undo(kCreateAttribute, end, 0, wrongLength),
        Undo(kCreateAttribute, end + 8, 0, small),          // not a place between attributes
        Undo(kCreateAttribute, 2000, 0, small),             // outside
        Undo(kDeleteAttribute, end, 0, {}),                 // the end marker is not an attribute
        Undo(kUpdateResidentValue, kFirst, 0x10, f8, 8),    // before the value
        Undo(kUpdateResidentValue, kFirst, 0x5C, f64, 64),  // past the value
        Undo(kUpdateMappingPairs, kFirst, 0x40, f8),        // not non-resident
        Undo(kSetNewAttributeSizes, kFirst, 0x28, f24),
        Undo(kWriteEndOfFileRecordSegment, kFirst, 1000, f32),
        Undo(kAddIndexEntryRoot, kFirst, 0x20, f16),  // not an index root
        Undo(kPlainWrite, 0, 0, f8),                  // the header
    };
    for (size_t i = 0; i < changes.size(); ++i) {
        SCOPED_TRACE(i);
        std::vector<uint8_t> image = found;
        EXPECT_EQ(UndoIntoImage(image, changes[i]), UndoResult::kDropped);
        EXPECT_EQ(image, found);
    }
}

TEST(UndoIntoImage, DeallocationAndBitmapChangesLeaveTheImageAsItIs) {
    const std::vector<uint8_t> found = RecordBuilder().FileName(5, u"a").Lsn(777).Build();
    // The undo of a deallocation would mark the record in use again and give it its old
    // sequence number and LSN: none of that is written back.
    std::vector<uint8_t> header(found.begin(), found.begin() + 24);
    header[0x16] = 1;
    header[0x10] = 9;
    for (uint16_t op :
         {uint16_t{kInitializeFileRecordSegment}, uint16_t{kDeallocateFileRecordSegment},
          uint16_t{kClearBitsInNonresidentBitMap}, uint16_t{kNoop},
          uint16_t{kCompensationLogRecord}, uint16_t{kUpdateNonresidentValue},
          uint16_t{kAddIndexEntryAllocation}}) {
        std::vector<uint8_t> image = found;
        EXPECT_EQ(UndoIntoImage(image, Undo(op, 0, 0, header)), UndoResult::kNothingToDo) << op;
        EXPECT_EQ(image, found);
    }
}

TEST(UndoIntoImage, AResidentValueGetsItsBytesAndItsLengthBack) {
    const std::vector<uint8_t> follower = ResidentAttribute(0x80, Filler(40, 5), 4);
    auto build = [&](const std::vector<uint8_t>& value) {
        return RecordBuilder().Resident(0x10, value).Raw(follower).Build();
    };
    const uint32_t valueAt = 0x18;
    // Same length: the bytes are replaced in place.
    {
        std::vector<uint8_t> image = build(Filler(48, 1));
        const std::vector<uint8_t> old = Filler(8, 0x60);
        EXPECT_EQ(UndoIntoImage(image, Undo(kUpdateResidentValue, kFirst, valueAt + 16, old, 8)),
                  UndoResult::kApplied);
        std::vector<uint8_t> expected = Filler(48, 1);
        std::copy(old.begin(), old.end(), expected.begin() + 16);
        EXPECT_EQ(Area(image), Area(build(expected)));
    }
    // The redo cut the value to 4 bytes from offset 2; the undo gives back 30.
    {
        std::vector<uint8_t> image = build(Filler(6, 1));
        const std::vector<uint8_t> old = Filler(30, 0x90);
        EXPECT_EQ(UndoIntoImage(image, Undo(kUpdateResidentValue, kFirst, valueAt + 2, old, 4)),
                  UndoResult::kApplied);
        std::vector<uint8_t> expected = Filler(2, 1);
        expected.insert(expected.end(), old.begin(), old.end());
        EXPECT_EQ(Area(image), Area(build(expected)));
        const std::unique_ptr<FileRecord> parsed = [&] {
            auto r = std::make_unique<FileRecord>();
            std::vector<uint8_t> copy = image;
            EXPECT_EQ(r->Parse(copy, 4096), Parsed::kFine);
            return r;
        }();
        ASSERT_TRUE(parsed->UnnamedStream());
        EXPECT_EQ(parsed->UnnamedStream()->TotalSize(4096), 40u);
    }
    // A change whose redo did not end the value does not fit this record.
    {
        const std::vector<uint8_t> found = build(Filler(6, 1));
        std::vector<uint8_t> image = found;
        EXPECT_EQ(
            UndoIntoImage(image, Undo(kUpdateResidentValue, kFirst, valueAt + 2, Filler(30, 0), 2)),
            UndoResult::kDropped);
        EXPECT_EQ(image, found);
    }
}

TEST(UndoIntoImage, MappingPairsComeBackWithTheirRunsAndHighestVcn) {
    const std::vector<uint8_t> follower = ResidentAttribute(0x80, Filler(24, 5), 4);
    auto build = [&](const std::vector<RunSpec>& runs) {
        return RecordBuilder().NonResidentData(runs, 5000).Raw(follower).Build();
    };
    std::vector<uint8_t> image = build({{100, 1}});
    const std::vector<RunSpec> before = {{100, 5}, {300, 7}, {0, 4}, {900, 2}};
    const std::vector<uint8_t> pairs = EncodeMappingPairs(before);
    EXPECT_EQ(UndoIntoImage(image, Undo(kUpdateMappingPairs, kFirst, 0x40, pairs, 4)),
              UndoResult::kApplied);
    const std::vector<uint8_t> f = Fixed(image);
    EXPECT_EQ(Load32(f.data() + kFirst + 4), Align8(0x40 + pairs.size()));
    EXPECT_EQ(Load64(f.data() + kFirst + 0x18), 17u);  // highest VCN of 18 clusters
    // The sizes are another change of their own.
    std::vector<uint8_t> expected = Area(build(before));
    test::Put64(expected, 0x28, 4096);
    EXPECT_EQ(Area(image), expected);
    FileRecord parsed;
    std::vector<uint8_t> copy = image;
    ASSERT_EQ(parsed.Parse(copy, 4096), Parsed::kFine);
    ASSERT_EQ(parsed.StreamCount(), 1u);
    EXPECT_EQ(parsed.GetDataStream(0)->Runs().size(), 4u);
}

TEST(UndoIntoImage, AttributeSizesGoToTheirOwnFields) {
    std::vector<uint8_t> image = RecordBuilder().NonResidentData({{100, 9}}, 4000).Build();
    std::vector<uint8_t> sizes(24);
    test::Put64(sizes, 0, 36864);   // allocated
    test::Put64(sizes, 8, 30000);   // valid data length
    test::Put64(sizes, 16, 33000);  // data size
    EXPECT_EQ(UndoIntoImage(image, Undo(kSetNewAttributeSizes, kFirst, 0x28, sizes, 24)),
              UndoResult::kApplied);
    const std::vector<uint8_t> f = Fixed(image);
    EXPECT_EQ(Load64(f.data() + kFirst + 0x28), 36864u);
    EXPECT_EQ(Load64(f.data() + kFirst + 0x30), 33000u);
    EXPECT_EQ(Load64(f.data() + kFirst + 0x38), 30000u);

    // A compressed attribute also gets its total allocated; a later extent gets nothing.
    std::vector<uint8_t> compressed = RecordBuilder().Build();
    {
        std::vector<uint8_t> a(0x48, 0);
        test::Put32(a, 0, 0x80);
        a[8] = 1;
        test::Put16(a, 0x0C, 1);
        test::Put16(a, 0x20, 0x48);
        test::Put16(a, 0x22, 4);
        const std::vector<uint8_t> pairs = EncodeMappingPairs({{50, 16}});
        a.insert(a.end(), pairs.begin(), pairs.end());
        a.resize(Align8(a.size()), 0);
        test::Put32(a, 4, static_cast<uint32_t>(a.size()));
        compressed = RecordBuilder().Raw(a).Build();
    }
    sizes.resize(32);
    test::Put64(sizes, 24, 20480);
    EXPECT_EQ(UndoIntoImage(compressed, Undo(kSetNewAttributeSizes, kFirst, 0x28, sizes, 32)),
              UndoResult::kApplied);
    EXPECT_EQ(Load64(Fixed(compressed).data() + kFirst + 0x40), 20480u);
    std::vector<uint8_t> later = RecordBuilder().NonResidentData({{100, 9}}, 0, u"", 16).Build();
    const std::vector<uint8_t> laterFound = later;
    EXPECT_EQ(UndoIntoImage(later, Undo(kSetNewAttributeSizes, kFirst, 0x28, sizes, 32)),
              UndoResult::kDropped);
    EXPECT_EQ(later, laterFound);
}

TEST(UndoIntoImage, TheEndOfARecordIsRewrittenAndTheRecordEndsThere) {
    const std::vector<uint8_t> second = ResidentAttribute(0x80, Filler(40, 2), 3);
    const std::vector<uint8_t> full = RecordBuilder().FileName(5, u"x").Raw(second).Build();
    const std::vector<uint8_t> shortRecord = RecordBuilder().FileName(5, u"x").Build();
    const uint32_t at = kFirst + Load32(Fixed(full).data() + kFirst + 4);
    std::vector<uint8_t> tail = second;
    tail.insert(tail.end(), {0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0});
    std::vector<uint8_t> image = shortRecord;
    EXPECT_EQ(UndoIntoImage(image, Undo(kWriteEndOfFileRecordSegment, at, 0, tail, 8)),
              UndoResult::kApplied);
    EXPECT_EQ(Area(image), Area(full));
}

// An $INDEX_ROOT of file names with the given entries (each whole) and the end entry.
std::vector<uint8_t> IndexRoot(const std::vector<std::vector<uint8_t>>& entries) {
    std::vector<uint8_t> value(0x20, 0);
    test::Put32(value, 0, 0x30);
    test::Put32(value, 4, 1);
    test::Put32(value, 8, 4096);
    value[12] = 1;
    test::Put32(value, 0x10, 0x10);  // first entry, from the index header
    for (const auto& e : entries)
        value.insert(value.end(), e.begin(), e.end());
    std::vector<uint8_t> last(0x10, 0);
    test::Put16(last, 8, 0x10);
    test::Put16(last, 12, 2);
    value.insert(value.end(), last.begin(), last.end());
    test::Put32(value, 0x14, static_cast<uint32_t>(value.size() - 0x10));
    test::Put32(value, 0x18, static_cast<uint32_t>(value.size() - 0x10));
    return value;
}
std::vector<uint8_t> Entry(uint8_t seed, uint16_t flags = 0) {
    std::vector<uint8_t> e(0x10 + 0x50, 0);
    test::Put64(e, 0, 100 + seed);
    test::Put16(e, 8, static_cast<uint16_t>(e.size() + (flags & 1 ? 8 : 0)));
    test::Put16(e, 10, 0x50);
    test::Put16(e, 12, flags);
    for (size_t i = 0x10; i < e.size(); ++i)
        e[i] = static_cast<uint8_t>(seed + i);
    if (flags & 1) e.resize(e.size() + 8, 0);
    return e;
}

TEST(UndoIntoImage, IndexRootEntriesComeAndGoWithTheirSizes) {
    const std::vector<uint8_t> a = Entry(1), b = Entry(2);
    auto build = [&](const std::vector<std::vector<uint8_t>>& entries) {
        return RecordBuilder()
            .Resident(0x90, IndexRoot(entries), u"$I30")
            .Resident(0x80, {1, 2})
            .Build();
    };
    const uint32_t nameAndValue = 0x20;  // header 0x18 + "$I30", aligned
    const uint32_t firstEntry = nameAndValue + 0x20;
    // Put b back in front of the end entry, then take a out again.
    std::vector<uint8_t> image = build({a});
    EXPECT_EQ(UndoIntoImage(image, Undo(kAddIndexEntryRoot, kFirst,
                                        firstEntry + static_cast<uint32_t>(a.size()), b)),
              UndoResult::kApplied);
    EXPECT_EQ(Area(image), Area(build({a, b})));
    EXPECT_EQ(UndoIntoImage(image, Undo(kDeleteIndexEntryRoot, kFirst, firstEntry, {})),
              UndoResult::kApplied);
    EXPECT_EQ(Area(image), Area(build({b})));
    // The end entry never goes; an offset that is not an entry is no place.
    const std::vector<uint8_t> found = image;
    EXPECT_EQ(UndoIntoImage(image, Undo(kDeleteIndexEntryRoot, kFirst,
                                        firstEntry + static_cast<uint32_t>(b.size()), {})),
              UndoResult::kDropped);
    EXPECT_EQ(UndoIntoImage(image, Undo(kAddIndexEntryRoot, kFirst, firstEntry + 8, a)),
              UndoResult::kDropped);
    EXPECT_EQ(image, found);

    // In-place changes of one entry: its file name's duplicated information, its sub-node VCN.
    std::vector<uint8_t> withNode = build({Entry(3, 1)});
    const std::vector<uint8_t> info = Filler(0x38, 0x33);
    EXPECT_EQ(UndoIntoImage(withNode, Undo(kUpdateFileNameRoot, kFirst, firstEntry, info)),
              UndoResult::kApplied);
    const std::vector<uint8_t> vcn = {9, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(UndoIntoImage(withNode, Undo(kSetIndexEntryVcnRoot, kFirst, firstEntry, vcn)),
              UndoResult::kApplied);
    std::vector<uint8_t> expected = Entry(3, 1);
    std::copy(info.begin(), info.end(), expected.begin() + 0x18);
    std::copy(vcn.begin(), vcn.end(), expected.end() - 8);
    EXPECT_EQ(Area(withNode), Area(build({expected})));
}

TEST(UndoIntoImage, FourKilobyteRecordsAreProtectedInEveryBlock) {
    const std::vector<uint8_t> deleted = ResidentAttribute(0x80, Filler(1500, 3), 2);
    auto build = [&](bool withDeleted) {
        RecordBuilder b(4096);
        b.FileName(5, u"big.dat").Resident(0x40, Filler(1200, 1));
        if (withDeleted) b.Raw(deleted);
        b.Raw(ResidentAttribute(0x80, Filler(900, 5), 4));
        return b.Build();
    };
    std::vector<uint8_t> image = build(false);
    const std::vector<uint8_t> f = Fixed(image);
    const uint32_t first = Load16(f.data() + 0x14);
    const uint32_t at = first + Load32(f.data() + first + 4) +
                        Load32(f.data() + first + Load32(f.data() + first + 4) + 4);
    EXPECT_EQ(UndoIntoImage(image, Undo(kCreateAttribute, at, 0, deleted)), UndoResult::kApplied);
    const std::vector<uint8_t> a = Fixed(image), b = Fixed(build(true));
    const uint32_t inUse = Load32(b.data() + 0x18);
    EXPECT_EQ(Load32(a.data() + 0x18), inUse);
    EXPECT_TRUE(std::equal(a.begin() + first, a.begin() + inUse, b.begin() + first));
    for (uint32_t block = 1; block <= 8; ++block)
        EXPECT_EQ(Load16(image.data() + block * 512 - 2), Load16(image.data() + 0x30)) << block;
}

TEST(UndoIntoImage, ARecordWithoutAUsableUpdateSequenceIsNotChanged) {
    std::vector<uint8_t> image = RecordBuilder().FileName(5, u"a").Build();
    test::Put16(image, 4, 1020);  // the array would run past the record
    const std::vector<uint8_t> found = image;
    EXPECT_EQ(UndoIntoImage(image, Undo(kDeleteAttribute, kFirst, 0, {})), UndoResult::kDropped);
    EXPECT_EQ(image, found);
    std::vector<uint8_t> tiny(40, 0);
    EXPECT_EQ(UndoIntoImage(tiny, Undo(kDeleteAttribute, kFirst, 0, {})), UndoResult::kDropped);
}

TEST(IsSoundRecordImage, AttributesInsideAndAlignedUpToAnEndMarker) {
    const std::vector<uint8_t> good = RecordBuilder().FileName(5, u"a").ResidentData({1}).Build();
    EXPECT_TRUE(IsSoundRecordImage(good));
    std::vector<uint8_t> misaligned = Fixed(good);
    test::Put32(misaligned, kFirst + 4, Load32(misaligned.data() + kFirst + 4) + 4);
    test::Put16(misaligned, 0x30, 0);  // unprotected: no fixups to undo
    test::Put16(misaligned, 6, 0);
    EXPECT_FALSE(IsSoundRecordImage(misaligned));
    std::vector<uint8_t> pastUse = Fixed(good);
    test::Put16(pastUse, 6, 0);
    test::Put32(pastUse, 0x18, kFirst + 16);
    EXPECT_FALSE(IsSoundRecordImage(pastUse));
    std::vector<uint8_t> notFile = good;
    notFile[0] = 'B';
    EXPECT_FALSE(IsSoundRecordImage(notFile));
}

}  // namespace
}  // namespace qv
