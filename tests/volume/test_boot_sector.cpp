#include <gtest/gtest.h>

#include "support/VolumeImage.h"
#include "volume/BootSector.h"

namespace qv {
namespace {

std::optional<BootParameters> Parse(const std::vector<uint8_t>& s, std::string* why = nullptr) {
    return BootParameters::Parse(std::span<const uint8_t, 512>(s.data(), 512), why);
}

TEST(BootSector, GeometryFromTheSectorsPerClusterAndRecordBytes) {
    const struct {
        uint16_t sector;
        uint8_t spc, record;
        uint32_t cluster, recordSize;  // 0: refused
        const char* why;               // what the refusal names
        size_t pokeAt = 0;             // a byte set to `poke`, if not 0
        uint8_t poke = 0;
    } cases[] = {
        {512, 8, 0xF6, 4096, 1024, ""},
        {4096, 1, 0x01, 4096, 4096, ""},  // mkntfs -s 4096: one cluster per record
        {512, 1, 0xF6, 512, 1024, ""},
        {512, 2, 0x01, 1024, 1024, ""},
        {512, 0xF8, 0xF6, 128u << 10, 1024, ""},  // 2^8 sectors, stored as a power
        {512, 0x80, 0xF6, 64u << 10, 1024, ""},   // 0x80 is a count: 128 sectors
        {4096, 0xF4, 0xF6, 0, 0, "2 MiB"},        // 16 MiB clusters
        {500, 8, 0xF6, 0, 0, "bytes per sector"},
        {8192, 1, 0xF6, 0, 0, "bytes per sector"},
        {128, 8, 0xF6, 0, 0, "bytes per sector"},
        {512, 0, 0xF6, 0, 0, "sectors per cluster"},
        {512, 8, 0x00, 0, 0, "record size"},
        {512, 8, 0xF6, 0, 0, "signature", 3, 'F'},  // a FAT boot sector
        {512, 8, 0xF6, 0, 0, "end marker", 511, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.sector << " " << int{c.spc} << " " << int{c.record});
        std::string why;
        auto sector = test::MakeBootSector(c.sector, c.spc, 786432, c.record);
        if (c.pokeAt) sector[c.pokeAt] = c.poke;
        const auto b = Parse(sector, &why);
        ASSERT_EQ(b.has_value(), c.cluster != 0) << why;
        if (!b) {
            EXPECT_NE(why.find(c.why), std::string::npos) << why;
            continue;
        }
        EXPECT_EQ(b->clusterSize, c.cluster);
        EXPECT_EQ(b->recordSize, c.recordSize);
        EXPECT_EQ(b->mftCluster, 786432u);
    }
    EXPECT_FALSE(Parse(std::vector<uint8_t>(512, 0)));  // a whole-disk image's MBR
}

}  // namespace
}  // namespace qv
