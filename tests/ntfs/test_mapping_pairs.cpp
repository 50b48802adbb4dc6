#include <gtest/gtest.h>

#include "ntfs/MappingPairs.h"
#include "ntfs/RunList.h"
#include "support/RecordBuilder.h"

namespace qv {
namespace {

using test::RunSpec;

TEST(MappingPairs, DecodesRelativeSignedOffsetsOfEveryWidthAndKeepsTheirVcns) {
    const std::vector<RunSpec> encoded = {
        {0x1000, 5}, {0, 11}, {0x20, 1}, {0x7FFFFFFFF, 300}, {0x10, 70000}};
    using enum PairsStatus;
    const struct {
        const char* what;
        std::vector<uint8_t> pairs;
        std::vector<RunSpec> runs;  // lcn 0: sparse
        PairsStatus status = kOk;
    } cases[] = {
        {"back by 16", {0x21, 0x01, 0x60, 0x01, 0x11, 0x01, 0xF0, 0x00}, {{0x160, 1}, {0x150, 1}}},
        {"on by 0x7FFF", {0x21, 1, 0, 0x10, 0x21, 1, 0xFF, 0x7F, 0}, {{0x1000, 1}, {0x8FFF, 1}}},
        {"back by 0x8000", {0x31, 1, 0, 0, 1, 0x21, 1, 0, 0x80, 0}, {{0x10000, 1}, {0x8000, 1}}},
        // A volume of more than 2^32 clusters: 5-byte offsets, and a step back of one.
        {"past 2^32",
         {0x51, 0x02, 0,    0,    0,    0,    0x01, 0x51, 0x03, 0,    0,
          0,    0,    0x01, 0x51, 0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00},
         {{uint64_t{1} << 32, 2}, {uint64_t{1} << 33, 3}, {(uint64_t{1} << 33) - 1, 1}}},
        {"a sparse run of 2^33 clusters", {0x05, 0, 0, 0, 0, 0x02, 0}, {{0, uint64_t{2} << 32}}},
        {"the encoder's", test::EncodeMappingPairs(encoded), encoded},
        {"empty", {0x00}, {}},
        {"the attribute end marker", {0xFF, 0xFF, 0xFF, 0xFF}, {}},
        {"no pairs at all", {}, {}},
        {"a 9-byte offset", {0x11, 0x01, 0x10, 0x91, 0x01}, {{0x10, 1}}, kBadField},
        {"a pair past the end", {0x11, 0x01, 0x10, 0x44, 0x01, 0x02}, {{0x10, 1}}, kTruncated},
        {"no terminating 0", {0x11, 0x01, 0x10}, {{0x10, 1}}, kTruncated},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<DataRun> runs;
        EXPECT_EQ(DecodeMappingPairs(c.pairs, 7, runs), c.status);
        ASSERT_EQ(runs.size(), c.runs.size());
        uint64_t vcn = 7;
        for (size_t i = 0; i < runs.size(); ++i) {
            EXPECT_EQ(runs[i].firstCluster, c.runs[i].lcn) << i;
            EXPECT_EQ(runs[i].IsSparse(), c.runs[i].lcn == 0) << i;
            EXPECT_EQ(runs[i].clusterCount, c.runs[i].length) << i;
            EXPECT_EQ(runs[i].vcn, vcn) << i;
            vcn += c.runs[i].length;
        }
    }
}

TEST(RunList, ExtentsJoinInVcnOrderOnceAndTheSizeComesFromTheFirst) {
    RunList list;
    list.SetSizes(0, 0, 10 * 4096);  // an empty file that still owns clusters
    const auto second = test::EncodeMappingPairs({{0x300, 4}});
    list.AddExtent(second, 6);  // a later extent met first
    list.AddExtent(test::EncodeMappingPairs({{0x100, 6}}), 0);
    list.AddExtent(second, 6);  // the same extent again
    ASSERT_EQ(list.Runs().size(), 2u);
    EXPECT_EQ(list.Runs()[0].firstCluster, 0x100u);
    EXPECT_EQ(list.Runs()[1].firstCluster, 0x300u);
    EXPECT_EQ(list.ClusterTotal(), 10u);
    EXPECT_EQ(list.TotalSize(4096), 0u);

    RunList unknown;  // only later extents seen: the size is what the clusters hold
    unknown.AddRun(0x10, 3);
    unknown.AddRun(0x20, 5);
    EXPECT_EQ(unknown.TotalSize(4096), 32768u);
    RunList resident;
    resident.AddResident(std::vector<uint8_t>(37, 1));
    EXPECT_EQ(resident.TotalSize(4096), 37u);
}

}  // namespace
}  // namespace qv
