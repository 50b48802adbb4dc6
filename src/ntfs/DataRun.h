#pragma once

#include <cstdint>
#include <vector>

namespace qv {

// One run of a stream: clusterCount clusters from firstCluster, covering the stream's VCNs from
// vcn on. A first cluster of 0 marks a sparse run (cluster 0 holds the boot sector and never
// belongs to a stream); a resident piece holds its bytes itself.
struct DataRun {
    uint64_t vcn = 0;
    uint64_t firstCluster = 0;
    uint64_t clusterCount = 0;
    bool resident = false;
    std::vector<uint8_t> residentBytes;

    bool IsSparse() const { return !resident && firstCluster == 0; }
};

}  // namespace qv
