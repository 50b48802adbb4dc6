#include <gtest/gtest.h>

#include <string>

#include "ntfs/Lznt1.h"
#include "support/Lznt1Encoder.h"
#include "support/VolumeImage.h"

namespace qv {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Text(size_t n) {
    const std::string words = "the quick brown fox jumps over the lazy dog; ";
    Bytes out;
    for (size_t i = 0; out.size() < n; ++i) {
        out.insert(out.end(), words.begin(), words.end());
        out.push_back(static_cast<uint8_t>('0' + i % 10));
    }
    out.resize(n);
    return out;
}

// The encoder's units decode through CopyRecordData (test_data_copy.cpp) and our images' compressed
// files copy byte-exact against The Sleuth Kit (Volumes.*): here, units made by hand.
TEST(Lznt1, HandMadeUnitsDecodeAsTheFormatSaysOrFail) {
    const Bytes textUnit = test::Lznt1Compress(Text(4096));
    ASSERT_GT(textUnit.size(), 3u);
    const Bytes stored = test::Lznt1Compress(test::PatternBytes(8192, 4), true);  // 2 chunks
    const auto cut = [&](size_t n) { return Bytes(textUnit.begin(), textUnit.end() - n); };
    const struct {
        const char* what;
        Bytes unit;
        int32_t produced;
        Bytes expected = {};  // checked when produced > 0
        size_t capacity = 4096;
    } cases[] = {
        // "a", then a back-reference of length 10 at displacement 1: it repeats what it writes.
        {"overlapping copy", {0x03, 0xB0, 0b10, 'a', 0x07, 0x00}, 11, Bytes(11, 'a')},
        {"a zero header ends the unit", {0x00, 0x00, 0x41, 0x42}, 0},
        {"nothing", {}, 0},
        {"a chunk beyond the data is ignored", cut(3), 0},
        {"a chunk over the unit by one", cut(1), kErrDecompress},
        {"a chunk over the unit by two", cut(2), kErrDecompress},
        {"a token first", {0x02, 0xB0, 0x01, 0x00, 0x00}, kErrDecompress},
        {"displacement 3 after one literal", {0x03, 0xB0, 0x02, 'x', 0x00, 0x20}, kErrDecompress},
        {"a token cut in half", {0x01, 0xB0, 0x01, 0x05}, kErrDecompress},
        {"a second chunk without room", test::Lznt1Compress(Text(8192)), kErrDecompress, {}, 5000},
        {"a stored chunk without room", stored, kErrDecompress, {}, 4096 + 100},
        {"a stored chunk without the signature bit", {0x02, 0x00, 'a', 'b', 'c'}, 0},
    };
    for (const auto& c : cases) {
        Bytes out(c.capacity, 0xEE);
        EXPECT_EQ(DecompressUnit(c.unit, out), c.produced) << c.what;
        EXPECT_EQ(Bytes(out.begin(), out.begin() + std::max(c.produced, 0)), c.expected) << c.what;
    }
}

}  // namespace
}  // namespace qv
