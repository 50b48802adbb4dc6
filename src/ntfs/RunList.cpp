#include "ntfs/RunList.h"

#include <algorithm>

namespace qv {

void RunList::SetSizes(uint64_t dataSize, uint64_t initializedSize, uint64_t allocatedSize) {
    dataSize_ = dataSize;
    initializedSize_ = initializedSize;
    allocatedSize_ = allocatedSize;
    hasSizes_ = true;
}

void RunList::SetCompression(uint16_t compressionUnit, bool compressedFlag) {
    compressionUnit_ = compressionUnit;
    compressedFlag_ = compressedFlag;
}

void RunList::AddRun(uint64_t firstCluster, uint64_t clusterCount) {
    DataRun run;
    run.vcn = runs_.empty() ? 0 : runs_.back().vcn + runs_.back().clusterCount;
    run.firstCluster = firstCluster;
    run.clusterCount = clusterCount;
    runs_.push_back(std::move(run));
}

void RunList::AddResident(ByteSpan bytes) {
    DataRun run;
    run.resident = true;
    run.clusterCount = 1;
    run.residentBytes.assign(bytes.begin(), bytes.end());
    if (!hasSizes_) SetSizes(bytes.size(), bytes.size(), bytes.size());
    runs_.push_back(std::move(run));
}

PairsStatus RunList::AddExtent(ByteSpan mappingPairs, uint64_t startVcn) {
    const bool duplicate = std::any_of(runs_.begin(), runs_.end(), [&](const DataRun& r) {
        return !r.resident && r.vcn == startVcn;
    });
    if (duplicate) return PairsStatus::kOk;
    std::vector<DataRun> extent;
    const PairsStatus status = DecodeMappingPairs(mappingPairs, startVcn, extent);
    if (status == PairsStatus::kBadField || status == PairsStatus::kTruncated) damaged_ = true;
    const auto at = std::upper_bound(runs_.begin(), runs_.end(), startVcn,
                                     [](uint64_t vcn, const DataRun& r) { return vcn < r.vcn; });
    runs_.insert(at, std::make_move_iterator(extent.begin()),
                 std::make_move_iterator(extent.end()));
    return status;
}

uint64_t RunList::ClusterTotal() const {
    uint64_t total = 0;
    for (const DataRun& r : runs_)
        total += r.clusterCount;
    return total;
}

uint64_t RunList::TotalSize(uint32_t clusterSize) const {
    if (hasSizes_) return dataSize_;
    return ClusterTotal() * clusterSize;
}

}  // namespace qv
