#include <gtest/gtest.h>

#include "ntfs/AttributeList.h"
#include "support/RecordBuilder.h"

namespace qv {
namespace {

TEST(AttributeList, EntriesInOrderWithTheirNamesAppendedToWhatWasThere) {
    std::vector<AttributeListEntry> entries;
    ASSERT_TRUE(ParseAttributeList(test::EncodeAttributeList({{0x10, 0, 40, 0, u""}}), entries));
    const auto two = test::EncodeAttributeList(
        {{0x80, 0, 41, 3, u""}, {0x80, 0x52, 42 | (uint64_t{7} << 48), 1, u"Zone.Identifier"}});
    ASSERT_TRUE(ParseAttributeList(two, entries));
    ASSERT_TRUE(ParseAttributeList({}, entries));  // an empty value adds nothing
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].type, 0x10u);
    EXPECT_EQ(entries[1].SegmentRecordNumber(), 41u);
    EXPECT_EQ(entries[1].attributeId, 3);
    EXPECT_EQ(entries[2].startingVcn, 0x52u);
    EXPECT_EQ(entries[2].SegmentRecordNumber(), 42u);  // the sequence number is not part of it
    EXPECT_EQ(entries[2].name, u"Zone.Identifier");
}

TEST(AttributeList, ADamagedEntryStopsTheListWithoutReadingPastIt) {
    const auto value = test::EncodeAttributeList({{0x80, 0, 30, 1, u""}, {0x80, 0, 31, 2, u""}});
    // The value cut to a size; the second entry's length (0xFFFF: as encoded).
    const std::tuple<const char*, size_t, uint16_t> cases[] = {
        {"length 0", value.size(), 0},
        {"head cut off", 0x20 + 0x10, 0xFFFF},
        {"runs past the value", value.size(), 0x40},
        {"shorter than its head", value.size(), 0x18}};
    for (const auto& [what, size, secondLength] : cases) {
        std::vector<uint8_t> bytes(value.begin(), value.begin() + size);
        if (secondLength != 0xFFFF) Store16(bytes.data() + 0x20 + 4, secondLength);
        std::vector<AttributeListEntry> entries;
        EXPECT_FALSE(ParseAttributeList(bytes, entries)) << what;
        ASSERT_EQ(entries.size(), 1u) << what;
        EXPECT_EQ(entries[0].SegmentRecordNumber(), 30u);
    }
}

}  // namespace
}  // namespace qv
