#include <gtest/gtest.h>

#include "ntfs/AttributeList.h"
#include "support/RecordBuilder.h"

namespace qv {
namespace {

TEST(AttributeList, EntriesInOrderWithTheirNames) {
    const auto value = test::EncodeAttributeList({
        {0x10, 0, 40, 0, u""},
        {0x80, 0, 41, 3, u""},
        {0x80, 0x52, 42 | (uint64_t{7} << 48), 1, u"Zone.Identifier"},
    });
    std::vector<AttributeListEntry> entries;
    ASSERT_TRUE(ParseAttributeList(value, entries));
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].type, 0x10u);
    EXPECT_EQ(entries[1].SegmentRecordNumber(), 41u);
    EXPECT_EQ(entries[1].attributeId, 3);
    EXPECT_EQ(entries[2].startingVcn, 0x52u);
    EXPECT_EQ(entries[2].SegmentRecordNumber(), 42u);  // the sequence number is not part of it
    EXPECT_EQ(entries[2].name, u"Zone.Identifier");
}

TEST(AttributeList, EntriesAccumulateAcrossLists) {
    std::vector<AttributeListEntry> entries;
    ASSERT_TRUE(ParseAttributeList(test::EncodeAttributeList({{0x80, 0, 30, 1, u""}}), entries));
    ASSERT_TRUE(ParseAttributeList(test::EncodeAttributeList({{0x80, 9, 31, 1, u""}}), entries));
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[1].SegmentRecordNumber(), 31u);
}

TEST(AttributeList, EmptyValueGivesNothing) {
    std::vector<AttributeListEntry> entries;
    EXPECT_TRUE(ParseAttributeList({}, entries));
    EXPECT_TRUE(entries.empty());
}

TEST(AttributeList, DamagedEntriesStopTheListWithoutReadingPastIt) {
    auto value = test::EncodeAttributeList({{0x80, 0, 30, 1, u""}, {0x80, 0, 31, 2, u""}});
    std::vector<AttributeListEntry> entries;

    auto zeroLength = value;
    zeroLength[0x20 + 4] = 0, zeroLength[0x20 + 5] = 0;  // second entry of length 0
    EXPECT_FALSE(ParseAttributeList(zeroLength, entries));
    EXPECT_EQ(entries.size(), 1u);

    entries.clear();
    auto cut = value;
    cut.resize(0x20 + 0x10);  // second entry's head cut off
    EXPECT_FALSE(ParseAttributeList(cut, entries));
    EXPECT_EQ(entries.size(), 1u);

    entries.clear();
    auto longer = value;
    longer[0x20 + 4] = 0x40;  // claims to run past the value
    EXPECT_FALSE(ParseAttributeList(longer, entries));
    EXPECT_EQ(entries.size(), 1u);
}

}  // namespace
}  // namespace qv
