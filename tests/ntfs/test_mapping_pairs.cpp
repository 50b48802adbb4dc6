#include <gtest/gtest.h>

#include "ntfs/MappingPairs.h"
#include "ntfs/RunList.h"
#include "support/RecordBuilder.h"

namespace qv {
namespace {

std::vector<DataRun> Decode(std::vector<uint8_t> bytes, PairsStatus* status = nullptr,
                            uint64_t startVcn = 0) {
    std::vector<DataRun> runs;
    const PairsStatus s = DecodeMappingPairs(bytes, startVcn, runs);
    if (status) *status = s;
    return runs;
}

TEST(MappingPairs, DecodesAbsoluteAndRelativeRuns) {
    auto runs = Decode({0x21, 0x18, 0x34, 0x56, 0x00});
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].firstCluster, 0x5634u);
    EXPECT_EQ(runs[0].clusterCount, 0x18u);

    runs = Decode({0x11, 0x30, 0x60, 0x21, 0x10, 0x00, 0x01, 0x00});
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].firstCluster, 0x60u);
    EXPECT_EQ(runs[0].clusterCount, 0x30u);
    EXPECT_EQ(runs[1].firstCluster, 0x160u);
    EXPECT_EQ(runs[1].clusterCount, 0x10u);
    EXPECT_EQ(runs[1].vcn, 0x30u);
}

TEST(MappingPairs, OffsetsAreSignedAtEveryWidth) {
    // 0xF0 is -16 relative to 0x160.
    auto runs = Decode({0x21, 0x01, 0x60, 0x01, 0x11, 0x01, 0xF0, 0x00});
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[1].firstCluster, 0x150u);

    runs = Decode({0x21, 0x01, 0x00, 0x10, 0x21, 0x01, 0xFF, 0x7F, 0x00});
    EXPECT_EQ(runs[1].firstCluster, 0x1000u + 0x7FFF);
    runs = Decode({0x31, 0x01, 0x00, 0x00, 0x01, 0x21, 0x01, 0x00, 0x80, 0x00});
    EXPECT_EQ(runs[1].firstCluster, 0x10000u - 0x8000);
}

TEST(MappingPairs, ClusterNumbersBeyondThirtyTwoBitsAreKept) {
    // A volume of more than 2^32 clusters: a 5-byte offset and a negative 5-byte step back.
    auto runs = Decode({0x51, 0x02, 0x00, 0x00, 0x00, 0x00, 0x01,  // 2 clusters at 2^32
                        0x51, 0x03, 0x00, 0x00, 0x00, 0x00, 0x01,  // +2^32 → 2^33
                        0x51, 0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,  // -1 → 2^33 - 1
                        0x00});
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_EQ(runs[0].firstCluster, uint64_t{1} << 32);
    EXPECT_EQ(runs[1].firstCluster, uint64_t{1} << 33);
    EXPECT_EQ(runs[2].firstCluster, (uint64_t{1} << 33) - 1);
    // Lengths are 64-bit too.
    runs = Decode({0x05, 0x00, 0x00, 0x00, 0x00, 0x02, 0x00});
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_TRUE(runs[0].IsSparse());
    EXPECT_EQ(runs[0].clusterCount, uint64_t{2} << 32);
}

TEST(MappingPairs, SparseRunLeavesThePreviousClusterAlone) {
    auto runs = Decode({0x11, 0x04, 0x40, 0x01, 0x08, 0x11, 0x02, 0x10, 0x00});
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_TRUE(runs[1].IsSparse());
    EXPECT_EQ(runs[1].clusterCount, 8u);
    EXPECT_EQ(runs[2].firstCluster, 0x50u);  // relative to 0x40, not to the hole
    EXPECT_EQ(runs[2].vcn, 12u);
}

TEST(MappingPairs, EmptyAndEndMarker) {
    EXPECT_TRUE(Decode({0x00}).empty());
    EXPECT_TRUE(Decode({0xFF, 0xFF, 0xFF, 0xFF}).empty());
    EXPECT_TRUE(Decode({}).empty());
}

