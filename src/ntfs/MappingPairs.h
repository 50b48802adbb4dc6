#pragma once

#include <cstdint>
#include <vector>

#include "base/LittleEndian.h"
#include "ntfs/DataRun.h"

namespace qv {

enum class PairsStatus {
    kOk,         // ended at a 0 header byte or at the attribute-end marker
    kTruncated,  // a pair runs past the attribute, or the bytes end without a 0 header
    kBadField,   // a length or offset field wider than 8 bytes
};

// Decodes mapping pairs into runs, appended to out. Each pair is a header byte (low nibble: size
// L of the length field, high nibble: size O of the offset field), an unsigned length and a
// signed offset relative to the previous run's first cluster, all little-endian and 64-bit.
// An offset of 0 (or an absent one, O = 0) makes a sparse run and leaves the previous cluster
// where it was. Runs get consecutive VCNs from startVcn. Never reads outside pairs.
PairsStatus DecodeMappingPairs(ByteSpan pairs, uint64_t startVcn, std::vector<DataRun>& out);

}  // namespace qv
