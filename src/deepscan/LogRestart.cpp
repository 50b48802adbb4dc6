#include "deepscan/LogRestart.h"

#include <algorithm>
#include <vector>

#include "base/Error.h"
#include "deepscan/LogFormat.h"
#include "ntfs/Fixup.h"

namespace qv {

namespace {

using namespace logfmt;

constexpr size_t kPageHeaderEnd = 0x28;  // the update sequence array follows the page header
constexpr uint32_t kRestartAreaNeeded = 0x28;

bool IsPowerOfTwo(uint32_t v) {
    return v != 0 && (v & (v - 1)) == 0;
}

// The smallest data offset a page of this size can have: its header and an update sequence
// array of one word per 512-byte block plus the number, 8-byte aligned.
uint32_t MinDataOffset(uint32_t pageSize) {
    return static_cast<uint32_t>(Align8(kPageHeaderEnd + 2 * (pageSize / kPageFixupStride + 1)));
}

bool ParseRestartPage(std::vector<uint8_t>& page, LogGeometry& g) {
    if (page.size() < 0x20 || page[0] != 'R' || page[1] != 'S' || page[2] != 'T' || page[3] != 'R')
        return false;
    const uint32_t pageSize = Load32(page.data() + kRestartPageSize);
    if (!IsPowerOfTwo(pageSize) || pageSize < kMinPageSize || pageSize > kMaxPageSize) return false;
    // The restart page is protected like any multi-sector structure; the fields read here lie in
    // its first block, but a hostile page may put them anywhere.
    if (ApplyFixups(page, kPageFixupStride).arrayOutside) return false;
    const uint32_t area = Load16(page.data() + kRestartAreaOffset);
    if (area % 8 != 0 || area < 0x20 || !Fits(page.size(), area, kRestartAreaNeeded)) return false;
    const uint32_t bits = Load32(page.data() + area + kRestartSequenceBits);
    if (bits < 3 || bits > 63) return false;
    g.pageSize = pageSize;
    g.sequenceBits = bits;
    g.currentLsn = Load64(page.data() + area + kRestartCurrentLsn);
    const uint32_t minimum = MinDataOffset(pageSize);
    const uint32_t given = Load16(page.data() + area + kRestartDataOffset);
    g.dataOffset =
        (given % 8 == 0 && given >= minimum && given + kHeaderSize <= pageSize) ? given : minimum;
    return g.dataOffset + kHeaderSize <= pageSize;
}

}  // namespace

Status ReadLogGeometry(ByteSource& log, uint64_t length, LogGeometry& geometry) {
    for (const uint64_t at : {uint64_t{0}, uint64_t{kSecondRestartPage}}) {
        if (at >= length) break;
        // A restart page is one system page; the fields needed lie in its first 4 KiB.
        std::vector<uint8_t> page(static_cast<size_t>(std::min<uint64_t>(4096, length - at)));
        const Result<size_t> n = log.ReadAt(at, page.data(), page.size());
        if (!n) return n.error();
        page.resize(*n);
        LogGeometry g;
        if (ParseRestartPage(page, g)) {
            geometry = g;
            return {};
        }
    }
    return Error(kLogCannotServe);
}

bool IsIntactLogPage(const uint8_t* page, const LogGeometry& g) {
    if (page[0] != 'R' || page[1] != 'C' || page[2] != 'R' || page[3] != 'D') return false;
    const uint32_t usa = Load16(page + 4);
    const uint32_t count = Load16(page + 6);
    const uint32_t blocks = g.pageSize / kPageFixupStride;
    if (usa < kPageHeaderEnd || count < blocks + 1 || usa + 2 * count > g.dataOffset) return false;
    const uint16_t number = Load16(page + usa);
    for (uint32_t i = 1; i <= blocks; ++i)
        if (Load16(page + i * kPageFixupStride - 2) != number) return false;
    return true;
}

bool IsUnwrittenLogPage(const uint8_t* page, uint32_t pageSize) {
    return std::all_of(page, page + pageSize, [](uint8_t b) { return b == 0xFF; });
}

bool FixLogPage(uint8_t* page, const LogGeometry& g) {
    if (!IsIntactLogPage(page, g)) return false;
    const uint32_t usa = Load16(page + 4);
    const uint32_t blocks = g.pageSize / kPageFixupStride;
    for (uint32_t i = 1; i <= blocks; ++i)
        Store16(page + i * kPageFixupStride - 2, Load16(page + usa + 2 * i));
    return true;
}

}  // namespace qv
