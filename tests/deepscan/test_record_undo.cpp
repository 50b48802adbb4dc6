// Undoing logged changes in FILE record images held as on disk.
#include <gtest/gtest.h>

#include <deque>

#include "deepscan/LogBuilder.h"
#include "deepscan/LogFormat.h"
#include "deepscan/RecordUndo.h"
#include "support/RecordBuilder.h"
#include "support/VolumeImage.h"

namespace qv {
namespace {

using namespace logfmt;
using enum UndoResult;
using namespace test;
using Bytes = std::vector<uint8_t>;
constexpr auto Filler = PatternBytes;
constexpr uint32_t kFirst = 0x38;  // first attribute of the builder's 1024-byte records

// A resident attribute record, whole, as the builder makes it.
Bytes ResidentAttribute(uint32_t type, const Bytes& value) {
    return RecordBuilder().Resident(type, value).Attribute(0);
}

// A change points at its data: the data of every change made here stays until the program ends.
RecordChange Undo(uint16_t op, uint32_t recordOff, uint32_t attrOff, Bytes bytes,
                  uint32_t redoLength = 0) {
    static std::deque<Bytes> kept;
    const Bytes& data = kept.emplace_back(std::move(bytes));
    return {.recordNumber = 40,
            .undoOperation = op,
            .recordOff = recordOff,
            .attrOff = attrOff,
            .data = data,
            .redoLength = redoLength,
            .delta = static_cast<int32_t>(data.size()) - static_cast<int32_t>(redoLength)};
}

// The attribute area of a record (fixups applied): from the first attribute to the bytes in use.
Bytes Area(const Bytes& image) {
    const Bytes f = Fixed(image);
    return Bytes(f.begin() + Load16(f.data() + 0x14), f.begin() + Load32(f.data() + 0x18));
}
// Where the k-th attribute of a record starts.
uint32_t AttributeAt(const Bytes& image, int k) {
    const Bytes f = Fixed(image);
    uint32_t at = Load16(f.data() + 0x14);
    for (int i = 0; i < k; ++i)
        at += Load32(f.data() + at + 4);
    return at;
}

// An $INDEX_ROOT of file names with the given entries (each whole) and the end entry.
Bytes IndexRoot(const std::vector<Bytes>& entries) {
    Bytes value(0x20, 0);
    Put32(value, 0, 0x30);
    Put32(value, 4, 1);
    Put32(value, 8, 4096);
    value[12] = 1;
    Put32(value, 0x10, 0x10);  // first entry, from the index header
    for (const auto& e : entries)
        value.insert(value.end(), e.begin(), e.end());
    // The end entry: 16 bytes, flag 2.
    value.insert(value.end(), {0, 0, 0, 0, 0, 0, 0, 0, 0x10, 0, 0, 0, 2, 0, 0, 0});
    Put32(value, 0x14, static_cast<uint32_t>(value.size() - 0x10));
    Put32(value, 0x18, static_cast<uint32_t>(value.size() - 0x10));
    return value;
}
Bytes Entry(uint8_t seed, uint16_t flags = 0) {
    Bytes e(0x10 + 0x50, 0);
    Put64(e, 0, 100 + seed);
    Put16(e, 8, static_cast<uint16_t>(e.size() + (flags & 1 ? 8 : 0)));
    Put16(e, 10, 0x50);
    Put16(e, 12, flags);
    for (size_t i = 0x10; i < e.size(); ++i)
        e[i] = static_cast<uint8_t>(seed + i);
    if (flags & 1) e.resize(e.size() + 8, 0);
    return e;
}

struct Case {
    const char* what;
    Bytes found;  // the record image as found, protected as on disk
    RecordChange change;
    UndoResult result;
    Bytes area = {};  // when applied: the attribute area it must have afterwards
};

void Check(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes image = c.found;
        EXPECT_EQ(UndoIntoImage(image, c.change), c.result);
        if (c.result != kApplied) {
            EXPECT_EQ(image, c.found);  // dropped or nothing to do: not a byte changed
            continue;
        }
        EXPECT_EQ(Area(image), c.area);
        EXPECT_TRUE(IsSoundRecordImage(image));
        // Still protected as on disk: every block ends in the update sequence number.
        const uint16_t usn = Load16(image.data() + Load16(image.data() + 4));
        for (size_t end = 510; end < image.size(); end += 512)
            EXPECT_EQ(Load16(image.data() + end), usn) << end;
    }
}

TEST(UndoIntoImage, AttributesComeBackWholeInTheirPlaceAndGoAgain) {
    // The deleted attribute sits before a value that crosses the first block's end: moved, it
    // keeps clear of the update sequence words; 4096-byte records have eight blocks to protect.
    const Bytes deleted = ResidentAttribute(0x80, Filler(100, 3));
    const Bytes big = ResidentAttribute(0x80, Filler(600, 9));
    const auto build = [&](bool withDeleted) {
        RecordBuilder b = RecordBuilder().FileName(5, u"name.dat");
        if (withDeleted) b.Raw(deleted);
        return b.Raw(big).Build();
    };
    const Bytes deleted4k = ResidentAttribute(0x80, Filler(1500, 3));
    const auto build4k = [&](bool withDeleted) {
        RecordBuilder b =
            RecordBuilder(4096).FileName(5, u"big.dat").Resident(0x40, Filler(1200, 1));
        if (withDeleted) b.Raw(deleted4k);
        return b.Raw(ResidentAttribute(0x80, Filler(900, 5))).Build();
    };
    // The end of a record rewritten: the attribute and the end marker after it.
    const Bytes second = ResidentAttribute(0x80, Filler(40, 2));
    const Bytes full = RecordBuilder().FileName(5, u"x").Raw(second).Build();
    const Bytes tail = Cat({second, {0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0}});
    const uint32_t at = AttributeAt(build(false), 1);
    Check({
        {"create", build(false), Undo(kCreateAttribute, at, 0, deleted), kApplied,
         Area(build(true))},
        {"delete", build(true), Undo(kDeleteAttribute, at, 0, {}), kApplied, Area(build(false))},
        {"create in a 4096-byte record", build4k(false),
         Undo(kCreateAttribute, AttributeAt(build4k(false), 2), 0, deleted4k), kApplied,
         Area(build4k(true))},
        {"end of the record", RecordBuilder().FileName(5, u"x").Build(),
         Undo(kWriteEndOfFileRecordSegment, AttributeAt(full, 1), 0, tail, 8), kApplied,
         Area(full)},
    });
}

TEST(UndoIntoImage, ValuesMappingPairsAndSizesGetTheirBytesAndLengthsBack) {
    // A resident value (at 0x18 of its attribute) with another attribute behind it.
    const Bytes follower = ResidentAttribute(0x80, Filler(40, 5));
    const auto withValue = [&](const Bytes& value) {
        return RecordBuilder().Resident(0x10, value).Raw(follower).Build();
    };
    Bytes inPlace = Filler(48, 1);  // same length: the bytes are replaced in place
    const Bytes old8 = Filler(8, 0x60), old30 = Filler(30, 0x90);
    std::copy(old8.begin(), old8.end(), inPlace.begin() + 16);
    const Bytes longer = Cat({Filler(2, 1), old30});  // the redo cut it to 4 bytes from offset 2

    const Bytes pairsFollower = ResidentAttribute(0x80, Filler(24, 5));
    const auto withRuns = [&](const std::vector<RunSpec>& runs) {
        return RecordBuilder().NonResidentData(runs, 5000).Raw(pairsFollower).Build();
    };
    const std::vector<RunSpec> before = {{100, 5}, {300, 7}, {0, 4}, {900, 2}};
    Bytes pairsArea = Area(withRuns(before));  // highest VCN 17: 18 clusters
    ASSERT_EQ(Load64(pairsArea.data() + 0x18), 17u);
    Put64(pairsArea, 0x28, 4096);  // the sizes are another change of their own

    // The undo data: allocated, valid data length, data size, total allocated (compressed).
    Bytes sizes;
    for (const uint64_t size : {36864, 30000, 33000, 20480})
        Put64(sizes, sizes.size(), size);
    // On disk: allocated 0x28, data size 0x30, valid length 0x38, total allocated 0x40 if any.
    const auto sized = [](const Bytes& record, bool total) {
        Bytes area = Area(record);
        Put64(area, 0x28, 36864);
        Put64(area, 0x30, 33000);
        Put64(area, 0x38, 30000);
        if (total) Put64(area, 0x40, 20480);
        return area;
    };
    const Bytes nonResident = RecordBuilder().NonResidentData({{100, 9}}, 4000).Build();
    // Compressed (unit 16 clusters): the total allocated at 0x40 moves the mapping pairs to 0x48.
    Bytes packedAttribute =
        RecordBuilder().NonResidentData({{50, 16}}, 0, u"", 0, 4, 1).Attribute(0);
    packedAttribute.insert(packedAttribute.begin() + 0x40, 8, 0);
    Put16(packedAttribute, 0x20, 0x48);
    Put32(packedAttribute, 4, static_cast<uint32_t>(packedAttribute.size()));
    const Bytes packed = RecordBuilder().Raw(packedAttribute).Build();

    Check({
        {"a value in place", withValue(Filler(48, 1)),
         Undo(kUpdateResidentValue, kFirst, 0x18 + 16, old8, 8), kApplied,
         Area(withValue(inPlace))},
        {"a value longer again", withValue(Filler(6, 1)),
         Undo(kUpdateResidentValue, kFirst, 0x18 + 2, old30, 4), kApplied, Area(withValue(longer))},
        {"a value whose redo did not end it", withValue(Filler(6, 1)),
         Undo(kUpdateResidentValue, kFirst, 0x18 + 2, Filler(30, 0), 2), kDropped},
        {"mapping pairs", withRuns({{100, 1}}),
         Undo(kUpdateMappingPairs, kFirst, 0x40, EncodeMappingPairs(before), 4), kApplied,
         pairsArea},
        {"sizes", nonResident,
         Undo(kSetNewAttributeSizes, kFirst, 0x28, Bytes(sizes.begin(), sizes.begin() + 24), 24),
         kApplied, sized(nonResident, false)},
        {"sizes of a compressed attribute", packed,
         Undo(kSetNewAttributeSizes, kFirst, 0x28, sizes, 32), kApplied, sized(packed, true)},
        {"sizes of a later extent", RecordBuilder().NonResidentData({{100, 9}}, 0, u"", 16).Build(),
         Undo(kSetNewAttributeSizes, kFirst, 0x28, sizes, 32), kDropped},
    });
}

TEST(UndoIntoImage, IndexRootEntriesComeAndGoWithTheirSizes) {
    const Bytes a = Entry(1), b = Entry(2), node = Entry(3, 1);
    const auto build = [&](const std::vector<Bytes>& entries) {
        RecordBuilder record = RecordBuilder().Resident(0x90, IndexRoot(entries), u"$I30");
        return record.Resident(0x80, {1, 2}).Build();
    };
    const uint32_t firstEntry = 0x20 + 0x20;  // header 0x18 + "$I30", aligned; index header
    const uint32_t afterA = firstEntry + static_cast<uint32_t>(a.size());
    // In-place changes of one entry: its file name's duplicated information, its sub-node VCN.
    const Bytes info = Filler(0x38, 0x33), vcn = {9, 0, 0, 0, 0, 0, 0, 0};
    Bytes withInfo = node, withVcn = node;
    std::copy(info.begin(), info.end(), withInfo.begin() + 0x18);
    std::copy(vcn.begin(), vcn.end(), withVcn.end() - 8);
    Check({
        {"add in front of the end entry", build({a}), Undo(kAddIndexEntryRoot, kFirst, afterA, b),
         kApplied, Area(build({a, b}))},
        {"delete", build({a, b}), Undo(kDeleteIndexEntryRoot, kFirst, firstEntry, {}), kApplied,
         Area(build({b}))},
        {"the end entry never goes", build({a}), Undo(kDeleteIndexEntryRoot, kFirst, afterA, {}),
         kDropped},
        {"not at an entry", build({b}), Undo(kAddIndexEntryRoot, kFirst, firstEntry + 8, a),
         kDropped},
        {"file name information", build({node}),
         Undo(kUpdateFileNameRoot, kFirst, firstEntry, info), kApplied, Area(build({withInfo}))},
        {"sub-node VCN", build({node}), Undo(kSetIndexEntryVcnRoot, kFirst, firstEntry, vcn),
         kApplied, Area(build({withVcn}))},
    });
}

TEST(UndoIntoImage, WhatDoesNotFitIsDroppedWholeAndDeallocationsAreNotWrittenBack) {
    const Bytes found = RecordBuilder().FileName(5, u"a").Lsn(777).Build();
    const uint32_t end = AttributeAt(found, 1);
    Bytes wrongLength = ResidentAttribute(0x80, Filler(16, 1));
    Put32(wrongLength, 4, 8);
    const Bytes small = ResidentAttribute(0x80, Filler(8, 1));
    Bytes noArray = found;
    Put16(noArray, 4, 1020);  // the update sequence array would run past the record
    std::vector<Case> cases = {
        {"too big", found, Undo(kCreateAttribute, end, 0, ResidentAttribute(0x80, Filler(900, 1))),
         kDropped},
        {"wrong length", found, Undo(kCreateAttribute, end, 0, wrongLength), kDropped},
        {"not a place between attributes", found, Undo(kCreateAttribute, end + 8, 0, small),
         kDropped},
        {"outside", found, Undo(kCreateAttribute, 2000, 0, small), kDropped},
        {"the end marker is not an attribute", found, Undo(kDeleteAttribute, end, 0, {}), kDropped},
        {"before the value", found, Undo(kUpdateResidentValue, kFirst, 0x10, Filler(8, 1), 8),
         kDropped},
        {"past the value", found, Undo(kUpdateResidentValue, kFirst, 0x5C, Filler(64, 1), 64),
         kDropped},
        {"not non-resident", found, Undo(kUpdateMappingPairs, kFirst, 0x40, Filler(8, 1)),
         kDropped},
        {"sizes of a resident attribute", found,
         Undo(kSetNewAttributeSizes, kFirst, 0x28, Filler(24, 1)), kDropped},
        {"an end past the record", found,
         Undo(kWriteEndOfFileRecordSegment, kFirst, 1000, Filler(32, 1)), kDropped},
        {"not an index root", found, Undo(kAddIndexEntryRoot, kFirst, 0x20, Filler(16, 1)),
         kDropped},
        {"the header", found, Undo(kPlainWrite, 0, 0, Filler(8, 1)), kDropped},
        {"no usable update sequence", noArray, Undo(kDeleteAttribute, kFirst, 0, {}), kDropped},
        {"a record too small", Bytes(40, 0), Undo(kDeleteAttribute, kFirst, 0, {}), kDropped},
    };
    // A deallocation's undo (in use again, old sequence number and LSN) is never written back.
    Bytes header(found.begin(), found.begin() + 24);
    header[0x16] = 1;
    header[0x10] = 9;
    for (uint16_t op :
         {kInitializeFileRecordSegment, kDeallocateFileRecordSegment, kClearBitsInNonresidentBitMap,
          kNoop, kCompensationLogRecord, kUpdateNonresidentValue, kAddIndexEntryAllocation})
        cases.push_back({"an operation that leaves records alone", found, Undo(op, 0, 0, header),
                         kNothingToDo});
    Check(cases);
}

TEST(IsSoundRecordImage, AttributesInsideAndAlignedUpToAnEndMarker) {
    const Bytes good = RecordBuilder().FileName(5, u"a").ResidentData({1}).Build();
    EXPECT_TRUE(IsSoundRecordImage(good));
    Bytes misaligned = Fixed(good);
    Put32(misaligned, kFirst + 4, Load32(misaligned.data() + kFirst + 4) + 4);
    Put16(misaligned, 0x30, 0);  // unprotected: no fixups to undo
    Put16(misaligned, 6, 0);
    EXPECT_FALSE(IsSoundRecordImage(misaligned));
    Bytes pastUse = Fixed(good);
    Put16(pastUse, 6, 0);
    Put32(pastUse, 0x18, kFirst + 16);
    EXPECT_FALSE(IsSoundRecordImage(pastUse));
    Bytes notFile = good;
    notFile[0] = 'B';
    EXPECT_FALSE(IsSoundRecordImage(notFile));
}

}  // namespace
}  // namespace qv
