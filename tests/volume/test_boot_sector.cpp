#include <gtest/gtest.h>

#include "support/VolumeImage.h"
#include "volume/BootSector.h"

namespace qv {
namespace {

std::optional<BootParameters> Parse(const std::vector<uint8_t>& s, std::string* why = nullptr) {
    return BootParameters::Parse(std::span<const uint8_t, 512>(s.data(), 512), why);
}

TEST(BootSector, GeometryFromTheSectorsPerClusterAndRecordBytes) {
    // Bytes per sector, the sectors per cluster and record bytes; the cluster and record size (0:
    // refused) or what the refusal names; a byte set to a value (at 0: none).
    const std::tuple<uint16_t, uint8_t, uint8_t, uint32_t, uint32_t, const char*, size_t, uint8_t>
        cases[] = {
            {512, 8, 0xF6, 4096, 1024, "", 0, 0},
            {4096, 1, 0x01, 4096, 4096, "", 0, 0},  // mkntfs -s 4096: one cluster per record
            {512, 1, 0xF6, 512, 1024, "", 0, 0},
            {512, 2, 0x01, 1024, 1024, "", 0, 0},
            {512, 0xF8, 0xF6, 128u << 10, 1024, "", 0, 0},  // 2^8 sectors, stored as a power
            {512, 0x80, 0xF6, 64u << 10, 1024, "", 0, 0},   // 0x80 is a count: 128 sectors
            {4096, 0xF4, 0xF6, 0, 0, "2 MiB", 0, 0},        // 16 MiB clusters
            {500, 8, 0xF6, 0, 0, "bytes per sector", 0, 0},
            {8192, 1, 0xF6, 0, 0, "bytes per sector", 0, 0},
            {128, 8, 0xF6, 0, 0, "bytes per sector", 0, 0},
            {512, 0, 0xF6, 0, 0, "sectors per cluster", 0, 0},
            {512, 8, 0x00, 0, 0, "record size", 0, 0},
            {512, 8, 0xF6, 0, 0, "signature", 3, 'F'},  // a FAT boot sector
            {512, 8, 0xF6, 0, 0, "end marker", 511, 0},
        };
    for (const auto& [sectorSize, spc, record, cluster, recordSize, why, pokeAt, poke] : cases) {
        SCOPED_TRACE(testing::Message() << sectorSize << " " << int{spc} << " " << int{record});
        std::string refusal;
        auto sector = test::MakeBootSector(sectorSize, spc, 786432, record);
        if (pokeAt) sector[pokeAt] = poke;
        const auto b = Parse(sector, &refusal);
        ASSERT_EQ(b.has_value(), cluster != 0) << refusal;
        if (!b) {
            EXPECT_NE(refusal.find(why), std::string::npos) << refusal;
            continue;
        }
        EXPECT_EQ(b->clusterSize, cluster);
        EXPECT_EQ(b->recordSize, recordSize);
        EXPECT_EQ(b->mftCluster, 786432u);
    }
    EXPECT_FALSE(Parse(std::vector<uint8_t>(512, 0)));  // a whole-disk image's MBR
}

}  // namespace
}  // namespace qv
