#include "ntfs/MappingPairs.h"

#include "ntfs/AttributeLayout.h"

namespace qv {

PairsStatus DecodeMappingPairs(ByteSpan pairs, uint64_t startVcn, std::vector<DataRun>& out) {
    size_t p = 0;
    uint64_t previous = 0;  // every extent's pairs start from cluster 0
    uint64_t vcn = startVcn;
    while (true) {
        if (p >= pairs.size()) return p == 0 ? PairsStatus::kOk : PairsStatus::kTruncated;
        // Four 0xFF bytes: the mapping pairs offset pointed at the attribute-end marker.
        if (Fits(pairs.size(), p, 4) && Load32(pairs.data() + p) == kAttrEnd)
            return PairsStatus::kOk;
        const uint8_t header = pairs[p];
        if (header == 0) return PairsStatus::kOk;
        const size_t lengthSize = header & 0x0F;
        const size_t offsetSize = header >> 4;
        if (lengthSize > 8 || offsetSize > 8) return PairsStatus::kBadField;
        ++p;
        if (!Fits(pairs.size(), p, lengthSize + offsetSize)) return PairsStatus::kTruncated;
        const uint64_t length = LoadLE(pairs.data() + p, lengthSize);
        p += lengthSize;
        uint64_t delta = LoadLE(pairs.data() + p, offsetSize);
        if (offsetSize > 0 && offsetSize < 8 && (delta >> (8 * offsetSize - 1)) & 1)
            delta |= ~uint64_t{0} << (8 * offsetSize);  // sign-extend to 64 bits
        p += offsetSize;
        DataRun run;
        run.vcn = vcn;
        run.clusterCount = length;
        if (delta != 0) {
            previous += delta;  // two's complement: a negative offset moves back
            run.firstCluster = previous;
        }
        out.push_back(std::move(run));
        vcn += length;
    }
}

}  // namespace qv