TEST(MappingPairs, HostileFieldsStopWithoutReadingPastTheBytes) {
    PairsStatus status;
    auto runs = Decode({0x11, 0x01, 0x10, 0x91, 0x01}, &status);  // a 9-byte offset field
    EXPECT_EQ(runs.size(), 1u);
    EXPECT_EQ(status, PairsStatus::kBadField);

    runs = Decode({0x11, 0x01, 0x10, 0x44, 0x01, 0x02}, &status);  // runs past the end
    EXPECT_EQ(runs.size(), 1u);
    EXPECT_EQ(status, PairsStatus::kTruncated);

    runs = Decode({0x11, 0x01, 0x10}, &status);  // no terminating 0
    EXPECT_EQ(runs.size(), 1u);
    EXPECT_EQ(status, PairsStatus::kTruncated);
}

TEST(MappingPairs, RoundTripsThroughTheEncoder) {
    const std::vector<test::RunSpec> specs = {
        {0x1000, 5}, {0, 11}, {0x20, 1}, {0x7FFFFFFFF, 300}, {0x10, 70000}};
    const auto runs = Decode(test::EncodeMappingPairs(specs));
    ASSERT_EQ(runs.size(), specs.size());
    uint64_t vcn = 0;
    for (size_t i = 0; i < specs.size(); ++i) {
        EXPECT_EQ(runs[i].firstCluster, specs[i].lcn) << i;
        EXPECT_EQ(runs[i].clusterCount, specs[i].length) << i;
        EXPECT_EQ(runs[i].vcn, vcn) << i;
        vcn += specs[i].length;
    }
}

TEST(RunList, ExtentsJoinInVcnOrderAndDuplicatesAreIgnored) {
    RunList list;
    list.SetSizes(10 * 4096, 10 * 4096, 10 * 4096);
    const auto second = test::EncodeMappingPairs({{0x300, 4}});
    const auto first = test::EncodeMappingPairs({{0x100, 6}});
    list.AddExtent(second, 6);  // a later extent met first
    list.AddExtent(first, 0);
    list.AddExtent(second, 6);  // the same extent again
    ASSERT_EQ(list.Runs().size(), 2u);
    EXPECT_EQ(list.Runs()[0].firstCluster, 0x100u);
    EXPECT_EQ(list.Runs()[1].firstCluster, 0x300u);
    EXPECT_EQ(list.ClusterTotal(), 10u);
}

TEST(RunList, TotalSizeComesFromTheFirstExtentOrFromTheClusters) {
    RunList known;
    known.SetSizes(0, 0, 8192);  // an empty file that still owns clusters
    known.AddExtent(test::EncodeMappingPairs({{0x100, 2}}), 0);
    EXPECT_EQ(known.TotalSize(4096), 0u);

    RunList unknown;  // only later extents seen: size unknown
    unknown.AddRun(0x10, 3);
    unknown.AddRun(0x20, 5);
    EXPECT_EQ(unknown.TotalSize(4096), 32768u);

    RunList resident;
    resident.AddResident(std::vector<uint8_t>(37, 1));
    EXPECT_EQ(resident.TotalSize(4096), 37u);
    EXPECT_TRUE(resident.IsResident());
}

TEST(RunList, SparseUnitWithoutCompressedFlagIsPlain) {
    RunList sparse;
    sparse.SetCompression(4, false);
    EXPECT_FALSE(sparse.IsCompressed());
    RunList compressed;
    compressed.SetCompression(4, true);
    compressed.AddRun(0x10, 16);
    EXPECT_TRUE(compressed.IsCompressed());
    EXPECT_EQ(compressed.ClustersPerUnit(), 16u);
    RunList noUnit;
    noUnit.SetCompression(0, true);
    EXPECT_FALSE(noUnit.IsCompressed());
}

}  // namespace
}  // namespace qv
