#include <gtest/gtest.h>

#include "ntfs/Fixup.h"
#include "support/RecordBuilder.h"

namespace qv {
namespace {

using test::RecordBuilder;

TEST(Fixup, RestoresTheLastWordOfEveryBlockAndNeverTheNumberItself) {
    std::vector<uint8_t> image = RecordBuilder().UpdateSequenceNumber(0xABCD).Build();
    image[510] = 0xCD, image[511] = 0xAB;  // as on disk: the number at each block end
    // The saved words are what the blocks really end in.
    image[0x32] = 0x11, image[0x33] = 0x22;
    image[0x34] = 0x33, image[0x35] = 0x44;
    const FixupResult r = ApplyFixups(image);
    EXPECT_EQ(r.applied, 2u);
    EXPECT_EQ(r.mismatches, 0u);
    EXPECT_EQ(image[510], 0x11);
    EXPECT_EQ(image[511], 0x22);
    EXPECT_EQ(image[1022], 0x33);
    EXPECT_EQ(image[1023], 0x44);
    EXPECT_EQ(image[0x30], 0xCD);  // the number stays where it is
}

TEST(Fixup, TornRecordIsRestoredAndCounted) {
    std::vector<uint8_t> image = RecordBuilder().UpdateSequenceNumber(5).Build();
    image[1022] = 0x99;  // second block was written by another update
    const FixupResult r = ApplyFixups(image);
    EXPECT_EQ(r.applied, 2u);
    EXPECT_EQ(r.mismatches, 1u);
}

TEST(Fixup, FourKilobyteRecordUsesEveryFiveHundredTwelveBytes) {
    // mkntfs -s 4096: 4096-byte records with an update sequence count of 9.
    std::vector<uint8_t> image(4096, 0);
    image[4] = 0x30, image[6] = 9;
    image[0x30] = 0x01;
    for (int i = 0; i < 8; ++i) {
        image[0x32 + 2 * i] = static_cast<uint8_t>(0xA0 + i);
        image[(i + 1) * 512 - 2] = 0x01;
    }
    const FixupResult r = ApplyFixups(image);
    EXPECT_EQ(r.applied, 8u);
    EXPECT_EQ(r.mismatches, 0u);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(image[(i + 1) * 512 - 2], 0xA0 + i) << "block " << i;
}

TEST(Fixup, CountIsBoundedByTheRecordAndTheArray) {
    std::vector<uint8_t> image(1024, 0);
    image[4] = 0x30, image[6] = 200;  // a count claiming far more blocks than the record has
    EXPECT_EQ(ApplyFixups(image).applied, 2u);

    std::vector<uint8_t> edge(1024, 0);
    edge[4] = 0xFC, edge[5] = 0x03;  // array at 1020: the number and one saved word fit
    edge[6] = 3;
    const FixupResult r = ApplyFixups(edge);
    EXPECT_TRUE(r.arrayOutside);
    EXPECT_EQ(r.applied, 1u);

    std::vector<uint8_t> outside(1024, 0);
    outside[4] = 0xFF, outside[5] = 0xFF, outside[6] = 3;
    EXPECT_EQ(ApplyFixups(outside).applied, 0u);
    EXPECT_TRUE(ApplyFixups(outside).arrayOutside);
}

}  // namespace
}  // namespace qv
