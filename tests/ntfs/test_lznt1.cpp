#include <gtest/gtest.h>

#include <string>

#include "app/ErrorCodes.h"
#include "ntfs/Lznt1.h"
#include "support/Lznt1Encoder.h"
#include "support/VolumeImage.h"

namespace qv {
namespace {

std::vector<uint8_t> Text(size_t n) {
    const std::string words = "the quick brown fox jumps over the lazy dog; ";
    std::vector<uint8_t> out;
    for (size_t i = 0; out.size() < n; ++i) {
        out.insert(out.end(), words.begin(), words.end());
        out.push_back(static_cast<uint8_t>('0' + i % 10));
    }
    out.resize(n);
    return out;
}

std::vector<uint8_t> Decode(const std::vector<uint8_t>& unit, size_t capacity, int32_t* n) {
    std::vector<uint8_t> out(capacity, 0xEE);
    *n = DecompressUnit(unit, out);
    if (*n >= 0) out.resize(static_cast<size_t>(*n));
    return out;
}

TEST(Lznt1, RoundTripsTextRandomAndMixedUnits) {
    for (const auto& data : {Text(65536), test::PatternBytes(65536, 3), Text(10000), [] {
                                 auto v = Text(30000);
                                 auto r = test::PatternBytes(20000, 9);
                                 v.insert(v.end(), r.begin(), r.end());
                                 return v;
                             }()}) {
        const auto unit = test::Lznt1Compress(data);
        int32_t n;
        auto out = Decode(unit, 65536, &n);
        ASSERT_GE(n, 0);
        // Stored chunks always produce 4096 bytes; compare what the data covers.
        ASSERT_GE(out.size(), data.size());
        out.resize(data.size());
        EXPECT_EQ(out, data);
    }
}

TEST(Lznt1, DisplacementWidthGrowsWithThePosition) {
    // After 16 bytes a token has 4 displacement bits; after 17, 5.
    std::vector<uint8_t> data = test::PatternBytes(17, 1);
    data.insert(data.end(), data.begin(), data.begin() + 17);  // a copy 17 back
    const auto unit = test::Lznt1Compress(data);
    int32_t n;
    auto out = Decode(unit, 4096, &n);
    ASSERT_EQ(n, 34);
    EXPECT_EQ(out, data);
}

TEST(Lznt1, OverlappingCopyRepeatsBytesJustWritten) {
    // "a" then a back-reference of length 10 at displacement 1.
    std::vector<uint8_t> chunk = {0b10, 'a', 0x07, 0x00};  // token: disp 1, length 7+3
    std::vector<uint8_t> unit = {static_cast<uint8_t>(chunk.size() - 1), 0xB0};
    unit.insert(unit.end(), chunk.begin(), chunk.end());
    int32_t n;
    auto out = Decode(unit, 4096, &n);
    ASSERT_EQ(n, 11);
    EXPECT_EQ(out, std::vector<uint8_t>(11, 'a'));
}

TEST(Lznt1, ZeroHeaderEndsTheUnit) {
    int32_t n;
    Decode({0x00, 0x00, 0x41, 0x42}, 4096, &n);
    EXPECT_EQ(n, 0);
    Decode({}, 4096, &n);
    EXPECT_EQ(n, 0);
}

TEST(Lznt1, ChunkLyingBeyondTheUnitDataIsIgnoredButAnOverrunOfOneOrTwoFails) {
    auto unit = test::Lznt1Compress(Text(4096));
    const size_t chunk = unit.size();
    int32_t n;
    Decode(std::vector<uint8_t>(unit.begin(), unit.begin() + chunk - 3), 4096, &n);
    EXPECT_EQ(n, 0);  // three bytes short: beyond the data
    Decode(std::vector<uint8_t>(unit.begin(), unit.begin() + chunk - 1), 4096, &n);
    EXPECT_EQ(n, kErrDecompress);
    Decode(std::vector<uint8_t>(unit.begin(), unit.begin() + chunk - 2), 4096, &n);
    EXPECT_EQ(n, kErrDecompress);
}

TEST(Lznt1, BackReferenceBeforeTheChunkFails) {
    std::vector<uint8_t> unit = {0x02, 0xB0, 0x01, 0x00, 0x00};  // token first: nothing to copy
    int32_t n;
    Decode(unit, 4096, &n);
    EXPECT_EQ(n, kErrDecompress);
    // Displacement 3 after one literal.
    unit = {0x03, 0xB0, 0x02, 'x', 0x00, 0x20};
    Decode(unit, 4096, &n);
    EXPECT_EQ(n, kErrDecompress);
}

TEST(Lznt1, OutputNeverPassesCapacity) {
    const auto unit = test::Lznt1Compress(Text(8192));
    int32_t n;
    Decode(unit, 5000, &n);  // the second chunk does not fit
    EXPECT_EQ(n, kErrDecompress);
    const auto stored = test::Lznt1Compress(test::PatternBytes(8192, 4), true);
    Decode(stored, 4096 + 100, &n);
    EXPECT_EQ(n, kErrDecompress);
}

TEST(Lznt1, TokenCutInHalfFails) {
    std::vector<uint8_t> unit = {0x01, 0xB0, 0x01, 0x05};  // flag says token, one byte left
    int32_t n;
    Decode(unit, 4096, &n);
    EXPECT_EQ(n, kErrDecompress);
}

TEST(Lznt1, StoredChunkWithoutSignatureBitDoesNotAdvance) {
    std::vector<uint8_t> unit = {0x02, 0x00, 'a', 'b', 'c'};  // stored, bit 12 clear
    int32_t n;
    Decode(unit, 4096, &n);
    EXPECT_EQ(n, 0);
}

}  // namespace
}  // namespace qv
