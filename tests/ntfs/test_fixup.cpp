#include <gtest/gtest.h>

#include "ntfs/Fixup.h"

namespace qv {
namespace {

using Bytes = std::vector<uint8_t>;

// A record of `size` bytes whose update sequence array (at 0x30, `count` words) saves the word
// 0xA0+i of block i, every block ending in the number 0x0101 as on disk.
Bytes Protected(size_t size, uint16_t count, uint16_t arrayAt = 0x30) {
    Bytes image(size, 0);
    Store16(image.data() + 4, arrayAt);
    Store16(image.data() + 6, count);
    if (arrayAt + 2u * count > size) return image;
    Store16(image.data() + arrayAt, 0x0101);
    for (size_t i = 0; i + 1 < count && (i + 1) * 512 <= size; ++i) {
        Store16(image.data() + arrayAt + 2 + 2 * i, static_cast<uint16_t>(0xA0 + i));
        Store16(image.data() + (i + 1) * 512 - 2, 0x0101);
    }
    return image;
}

TEST(Fixup, RestoresTheLastWordOfEveryBlockBoundedByTheCountTheRecordAndTheArray) {
    // The image, a byte changed in it (0: none); blocks restored, mismatches, array outside.
    const std::tuple<const char*, Bytes, size_t, uint32_t, uint32_t, bool> cases[] = {
        {"1 KiB record", Protected(1024, 3), 0, 2, 0, false},
        {"4 KiB record (mkntfs -s 4096)", Protected(4096, 9), 0, 8, 0, false},
        {"torn: a block from another write", Protected(1024, 3), 1022, 2, 1, false},
        {"a count far past the record", Protected(1024, 200), 0, 2, 0, false},
        {"the array at the record's end", Protected(1024, 3, 1020), 0, 1, 0, true},
        {"the array outside", Protected(1024, 3, 0xFFFF), 0, 0, 0, true},
    };
    for (auto [what, image, tornAt, applied, mismatches, outside] : cases) {
        SCOPED_TRACE(what);
        if (tornAt) image[tornAt] = 0x99;
        const FixupResult r = ApplyFixups(image);
        EXPECT_EQ(r.applied, applied);
        EXPECT_EQ(r.mismatches, mismatches);
        EXPECT_EQ(r.arrayOutside, outside);
        if (outside) continue;
        for (uint32_t i = 0; i < applied; ++i)
            EXPECT_EQ(Load16(image.data() + (i + 1) * 512 - 2), 0xA0 + i) << "block " << i;
        EXPECT_EQ(Load16(image.data() + 0x30), 0x0101);  // the number stays where it is
    }
}

}  // namespace
}  // namespace qv
