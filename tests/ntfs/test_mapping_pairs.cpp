#include <gtest/gtest.h>

#include "ntfs/MappingPairs.h"
#include "ntfs/RunList.h"
#include "support/RecordBuilder.h"

namespace qv {
namespace {

using test::RunSpec;

TEST(MappingPairs, DecodesRelativeSignedOffsetsOfEveryWidthAndKeepsTheirVcns) {
    const struct {
        const char* what;
        std::vector<uint8_t> pairs;
        std::vector<RunSpec> runs;  // lcn 0: sparse
        PairsStatus status;
    } cases[] = {
        {"one run", {0x21, 0x18, 0x34, 0x56, 0x00}, {{0x5634, 0x18}}, PairsStatus::kOk},
        {"relative",
         {0x11, 0x30, 0x60, 0x21, 0x10, 0x00, 0x01, 0x00},
         {{0x60, 0x30}, {0x160, 0x10}},
         PairsStatus::kOk},
        {"back by 16",
         {0x21, 0x01, 0x60, 0x01, 0x11, 0x01, 0xF0, 0x00},
         {{0x160, 1}, {0x150, 1}},
         PairsStatus::kOk},
        {"on by 0x7FFF",
         {0x21, 0x01, 0x00, 0x10, 0x21, 0x01, 0xFF, 0x7F, 0x00},
         {{0x1000, 1}, {0x8FFF, 1}},
         PairsStatus::kOk},
        {"back by 0x8000",
         {0x31, 0x01, 0x00, 0x00, 0x01, 0x21, 0x01, 0x00, 0x80, 0x00},
         {{0x10000, 1}, {0x8000, 1}},
         PairsStatus::kOk},
        // A volume of more than 2^32 clusters: 5-byte offsets, and a step back of one.
        {"past 2^32",
         {0x51, 0x02, 0,    0,    0,    0,    0x01, 0x51, 0x03, 0,    0,
          0,    0,    0x01, 0x51, 0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00},
         {{uint64_t{1} << 32, 2}, {uint64_t{1} << 33, 3}, {(uint64_t{1} << 33) - 1, 1}},
         PairsStatus::kOk},
        {"a sparse run of 2^33 clusters",
         {0x05, 0x00, 0x00, 0x00, 0x00, 0x02, 0x00},
         {{0, uint64_t{2} << 32}},
         PairsStatus::kOk},
        // The run after a hole is relative to the run before it.
        {"sparse between",
         {0x11, 0x04, 0x40, 0x01, 0x08, 0x11, 0x02, 0x10, 0x00},
         {{0x40, 4}, {0, 8}, {0x50, 2}},
         PairsStatus::kOk},
        {"empty", {0x00}, {}, PairsStatus::kOk},
        {"the attribute end marker", {0xFF, 0xFF, 0xFF, 0xFF}, {}, PairsStatus::kOk},
        {"no pairs at all", {}, {}, PairsStatus::kOk},
        {"a 9-byte offset", {0x11, 0x01, 0x10, 0x91, 0x01}, {{0x10, 1}}, PairsStatus::kBadField},
        {"a pair past the end",
         {0x11, 0x01, 0x10, 0x44, 0x01, 0x02},
         {{0x10, 1}},
         PairsStatus::kTruncated},
        {"no terminating 0", {0x11, 0x01, 0x10}, {{0x10, 1}}, PairsStatus::kTruncated},
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

TEST(MappingPairs, RoundTripThroughTheEncoder) {
    const std::vector<RunSpec> specs = {
        {0x1000, 5}, {0, 11}, {0x20, 1}, {0x7FFFFFFFF, 300}, {0x10, 70000}};
    std::vector<DataRun> runs;
    ASSERT_EQ(DecodeMappingPairs(test::EncodeMappingPairs(specs), 0, runs), PairsStatus::kOk);
    ASSERT_EQ(runs.size(), specs.size());
    for (size_t i = 0; i < specs.size(); ++i) {
        EXPECT_EQ(runs[i].firstCluster, specs[i].lcn) << i;
        EXPECT_EQ(runs[i].clusterCount, specs[i].length) << i;
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
    EXPECT_TRUE(resident.IsResident());
}

TEST(RunList, OnlyTheCompressedFlagWithAUnitMeansLznt1) {
    const struct {
        uint16_t unit;
        bool flag, compressed;
    } cases[] = {{4, false, false}, {4, true, true}, {0, true, false}};
    for (const auto& c : cases) {
        RunList list;
        list.SetCompression(c.unit, c.flag);
        list.AddRun(0x10, 16);
        EXPECT_EQ(list.IsCompressed(), c.compressed) << c.unit << c.flag;
    }
}

}  // namespace
}  // namespace qv
