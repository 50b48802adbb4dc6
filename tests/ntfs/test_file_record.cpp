// FILE record images parsed into names, streams and list entries: what parsing gives on sound and
// on hostile records, and which name and stream a file is recovered as.
#include <gtest/gtest.h>

#include "base/Error.h"
#include "ntfs/FileRecord.h"
#include "support/Bytes.h"
#include "support/RecordBuilder.h"

namespace qv {
namespace {

using test::RecordBuilder;
using Bytes = std::vector<uint8_t>;
constexpr uint32_t kCluster = 4096;
constexpr size_t kFirst = 0x38;  // the builder's first attribute

TEST(FileRecord, ParseOutcomesOnSoundAndHostileRecords) {
    using enum Parsed;
    const auto named = RecordBuilder().FileName(5, u"abc").ResidentData({1, 2, 3}).Build();
    const size_t second = kFirst + Load32(named.data() + kFirst + 4);  // the $DATA attribute
    const size_t nameLength = kFirst + Load16(named.data() + kFirst + 0x14) + 0x40;
    Bytes emptyValue(0x18, 0);  // a resident $DATA whose value starts at its end
    emptyValue[0] = 0x80, emptyValue[4] = 0x18, emptyValue[0x14] = 0x18;
    Bytes valuePastEnd = emptyValue;
    valuePastEnd[0x14] = 0x20;
    const auto longName = std::u16string(180, u'x') + u"Y";
    // The image, a value stored at an offset in it (width 0: the image as built); what parsing
    // gives, the name and the number of streams.
    using Case =
        std::tuple<const char*, Bytes, size_t, uint32_t, uint32_t, Parsed, std::u16string, size_t>;
    const Case cases[] = {
        {"sound", named, 0, 0, 0, kFine, u"abc", 1},
        // A name that crosses the end of the first 512-byte block reads right only after fixups.
        {"fixups", RecordBuilder().FileName(5, longName).Build(), 0, 0, 0, kFine, longName, 0},
        {"torn", named, 1022, named[1022] ^ 0x55u, 1, kFine, u"abc", 1},
        {"no signature", named, 0, 'B', 1, kUnreadable, u"", 0},
        {"no attributes", named, 0x14, 0, 2, kUnreadable, u"", 0},
        {"first attribute outside", named, 0x14, 0xFFFC, 2, kDamaged, u"", 0},
        {"length 0", named, second + 4, 0, 4, kDamaged, u"abc", 0},
        {"length past the record", named, second + 4, 4080, 4, kDamaged, u"abc", 0},
        {"value past its attribute", named, kFirst + 0x10, 0xFFFF, 4, kDamaged, u"abc", 1},
        // A name claiming 255 characters gives only those inside its value.
        {"name past its value", named, nameLength, 255, 1, kFine, u"abc", 1},
        {"empty value", RecordBuilder().Raw(emptyValue).Build(), 0, 0, 0, kFine, u"", 1},
        {"value offset outside", RecordBuilder().Raw(valuePastEnd).Build(), 0, 0, 0, kDamaged, u"",
         0},
    };
    for (auto [what, image, at, value, width, parsed, name, streams] : cases) {
        SCOPED_TRACE(what);
        test::Put(image, at, value, width);
        const Bytes before = image;
        FileRecord r;
        r.SetHeader(image);
        EXPECT_EQ(r.Parse(image, kCluster), parsed);
        EXPECT_EQ(r.Damaged(), parsed == kDamaged);
        EXPECT_EQ(r.GetName(), name);
        EXPECT_EQ(r.StreamCount(), streams);
        if (before[0] != 'F') {
            EXPECT_EQ(image, before);  // not a FILE record: left untouched
        }
    }
}

TEST(FileRecord, AnEmptyImageSetsAnEmptyHeader) {
    // A fuzzing find: an empty span handed its null data() to memcpy (undefined behaviour).
    FileRecord r;
    r.SetHeader(ByteSpan{});
    EXPECT_EQ(r.Header(), (std::array<uint8_t, 48>{}));
    EXPECT_EQ(r.Parse(MutableByteSpan{}, kCluster), Parsed::kUnreadable);
}

TEST(FileRecord, NoMoreThan256Streams) {
    // 300 named streams over several images of the same file.
    FileRecord r;
    r.SetHeader(RecordBuilder().Build());
    for (int made = 0; made < 300;) {
        RecordBuilder b;
        for (int i = 0; i < 20; ++i, ++made)
            b.ResidentData({1}, u"s" + std::u16string(1, char16_t(u'A' + made / 26)) +
                                    char16_t(u'a' + made % 26));
        auto image = b.Build();
        r.Parse(image, kCluster);
    }
    EXPECT_EQ(r.StreamCount(), FileRecord::kMaxStreams);
    EXPECT_TRUE(r.Damaged());
}

TEST(FileRecord, ThePreferredNameAndItsParentAndTimes) {
    const uint64_t t = (uint64_t{1204725787} + 11644473600ull) * 10000000ull;  // 2008-03-05
    const uint64_t far = (uint64_t{3} << 48) | (uint64_t{1} << 32) | 9;
    // The record; the name it is recovered as and its parent's record number.
    const std::tuple<RecordBuilder, std::u16string, uint32_t> cases[] = {
        {RecordBuilder().FileName(9, u"LONGFI~1.TXT", 2).FileName(7, u"long file.txt", 1),
         u"long file.txt", 7},
        {RecordBuilder().FileName(9, u"SHORT.TXT", 3), u"SHORT.TXT", 9},
        {RecordBuilder().FileName(9, u"posix", 0).FileName(8, u"DOS", 2), u"DOS", 8},
        {RecordBuilder().FileName(9, u"first", 1).FileName(7, u"second", 1), u"second", 7},
        {RecordBuilder().FileName(far, u"x", 1, t, t + 600 * 10000000ull), u"x", 9},
        {RecordBuilder().ResidentData({1}), u"", 0xFFFFFFFF},
    };
    for (const auto& [record, name, parent] : cases) {
        Bytes image = record.Build();
        FileRecord r;
        r.SetHeader(image);
        ASSERT_EQ(r.Parse(image, kCluster), Parsed::kFine);
        EXPECT_EQ(r.GetName(), name);
        EXPECT_EQ(r.GetParent(), parent) << "the low 32 bits of the record number";
        CTime created, modified, accessed;
        EXPECT_EQ(r.GetTimes(created, modified, accessed), name.empty() ? kErrNoFileName : 0);
        if (parent == 9 && name == u"x") {
            EXPECT_EQ(r.GetParentReference(), far);
            EXPECT_EQ(created.Seconds(), 1204725787);
            EXPECT_EQ(modified.Seconds(), 1204725787 + 600);
        }
    }
}

TEST(FileRecord, StreamsAreKeptByNameAndLaterExtentsJoinTheirOwn) {
    RecordBuilder builder = RecordBuilder().Directory().FileName(5, u"big.bin");
    builder.NonResidentData({{0x100, 4}}, 10 * kCluster).NonResidentData({{0x900, 1}}, 100, u"ads");
    // A named stream with the compressed flag, which is ignored.
    auto base = builder.ResidentData({'z'}, u"Zone.Identifier", 0x0001).Build();
    auto extension =
        RecordBuilder().BaseReference(40).NonResidentData({{0x200, 6}}, 0, u"", 4).Build();
    FileRecord r;
    r.SetHeader(base);
    ASSERT_EQ(r.Parse(base, kCluster), Parsed::kFine);
    EXPECT_TRUE(r.IsDirectory());
    EXPECT_FALSE(r.IsInUse());
    ASSERT_EQ(r.Parse(extension, kCluster), Parsed::kFine);
    ASSERT_EQ(r.StreamCount(), 3u);
    EXPECT_EQ(r.GetDataStream(3), nullptr);
    const RunList& content = *r.UnnamedStream();
    ASSERT_EQ(content.Runs().size(), 2u);
    EXPECT_EQ(content.Runs()[1].firstCluster, 0x200u);
    EXPECT_EQ(content.Runs()[1].vcn, 4u);
    EXPECT_EQ(r.TotalDataSize(kCluster), 10u * kCluster);  // the content is the unnamed stream
    EXPECT_EQ(r.FindStream(u"ads")->Runs().size(), 1u);
    EXPECT_FALSE(r.FindStream(u"Zone.Identifier")->IsCompressed());
    EXPECT_EQ(r.FindStream(u"Zone.Identifier")->TotalSize(kCluster), 1u);

    // An extension record's header takes only its first attribute; ParseFileNames only names.
    for (const bool namesOnly : {false, true}) {
        auto image =
            namesOnly
                ? RecordBuilder().ResidentData({1, 2}).FileName(5, u"one").Build()
                : RecordBuilder().BaseReference(12).FileName(5, u"one").ResidentData({1}).Build();
        FileRecord one;
        one.SetHeader(image);
        EXPECT_EQ(one.IsBaseRecord(), namesOnly);
        EXPECT_EQ(namesOnly ? one.ParseFileNames(image, kCluster) : one.Parse(image, kCluster),
                  Parsed::kFine);
        EXPECT_EQ(one.GetName(), u"one");
        EXPECT_EQ(one.StreamCount(), 0u);
    }
}

TEST(FileRecord, AListedAttributeIsTakenOnceByIdElseByTypeNameAndVcn) {
    RecordBuilder builder;
    builder.BaseReference(30).NonResidentData({{0x500, 2}}, 0, u"", 8);
    const uint16_t secondId = builder.NextId();
    builder.NonResidentData({{0x600, 3}}, 0, u"", 10);
    const auto extension = builder.Build();
    // The entry's VCN and attribute id; the cluster of the extent taken (0: none).
    const std::tuple<uint64_t, uint16_t, uint64_t> cases[] = {
        {10, secondId, 0x600}, {8, 999, 0x500}, {9, 999, 0}};
    for (const auto& [vcn, id, cluster] : cases) {
        const AttributeListEntry entry{
            .type = kAttrData, .startingVcn = vcn, .attributeId = id, .name = {}};
        FileRecord r;
        auto copy = extension;
        EXPECT_EQ(r.ParseListedAttribute(copy, entry, kCluster), cluster != 0);
        EXPECT_EQ(r.ParseListedAttribute(copy, entry, kCluster), cluster != 0);  // again
        if (cluster == 0) continue;
        ASSERT_EQ(r.UnnamedStream()->Runs().size(), 1u) << "met twice, taken once";
        EXPECT_EQ(r.UnnamedStream()->Runs()[0].firstCluster, cluster);
    }
    // The list's entries are kept in order; an extent marked missing is remembered by name.
    auto listed = RecordBuilder()
                      .ResidentAttributeList({{0x10, 0, 20, 0, u""}, {0x80, 0, 21, 0, u"ads"}})
                      .Build();
    FileRecord r;
    r.SetHeader(listed);
    ASSERT_EQ(r.Parse(listed, kCluster), Parsed::kFine);
    ASSERT_EQ(r.AttributeListCount(), 2u);
    EXPECT_EQ(r.GetAttributeListEntry(1)->SegmentRecordNumber(), 21u);
    EXPECT_EQ(r.GetAttributeListEntry(2), nullptr);
    r.MarkExtentMissing(u"ads");
    EXPECT_TRUE(r.ExtentMissing(u"ads"));
    EXPECT_FALSE(r.ExtentMissing(u""));
}

}  // namespace
}  // namespace qv
