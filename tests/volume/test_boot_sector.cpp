#include <gtest/gtest.h>

#include "support/VolumeImage.h"
#include "volume/BootSector.h"

namespace qv {
namespace {

std::optional<BootParameters> Parse(const std::vector<uint8_t>& s, std::string* why = nullptr) {
    return BootParameters::Parse(std::span<const uint8_t, 512>(s.data(), 512), why);
}

TEST(BootSector, OrdinaryGeometry) {
    auto b = Parse(test::MakeBootSector(512, 8, 786432, 0xF6));
    ASSERT_TRUE(b);
    EXPECT_EQ(b->clusterSize, 4096u);
    EXPECT_EQ(b->recordSize, 1024u);
    EXPECT_EQ(b->mftCluster, 786432u);
}

TEST(BootSector, RecordSizeComesFromTheBootSector) {
    // mkntfs -s 4096: clusters per record 1 with 4096-byte clusters.
    auto b = Parse(test::MakeBootSector(4096, 1, 4, 0x01));
    ASSERT_TRUE(b);
    EXPECT_EQ(b->recordSize, 4096u);
    b = Parse(test::MakeBootSector(512, 1, 4, 0xF6));  // 512-byte clusters, 1024-byte records
    ASSERT_TRUE(b);
    EXPECT_EQ(b->recordSize, 1024u);
    EXPECT_EQ(b->clusterSize, 512u);
    b = Parse(test::MakeBootSector(512, 2, 4, 0x01));  // one 1 KiB cluster per record
    ASSERT_TRUE(b);
    EXPECT_EQ(b->recordSize, 1024u);
}

TEST(BootSector, LargeClustersStoreTheirSectorCountAsAPower) {
    auto b = Parse(test::MakeBootSector(512, 0xF4, 170, 0xF6));  // 2^12 sectors: 2 MiB
    ASSERT_TRUE(b);
    EXPECT_EQ(b->clusterSize, 2u << 20);
    EXPECT_EQ(b->recordSize, 1024u);
    b = Parse(test::MakeBootSector(512, 0xF8, 4, 0xF6));  // 2^8 sectors: 128 KiB
    ASSERT_TRUE(b);
    EXPECT_EQ(b->clusterSize, 128u << 10);
    EXPECT_FALSE(Parse(test::MakeBootSector(4096, 0xF4, 4, 0xF6)));  // 16 MiB: not NTFS
    b = Parse(test::MakeBootSector(512, 0x80, 4, 0xF6));             // 0x80 is 128 sectors: 64 KiB
    ASSERT_TRUE(b);
    EXPECT_EQ(b->clusterSize, 64u << 10);
}

TEST(BootSector, RefusesWhatIsNotAnNtfsBootSector) {
    std::string why;
    auto s = test::MakeBootSector(512, 8, 4);
    s[3] = 'F';  // a FAT boot sector, say
    EXPECT_FALSE(Parse(s, &why));
    EXPECT_NE(why.find("signature"), std::string::npos);

    s = test::MakeBootSector(512, 8, 4);
    s[511] = 0;
    EXPECT_FALSE(Parse(s));
    EXPECT_FALSE(Parse(test::MakeBootSector(500, 8, 4)));
    EXPECT_FALSE(Parse(test::MakeBootSector(8192, 1, 4)));
    EXPECT_FALSE(Parse(test::MakeBootSector(128, 8, 4)));
    EXPECT_FALSE(Parse(test::MakeBootSector(512, 0, 4)));
    EXPECT_FALSE(Parse(test::MakeBootSector(512, 8, 4, 0x00)));  // no record size
    EXPECT_FALSE(Parse(std::vector<uint8_t>(512, 0)));           // a whole-disk image's MBR
}

}  // namespace
}  // namespace qv
