// Undoing logged changes in FILE record images held as on disk.
#include <gtest/gtest.h>

#include <deque>

#include "deepscan/LogBuilder.h"
#include "deepscan/LogFormat.h"
#include "deepscan/RecordUndo.h"
#include "ntfs/Fixup.h"
#include "support/RecordBuilder.h"
#include "support/VolumeImage.h"

namespace qv {
namespace {

using namespace logfmt;
using test::EncodeMappingPairs;
using test::RecordBuilder;
using test::RunSpec;
using Bytes = std::vector<uint8_t>;
constexpr auto Filler = test::PatternBytes;
constexpr uint32_t kFirst = 0x38;  // first attribute of the builder's 1024-byte records

Bytes Fixed(Bytes image) {
    ApplyFixups(image);
    return image;
}

// A resident attribute record, whole, as the builder makes it.
Bytes ResidentAttribute(uint32_t type, const Bytes& value) {
    return RecordBuilder().Resident(type, value).Attribute(0);
}

// A change points at its data: the data of every change made here stays until the program ends.
RecordChange Undo(uint16_t op, uint32_t recordOff, uint32_t attrOff, Bytes bytes,
                  uint32_t redoLength = 0) {
    static std::deque<Bytes> kept;
    const Bytes& data = kept.emplace_back(std::move(bytes));
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
Bytes Area(const Bytes& image) {
    const Bytes f = Fixed(image);
    return Bytes(f.begin() + Load16(f.data() + 0x14), f.begin() + Load32(f.data() + 0x18));
}
// Where the attribute after the first one starts.
uint32_t Second(const Bytes& image) {
    return kFirst + Load32(Fixed(image).data() + kFirst + 4);
}

// An $INDEX_ROOT of file names with the given entries (each whole) and the end entry.
Bytes IndexRoot(const std::vector<Bytes>& entries) {
    Bytes value(0x20, 0);
    test::Put32(value, 0, 0x30);
    test::Put32(value, 4, 1);
    test::Put32(value, 8, 4096);
    value[12] = 1;
    test::Put32(value, 0x10, 0x10);  // first entry, from the index header
    for (const auto& e : entries)
        value.insert(value.end(), e.begin(), e.end());
    Bytes last(0x10, 0);
    test::Put16(last, 8, 0x10);
    test::Put16(last, 12, 2);
    value.insert(value.end(), last.begin(), last.end());
    test::Put32(value, 0x14, static_cast<uint32_t>(value.size() - 0x10));
    test::Put32(value, 0x18, static_cast<uint32_t>(value.size() - 0x10));
    return value;
}
Bytes Entry(uint8_t seed, uint16_t flags = 0) {
    Bytes e(0x10 + 0x50, 0);
    test::Put64(e, 0, 100 + seed);
    test::Put16(e, 8, static_cast<uint16_t>(e.size() + (flags & 1 ? 8 : 0)));
    test::Put16(e, 10, 0x50);
    test::Put16(e, 12, flags);
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

void Check(const Case& c) {
    SCOPED_TRACE(c.what);
    Bytes image = c.found;
    EXPECT_EQ(UndoIntoImage(image, c.change), c.result);
    if (c.result != UndoResult::kApplied) {
        EXPECT_EQ(image, c.found);  // dropped or nothing to do: not a byte changed
        return;
    }
    EXPECT_EQ(Area(image), c.area);
    EXPECT_TRUE(IsSoundRecordImage(image));
    // Still protected as on disk: every block ends in the update sequence number.
    const uint16_t usn = Load16(image.data() + Load16(image.data() + 4));
    for (size_t end = 510; end < image.size(); end += 512)
        EXPECT_EQ(Load16(image.data() + end), usn) << end;
}

TEST(UndoIntoImage, AttributesComeBackWholeInTheirPlaceAndGoAgain) {
    // The file name, the attribute the transaction deleted, then a big value whose bytes cross
    // the end of the first 512-byte block: the undo moves it without touching the update sequence
    // words. In 4096-byte records every one of the eight blocks is protected again.
    const Bytes deleted = ResidentAttribute(0x80, Filler(100, 3));
    const Bytes big = ResidentAttribute(0x80, Filler(600, 9));
    const auto build = [&](bool withDeleted) {
        RecordBuilder b;
        b.FileName(5, u"name.dat");
        if (withDeleted) b.Raw(deleted);
        return b.Raw(big).Build();
    };
    const Bytes deleted4k = ResidentAttribute(0x80, Filler(1500, 3));
    const auto build4k = [&](bool withDeleted) {
        RecordBuilder b(4096);
        b.FileName(5, u"big.dat").Resident(0x40, Filler(1200, 1));
        if (withDeleted) b.Raw(deleted4k);
        return b.Raw(ResidentAttribute(0x80, Filler(900, 5))).Build();
    };
    const Bytes f4k = Fixed(build4k(false));
    const uint32_t first4k = Load16(f4k.data() + 0x14);
    const uint32_t third4k = first4k + Load32(f4k.data() + first4k + 4) +
                             Load32(f4k.data() + first4k + Load32(f4k.data() + first4k + 4) + 4);
    // The end of a record rewritten: the attribute and the end marker after it.
    const Bytes second = ResidentAttribute(0x80, Filler(40, 2));
    const Bytes full = RecordBuilder().FileName(5, u"x").Raw(second).Build();
    Bytes tail = second;
    tail.insert(tail.end(), {0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0});
    const uint32_t at = Second(build(false));
    const Case cases[] = {
        {"create", build(false), Undo(kCreateAttribute, at, 0, deleted), UndoResult::kApplied,
         Area(build(true))},
        {"delete", build(true), Undo(kDeleteAttribute, at, 0, {}), UndoResult::kApplied,
         Area(build(false))},
        {"create in a 4096-byte record", build4k(false),
         Undo(kCreateAttribute, third4k, 0, deleted4k), UndoResult::kApplied, Area(build4k(true))},
        {"end of the record", RecordBuilder().FileName(5, u"x").Build(),
         Undo(kWriteEndOfFileRecordSegment, Second(full), 0, tail, 8), UndoResult::kApplied,
         Area(full)},
    };
    for (const Case& c : cases)
        Check(c);
}

TEST(UndoIntoImage, ValuesMappingPairsAndSizesGetTheirBytesAndLengthsBack) {
    const Bytes follower = ResidentAttribute(0x80, Filler(40, 5));
    const auto withValue = [&](const Bytes& value) {
        return RecordBuilder().Resident(0x10, value).Raw(follower).Build();
    };
    const uint32_t valueAt = 0x18;
    Bytes inPlace = Filler(48, 1);  // same length: the bytes are replaced in place
    const Bytes old8 = Filler(8, 0x60), old30 = Filler(30, 0x90);
    std::copy(old8.begin(), old8.end(), inPlace.begin() + 16);
    Bytes longer = Filler(2, 1);  // the redo cut the value to 4 bytes from offset 2
    longer.insert(longer.end(), old30.begin(), old30.end());

    const Bytes pairsFollower = ResidentAttribute(0x80, Filler(24, 5));
    const auto withRuns = [&](const std::vector<RunSpec>& runs) {
        return RecordBuilder().NonResidentData(runs, 5000).Raw(pairsFollower).Build();
    };
    const std::vector<RunSpec> before = {{100, 5}, {300, 7}, {0, 4}, {900, 2}};
    Bytes pairsArea = Area(withRuns(before));  // highest VCN 17: 18 clusters
    ASSERT_EQ(Load64(pairsArea.data() + 0x18), 17u);
    test::Put64(pairsArea, 0x28, 4096);  // the sizes are another change of their own

    const Bytes nonResident = RecordBuilder().NonResidentData({{100, 9}}, 4000).Build();
    Bytes sizes(32);
    test::Put64(sizes, 0, 36864);   // allocated
    test::Put64(sizes, 8, 30000);   // valid data length
    test::Put64(sizes, 16, 33000);  // data size
    test::Put64(sizes, 24, 20480);  // total allocated, for a compressed attribute
    const Bytes sizes24(sizes.begin(), sizes.begin() + 24);
    Bytes sized = Area(nonResident);
    test::Put64(sized, 0x28, 36864);
    test::Put64(sized, 0x30, 33000);
    test::Put64(sized, 0x38, 30000);
    Bytes packedAttribute(0x48, 0);  // compressed, unit 16 clusters
    test::Put32(packedAttribute, 0, 0x80);
    packedAttribute[8] = 1;
    test::Put16(packedAttribute, 0x0C, 1);
    test::Put16(packedAttribute, 0x20, 0x48);
    test::Put16(packedAttribute, 0x22, 4);
    const Bytes pairs = EncodeMappingPairs({{50, 16}});
    packedAttribute.insert(packedAttribute.end(), pairs.begin(), pairs.end());
    packedAttribute.resize(Align8(packedAttribute.size()), 0);
    test::Put32(packedAttribute, 4, static_cast<uint32_t>(packedAttribute.size()));
    const Bytes packed = RecordBuilder().Raw(packedAttribute).Build();
    Bytes packedSized = Area(packed);
    test::Put64(packedSized, 0x28, 36864);
    test::Put64(packedSized, 0x30, 33000);
    test::Put64(packedSized, 0x38, 30000);
    test::Put64(packedSized, 0x40, 20480);

    const Case cases[] = {
        {"a value in place", withValue(Filler(48, 1)),
         Undo(kUpdateResidentValue, kFirst, valueAt + 16, old8, 8), UndoResult::kApplied,
         Area(withValue(inPlace))},
        {"a value longer again", withValue(Filler(6, 1)),
         Undo(kUpdateResidentValue, kFirst, valueAt + 2, old30, 4), UndoResult::kApplied,
         Area(withValue(longer))},
        {"a value whose redo did not end it", withValue(Filler(6, 1)),
         Undo(kUpdateResidentValue, kFirst, valueAt + 2, Filler(30, 0), 2), UndoResult::kDropped},
        {"mapping pairs", withRuns({{100, 1}}),
         Undo(kUpdateMappingPairs, kFirst, 0x40, EncodeMappingPairs(before), 4),
         UndoResult::kApplied, pairsArea},
        {"sizes", nonResident, Undo(kSetNewAttributeSizes, kFirst, 0x28, sizes24, 24),
         UndoResult::kApplied, sized},
        {"sizes of a compressed attribute", packed,
         Undo(kSetNewAttributeSizes, kFirst, 0x28, sizes, 32), UndoResult::kApplied, packedSized},
        {"sizes of a later extent", RecordBuilder().NonResidentData({{100, 9}}, 0, u"", 16).Build(),
         Undo(kSetNewAttributeSizes, kFirst, 0x28, sizes, 32), UndoResult::kDropped},
    };
    for (const Case& c : cases)
        Check(c);
}

TEST(UndoIntoImage, IndexRootEntriesComeAndGoWithTheirSizes) {
    const Bytes a = Entry(1), b = Entry(2), node = Entry(3, 1);
    const auto build = [&](const std::vector<Bytes>& entries) {
        return RecordBuilder()
            .Resident(0x90, IndexRoot(entries), u"$I30")
            .Resident(0x80, {1, 2})
            .Build();
    };
    const uint32_t firstEntry = 0x20 + 0x20;  // header 0x18 + "$I30", aligned; index header
    const uint32_t afterA = firstEntry + static_cast<uint32_t>(a.size());
    // In-place changes of one entry: its file name's duplicated information, its sub-node VCN.
    const Bytes info = Filler(0x38, 0x33), vcn = {9, 0, 0, 0, 0, 0, 0, 0};
    Bytes withInfo = node, withVcn = node;
    std::copy(info.begin(), info.end(), withInfo.begin() + 0x18);
    std::copy(vcn.begin(), vcn.end(), withVcn.end() - 8);
    const Case cases[] = {
        {"add in front of the end entry", build({a}), Undo(kAddIndexEntryRoot, kFirst, afterA, b),
         UndoResult::kApplied, Area(build({a, b}))},
        {"delete", build({a, b}), Undo(kDeleteIndexEntryRoot, kFirst, firstEntry, {}),
         UndoResult::kApplied, Area(build({b}))},
        {"the end entry never goes", build({a}), Undo(kDeleteIndexEntryRoot, kFirst, afterA, {}),
         UndoResult::kDropped},
        {"not at an entry", build({b}), Undo(kAddIndexEntryRoot, kFirst, firstEntry + 8, a),
         UndoResult::kDropped},
        {"file name information", build({node}),
         Undo(kUpdateFileNameRoot, kFirst, firstEntry, info), UndoResult::kApplied,
         Area(build({withInfo}))},
        {"sub-node VCN", build({node}), Undo(kSetIndexEntryVcnRoot, kFirst, firstEntry, vcn),
         UndoResult::kApplied, Area(build({withVcn}))},
    };
    for (const Case& c : cases)
        Check(c);
}

TEST(UndoIntoImage, WhatDoesNotFitIsDroppedWholeAndDeallocationsAreNotWrittenBack) {
    const Bytes found = RecordBuilder().FileName(5, u"a").Lsn(777).Build();
    const uint32_t end = Second(found);
    Bytes wrongLength = ResidentAttribute(0x80, Filler(16, 1));
    test::Put32(wrongLength, 4, 8);
    const Bytes small = ResidentAttribute(0x80, Filler(8, 1));
    Bytes noArray = found;
    test::Put16(noArray, 4, 1020);  // the update sequence array would run past the record
    std::vector<Case> cases = {
        {"too big", found, Undo(kCreateAttribute, end, 0, ResidentAttribute(0x80, Filler(900, 1))),
         UndoResult::kDropped},
        {"wrong length", found, Undo(kCreateAttribute, end, 0, wrongLength), UndoResult::kDropped},
        {"not a place between attributes", found, Undo(kCreateAttribute, end + 8, 0, small),
         UndoResult::kDropped},
        {"outside", found, Undo(kCreateAttribute, 2000, 0, small), UndoResult::kDropped},
        {"the end marker is not an attribute", found, Undo(kDeleteAttribute, end, 0, {}),
         UndoResult::kDropped},
        {"before the value", found, Undo(kUpdateResidentValue, kFirst, 0x10, Filler(8, 1), 8),
         UndoResult::kDropped},
        {"past the value", found, Undo(kUpdateResidentValue, kFirst, 0x5C, Filler(64, 1), 64),
         UndoResult::kDropped},
        {"not non-resident", found, Undo(kUpdateMappingPairs, kFirst, 0x40, Filler(8, 1)),
         UndoResult::kDropped},
        {"sizes of a resident attribute", found,
         Undo(kSetNewAttributeSizes, kFirst, 0x28, Filler(24, 1)), UndoResult::kDropped},
        {"an end past the record", found,
         Undo(kWriteEndOfFileRecordSegment, kFirst, 1000, Filler(32, 1)), UndoResult::kDropped},
        {"not an index root", found, Undo(kAddIndexEntryRoot, kFirst, 0x20, Filler(16, 1)),
         UndoResult::kDropped},
        {"the header", found, Undo(kPlainWrite, 0, 0, Filler(8, 1)), UndoResult::kDropped},
        {"no usable update sequence", noArray, Undo(kDeleteAttribute, kFirst, 0, {}),
         UndoResult::kDropped},
        {"a record too small", Bytes(40, 0), Undo(kDeleteAttribute, kFirst, 0, {}),
         UndoResult::kDropped},
    };
    // The undo of a deallocation would mark the record in use again and give it its old sequence
    // number and LSN: none of that is written back, nor are bitmap changes.
    Bytes header(found.begin(), found.begin() + 24);
    header[0x16] = 1;
    header[0x10] = 9;
    for (uint16_t op :
         {uint16_t{kInitializeFileRecordSegment}, uint16_t{kDeallocateFileRecordSegment},
          uint16_t{kClearBitsInNonresidentBitMap}, uint16_t{kNoop},
          uint16_t{kCompensationLogRecord}, uint16_t{kUpdateNonresidentValue},
          uint16_t{kAddIndexEntryAllocation}})
        cases.push_back({"an operation that leaves records alone", found, Undo(op, 0, 0, header),
                         UndoResult::kNothingToDo});
    for (const Case& c : cases)
        Check(c);
}

TEST(IsSoundRecordImage, AttributesInsideAndAlignedUpToAnEndMarker) {
    const Bytes good = RecordBuilder().FileName(5, u"a").ResidentData({1}).Build();
    EXPECT_TRUE(IsSoundRecordImage(good));
    Bytes misaligned = Fixed(good);
    test::Put32(misaligned, kFirst + 4, Load32(misaligned.data() + kFirst + 4) + 4);
    test::Put16(misaligned, 0x30, 0);  // unprotected: no fixups to undo
    test::Put16(misaligned, 6, 0);
    EXPECT_FALSE(IsSoundRecordImage(misaligned));
    Bytes pastUse = Fixed(good);
    test::Put16(pastUse, 6, 0);
    test::Put32(pastUse, 0x18, kFirst + 16);
    EXPECT_FALSE(IsSoundRecordImage(pastUse));
    Bytes notFile = good;
    notFile[0] = 'B';
    EXPECT_FALSE(IsSoundRecordImage(notFile));
}

}  // namespace
}  // namespace qv
