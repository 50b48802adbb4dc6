#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/LittleEndian.h"
#include "ntfs/DataRun.h"
#include "ntfs/MappingPairs.h"

namespace qv {

// Where the bytes of one $DATA stream lie: the runs of its extents in VCN order, or one resident
// piece. The sizes come from the stream's first extent (lowest VCN 0); a stream seen only through
// later extents has no known size.
class RunList {
public:
    explicit RunList(std::u16string name = {}) : name_(std::move(name)) {}

    const std::u16string& Name() const { return name_; }

    // Sizes and compression of the first extent.
    void SetSizes(uint64_t dataSize, uint64_t initializedSize, uint64_t allocatedSize);
    void SetCompression(uint16_t compressionUnit, bool compressedFlag);

    // Appends a run after the last one.
    void AddRun(uint64_t firstCluster, uint64_t clusterCount);
    // Appends a resident piece holding a copy of bytes; the stream's size becomes its length
    // unless a size is known already.
    void AddResident(ByteSpan bytes);
    // Decodes an extent's mapping pairs and puts its runs in VCN order. An extent whose first VCN
    // the stream already holds (the same attribute met twice) is passed over.
    PairsStatus AddExtent(ByteSpan mappingPairs, uint64_t startVcn);

    // The stream's size: the known data size, the resident length, or else (later extents only)
    // its clusters times the cluster size.
    uint64_t TotalSize(uint32_t clusterSize) const;

    const std::vector<DataRun>& Runs() const { return runs_; }
    bool HasSizes() const { return hasSizes_; }
    bool IsResident() const { return !runs_.empty() && runs_.front().resident; }
    uint64_t DataSize() const { return dataSize_; }
    uint64_t InitializedSize() const { return initializedSize_; }
    uint64_t AllocatedSize() const { return allocatedSize_; }
    uint16_t CompressionUnit() const { return compressionUnit_; }
    // 2^(compression unit mod 32); 1 means not compressed.
    uint64_t ClustersPerUnit() const { return uint64_t{1} << (compressionUnit_ % 32); }
    // LZNT1 applies only when the attribute says compressed and has a compression unit: a sparse
    // stream carries a unit too, and its data is plain.
    bool IsCompressed() const { return compressedFlag_ && compressionUnit_ != 0 && !IsResident(); }
    // The mapping pairs of some extent were damaged (decoding stopped early).
    bool Damaged() const { return damaged_; }
    // Clusters covered by the runs.
    uint64_t ClusterTotal() const;

private:
    std::u16string name_;
    std::vector<DataRun> runs_;
    uint64_t dataSize_ = 0;
    uint64_t initializedSize_ = 0;
    uint64_t allocatedSize_ = 0;
    uint16_t compressionUnit_ = 0;
    bool compressedFlag_ = false;
    bool hasSizes_ = false;
    bool damaged_ = false;
};

}  // namespace qv
