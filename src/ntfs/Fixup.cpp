#include "ntfs/Fixup.h"

#include <algorithm>

#include "ntfs/RecordHeader.h"

namespace qv {

FixupResult ApplyFixups(MutableByteSpan record, uint32_t stride) {
    FixupResult result;
    if (record.size() < record::kUsaCount + 2 || stride < 2) return result;
    const uint16_t usaOffset = Load16(record.data() + record::kUsaOffset);
    const uint16_t usaCount = Load16(record.data() + record::kUsaCount);
    if (usaCount < 2) return result;
    const uint64_t blocksInRecord = record.size() / stride;
    uint64_t blocks = std::min<uint64_t>(usaCount - 1u, blocksInRecord);
    // The array must lie inside the record; use only the saved words that do.
    if (!Fits(record.size(), usaOffset, 2)) {
        result.arrayOutside = true;
        return result;
    }
    const uint64_t wordsInside = (record.size() - usaOffset) / 2;  // includes the number itself
    if (wordsInside - 1 < blocks) {
        result.arrayOutside = true;
        blocks = wordsInside - 1;
    }
    const uint16_t sequenceNumber = Load16(record.data() + usaOffset);
    for (uint64_t i = 0; i < blocks; ++i) {
        uint8_t* target = record.data() + (i + 1) * stride - 2;
        // The array itself may overlap a block end in a hostile record; the saved word is read
        // before the target is written, so the order of blocks decides, as on disk.
        const uint16_t saved = Load16(record.data() + usaOffset + 2 + 2 * i);
        if (Load16(target) != sequenceNumber) ++result.mismatches;
        Store16(target, saved);
        ++result.applied;
    }
    return result;
}

}  // namespace qv
