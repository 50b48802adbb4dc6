#include <gtest/gtest.h>

#include "app/ErrorCodes.h"
#include "ntfs/FileRecord.h"
#include "support/RecordBuilder.h"

namespace qv {
namespace {

using test::RecordBuilder;
constexpr uint32_t kCluster = 4096;

FileRecord ParseBase(std::vector<uint8_t> image) {
    FileRecord r;
    r.SetHeader(image);
    EXPECT_EQ(r.Parse(image, kCluster), 0);
    return r;
}

TEST(FileRecord, FixupsAreAppliedBeforeTheAttributesAreRead) {
    // A name that crosses the end of the first 512-byte block only reads right after fixups.
    std::u16string longName(200, u'x');
    longName[180] = u'Y';
    auto image = RecordBuilder().FileName(5, longName).Build();
    FileRecord r = ParseBase(image);
    EXPECT_EQ(r.GetName(), longName);
}

TEST(FileRecord, NotAFileRecordContributesNothing) {
    auto image = RecordBuilder().FileName(5, u"a.txt").Build();
    image[0] = 'B';
    FileRecord r;
    EXPECT_EQ(r.Parse(image, kCluster), 0);
    EXPECT_EQ(r.GetName(), u"");
    EXPECT_EQ(r.StreamCount(), 0u);
    EXPECT_EQ(image[0x30 + 0], 0x07);  // untouched: no fixups applied
}

TEST(FileRecord, NamesGoToTheirNamespaceAndALaterOneReplaces) {
    auto image = RecordBuilder()
                     .FileName(5, u"LONGFI~1.TXT", 2)
                     .FileName(5, u"long file name.txt", 1)
                     .Build();
    FileRecord r = ParseBase(image);
    EXPECT_EQ(r.Slot(kNameSpaceDos).name, u"LONGFI~1.TXT");
    EXPECT_EQ(r.Slot(kNameSpaceWin32).name, u"long file name.txt");
    EXPECT_EQ(r.GetName(), u"long file name.txt");

    FileRecord both = ParseBase(RecordBuilder().FileName(5, u"SHORT.TXT", 3).Build());
    EXPECT_TRUE(both.Slot(kNameSpaceWin32AndDos).IsPresent());
    EXPECT_FALSE(both.Slot(kNameSpaceWin32).IsPresent());
    EXPECT_FALSE(both.Slot(kNameSpaceDos).IsPresent());

    FileRecord twice =
        ParseBase(RecordBuilder().FileName(5, u"first", 1).FileName(7, u"second", 1).Build());
    EXPECT_EQ(twice.GetName(), u"second");
    EXPECT_EQ(twice.GetParent(), 7u);
}

TEST(FileRecord, NamedAndUnnamedStreamsAreKeptApart) {
    auto image = RecordBuilder()
                     .FileName(5, u"doc.txt")
                     .ResidentData(std::vector<uint8_t>(10, 'a'))
                     .ResidentData(std::vector<uint8_t>(5, 'z'), u"Zone.Identifier")
                     .Build();
    FileRecord r = ParseBase(image);
    ASSERT_EQ(r.StreamCount(), 2u);
    EXPECT_EQ(r.GetDataStream(0)->Name(), u"");
    EXPECT_EQ(r.GetDataStream(1)->Name(), u"Zone.Identifier");
    EXPECT_EQ(r.GetDataStream(2), nullptr);
    // The content is the unnamed stream only.
    EXPECT_EQ(r.TotalDataSize(kCluster), 10u);
    ASSERT_NE(r.FindStream(u"Zone.Identifier"), nullptr);
    EXPECT_EQ(r.FindStream(u"Zone.Identifier")->TotalSize(kCluster), 5u);
}

TEST(FileRecord, LaterExtentsJoinTheStreamOfTheirOwnName) {
    auto base = RecordBuilder()
                    .FileName(5, u"big.bin")
                    .NonResidentData({{0x100, 4}}, 10 * kCluster)
                    .NonResidentData({{0x900, 1}}, 100, u"ads")
                    .Build();
    auto extension =
        RecordBuilder().BaseReference(40).NonResidentData({{0x200, 6}}, 0, u"", 4).Build();
    FileRecord r;
    r.SetHeader(base);
    ASSERT_EQ(r.Parse(base, kCluster), 0);
    ASSERT_EQ(r.Parse(extension, kCluster), 0);
    ASSERT_EQ(r.StreamCount(), 2u);
    const RunList* content = r.UnnamedStream();
    ASSERT_EQ(content->Runs().size(), 2u);
    EXPECT_EQ(content->Runs()[1].firstCluster, 0x200u);
    EXPECT_EQ(content->Runs()[1].vcn, 4u);
    EXPECT_EQ(r.FindStream(u"ads")->Runs().size(), 1u);
    EXPECT_EQ(r.TotalDataSize(kCluster), 10u * kCluster);
}

TEST(FileRecord, FirstNonResidentExtentOfSizeZeroStillStartsAStream) {
    FileRecord r = ParseBase(RecordBuilder().NonResidentData({}, 0).Build());
    ASSERT_EQ(r.StreamCount(), 1u);
    EXPECT_EQ(r.TotalDataSize(kCluster), 0u);
}

TEST(FileRecord, EmptyResidentValueIsAnEmptyStream) {
    // A resident $DATA whose value starts at the attribute's end: an empty stream, which a
    // recovery writes as an empty file (or file:stream).
    std::vector<uint8_t> attr(0x18, 0);
    attr[0] = 0x80, attr[4] = 0x18, attr[0x14] = 0x18;
    FileRecord r = ParseBase(RecordBuilder().Raw(attr).Build());
    ASSERT_EQ(r.StreamCount(), 1u);
    EXPECT_EQ(r.TotalDataSize(kCluster), 0u);
    EXPECT_EQ(r.AttributeCount(), 1u);
    // A value offset past the attribute's end is damage, not an empty stream.
    attr[0x14] = 0x20;
    FileRecord clipped = ParseBase(RecordBuilder().Raw(attr).Build());
    EXPECT_EQ(clipped.StreamCount(), 0u);
    EXPECT_TRUE(clipped.Damaged());
}

TEST(FileRecord, CompressedFlagOnResidentDataIsIgnored) {
    // Windows leaves the flag on resident values in compressed folders.
    FileRecord r = ParseBase(RecordBuilder().ResidentData({'a'}, u"", 0x0001).Build());
    ASSERT_EQ(r.StreamCount(), 1u);
    EXPECT_FALSE(r.UnnamedStream()->IsCompressed());
    EXPECT_EQ(r.TotalDataSize(kCluster), 1u);
    // An empty one has no value at all (the value would start at the attribute's end).
    FileRecord empty = ParseBase(RecordBuilder().ResidentData({}, u"", 0x0001).Build());
    ASSERT_EQ(empty.StreamCount(), 1u);
    EXPECT_FALSE(empty.UnnamedStream()->IsCompressed());
    EXPECT_EQ(empty.TotalDataSize(kCluster), 0u);
}

TEST(FileRecord, NoAttributesAtAll) {
    auto image = RecordBuilder().Build();
    image[0x14] = 0, image[0x15] = 0;  // first attribute offset 0
    FileRecord r = ParseBase(image);
    EXPECT_EQ(r.AttributeCount(), 0u);
    EXPECT_EQ(r.GetName(), u"");
}

TEST(FileRecord, ExtensionHeaderTakesOnlyTheFirstAttribute) {
    auto image =
        RecordBuilder().BaseReference(12).FileName(5, u"one").ResidentData({1, 2, 3}).Build();
    FileRecord r;
    r.SetHeader(image);
    EXPECT_FALSE(r.IsBaseRecord());
    EXPECT_EQ(r.Parse(image, kCluster), 0);
    EXPECT_EQ(r.GetName(), u"one");
    EXPECT_EQ(r.StreamCount(), 0u);
}

TEST(FileRecord, ParseFileNamesTakesOnlyNames) {
    auto image = RecordBuilder().ResidentData({1, 2}).FileName(5, u"n.txt").Build();
    FileRecord r;
    r.SetHeader(image);
    EXPECT_EQ(r.ParseFileNames(image, kCluster), 0);
    EXPECT_EQ(r.GetName(), u"n.txt");
    EXPECT_EQ(r.StreamCount(), 0u);
}

TEST(FileRecord, ListedAttributeTakesOnlyTheNamedOne) {
    // An extension record holding two extents; each list entry takes its own, once.
    RecordBuilder builder;
    builder.BaseReference(30).NonResidentData({{0x500, 2}}, 0, u"", 8);
    const uint16_t secondId = builder.NextId();
    builder.NonResidentData({{0x600, 3}}, 0, u"", 10);
    const auto extension = builder.Build();

    AttributeListEntry second;
    second.type = 0x80;
    second.startingVcn = 10;
    second.segmentReference = 31;
    second.attributeId = secondId;
    FileRecord r;
    auto copy = extension;
    ASSERT_EQ(r.ParseListedAttribute(copy, second, kCluster), 0);
    ASSERT_EQ(r.UnnamedStream()->Runs().size(), 1u);
    EXPECT_EQ(r.UnnamedStream()->Runs()[0].firstCluster, 0x600u);
    // Met again (fixups already applied): nothing doubles.
    ASSERT_EQ(r.ParseListedAttribute(copy, second, kCluster), 0);
    EXPECT_EQ(r.UnnamedStream()->Runs().size(), 1u);

    // An id that matches nothing falls back to type, name and starting VCN.
    AttributeListEntry byPlace = second;
    byPlace.attributeId = 999;
    byPlace.startingVcn = 8;
    FileRecord other;
    auto copy2 = extension;
    ASSERT_EQ(other.ParseListedAttribute(copy2, byPlace, kCluster), 0);
    ASSERT_EQ(other.UnnamedStream()->Runs().size(), 1u);
    EXPECT_EQ(other.UnnamedStream()->Runs()[0].firstCluster, 0x500u);
}

TEST(FileRecord, AttributeListEntriesAreKept) {
    auto image = RecordBuilder()
                     .FileName(5, u"frag.bin")
                     .ResidentAttributeList(
                         {{0x10, 0, 20, 0, u""}, {0x30, 0, 20, 2, u""}, {0x80, 0, 21, 0, u""}})
                     .Build();
    FileRecord r = ParseBase(image);
    ASSERT_EQ(r.AttributeListCount(), 3u);
    EXPECT_EQ(r.GetAttributeListEntry(2)->SegmentRecordNumber(), 21u);
    EXPECT_EQ(r.GetAttributeListEntry(3), nullptr);
    FileRecord none;
    EXPECT_EQ(none.GetAttributeListEntry(0), nullptr);
}

// Hostile records: every bound holds, nothing crashes, what was read before the damage stays.
TEST(FileRecordHostile, AttributeOfLengthZeroEndsTheWalk) {
    auto image = RecordBuilder().FileName(5, u"ok").Build();
    // Overwrite the end marker with an attribute of length 0.
    const size_t first = image[0x14] | (image[0x15] << 8);
    const size_t second = first + (image[first + 4] | (image[first + 5] << 8));
    image[second] = 0x80, image[second + 1] = 0, image[second + 2] = 0, image[second + 3] = 0;
    image[second + 4] = 0, image[second + 5] = 0, image[second + 6] = 0, image[second + 7] = 0;
    FileRecord r = ParseBase(image);
    EXPECT_EQ(r.GetName(), u"ok");
    EXPECT_TRUE(r.Damaged());
}

TEST(FileRecordHostile, AttributeRunningOutOfTheRecordIsNotRead) {
    auto image = RecordBuilder().FileName(5, u"ok").ResidentData({1, 2, 3}).Build();
    const size_t first = image[0x14] | (image[0x15] << 8);
    const size_t second = first + (image[first + 4] | (image[first + 5] << 8));
    image[second + 4] = 0xF0, image[second + 5] = 0x0F;  // length 4080
    FileRecord r = ParseBase(image);
    EXPECT_EQ(r.StreamCount(), 0u);
    EXPECT_TRUE(r.Damaged());
}

TEST(FileRecordHostile, FirstAttributeOffsetOutsideTheRecord) {
    auto image = RecordBuilder().FileName(5, u"ok").Build();
    image[0x14] = 0xFC, image[0x15] = 0xFF;
    FileRecord r = ParseBase(image);
    EXPECT_EQ(r.GetName(), u"");
}

TEST(FileRecordHostile, ValueLengthPastTheAttributeIsClipped) {
    auto image = RecordBuilder().FileName(5, u"abc").Build();
    const size_t first = image[0x14] | (image[0x15] << 8);
    image[first + 0x10] = 0xFF, image[first + 0x11] = 0xFF;  // value length 65535
    FileRecord r = ParseBase(image);
    EXPECT_EQ(r.GetName(), u"abc");
    EXPECT_TRUE(r.Damaged());
}

TEST(FileRecordHostile, FileNameLengthPastTheValueIsCut) {
    auto image = RecordBuilder().FileName(5, u"abc").Build();
    const size_t first = image[0x14] | (image[0x15] << 8);
    const size_t value = first + (image[first + 0x14] | (image[first + 0x15] << 8));
    image[value + 0x40] = 255;  // claims 255 characters
    FileRecord r = ParseBase(image);
    EXPECT_EQ(r.GetName().substr(0, 3), u"abc");
    EXPECT_LE(r.GetName().size(), 8u);  // only what lies inside the value (padding included)
}

TEST(FileRecordHostile, NoMoreThan256Streams) {
    // 300 named streams over several images of the same file.
    FileRecord r;
    r.SetHeader(RecordBuilder().Build());
    int made = 0;
    while (made < 300) {
        RecordBuilder b;
        for (int i = 0; i < 20 && made < 300; ++i, ++made) {
            std::u16string name = u"s";
            name += static_cast<char16_t>(u'A' + made / 26);
            name += static_cast<char16_t>(u'a' + made % 26);
            b.ResidentData({1}, name);
        }
        auto image = b.Build();
        ASSERT_EQ(r.Parse(image, kCluster), 0);
    }
    EXPECT_EQ(r.StreamCount(), FileRecord::kMaxStreams);
    EXPECT_TRUE(r.Damaged());
}

TEST(RecordFields, PreferredNameOrder) {
    FileRecord dosOnly = ParseBase(RecordBuilder().FileName(9, u"A~1.TXT", 2, 0, 0).Build());
    EXPECT_EQ(dosOnly.GetName(), u"A~1.TXT");
    EXPECT_EQ(dosOnly.GetParent(), 9u);

    FileRecord posix =
        ParseBase(RecordBuilder().FileName(9, u"posix", 0).FileName(9, u"DOS", 2).Build());
    EXPECT_EQ(posix.GetName(), u"DOS");

    FileRecord none = ParseBase(RecordBuilder().ResidentData({1}).Build());
    EXPECT_EQ(none.GetName(), u"");
    EXPECT_EQ(none.GetParent(), 0xFFFFFFFFu);
    CTime a, b, c;
    EXPECT_EQ(none.GetTimes(a, b, c), kErrNoFileName);
    EXPECT_FALSE(a.IsSet());
}

TEST(RecordFields, ParentIsTheLow32BitsOfTheRecordNumber) {
    const uint64_t reference = (uint64_t{3} << 48) | (uint64_t{1} << 32) | 5;
    FileRecord r = ParseBase(RecordBuilder().FileName(reference, u"x").Build());
    EXPECT_EQ(r.GetParent(), 5u);
    EXPECT_EQ(r.GetParentReference(), reference);
}

TEST(RecordFields, TimesComeFromThePreferredName) {
    // 2008-03-05 14:03:07 UTC as FILETIME.
    const uint64_t t = (uint64_t{1204725787} + 11644473600ull) * 10000000ull;
    FileRecord r =
        ParseBase(RecordBuilder().FileName(5, u"x", 1, t, t + 600 * 10000000ull, t).Build());
    CTime created, modified, accessed;
    ASSERT_EQ(r.GetTimes(created, modified, accessed), 0);
    EXPECT_EQ(created.Seconds(), 1204725787);
    EXPECT_EQ(modified.Seconds(), 1204725787 + 600);
}

TEST(RecordFields, DirectoryFlagComesFromTheHeader) {
    FileRecord dir = ParseBase(RecordBuilder().Directory().FileName(5, u"d").Build());
    EXPECT_TRUE(dir.IsDirectory());
    FileRecord file = ParseBase(RecordBuilder().InUse().FileName(5, u"f").Build());
    EXPECT_FALSE(file.IsDirectory());
    EXPECT_TRUE(file.IsInUse());
}

}  // namespace
}  // namespace qv
