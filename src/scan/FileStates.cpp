#include "scan/FileStates.h"

#include <algorithm>

#include "ntfs/FileRecord.h"
#include "ntfs/RunList.h"
#include "scan/ClusterBitmap.h"

namespace qv {

namespace {

// The share allocated, rounded to the nearest percent but never 0 or 100: either would hide
// that the file is partly overwritten.
uint8_t PartPercent(uint64_t allocated, uint64_t total) {
    const double share = static_cast<double>(allocated) * 100.0 / static_cast<double>(total);
    const double rounded = std::clamp(share + 0.5, 1.0, 99.0);
    return static_cast<uint8_t>(rounded);
}

}  // namespace

JudgedState JudgeStream(const RunList& stream, ClusterBitmap* bitmap) {
    if (stream.IsResident()) return {FileState::kResident, 0};
    if (stream.Damaged() || bitmap == nullptr) return {};
    uint64_t total = 0;
    uint64_t allocated = 0;
    for (const DataRun& run : stream.Runs()) {
        if (run.resident) return {};  // a resident piece among runs: the runs make no sense
        if (run.IsSparse() || run.clusterCount == 0) continue;
        const Result<uint64_t> taken = bitmap->CountAllocated(run.firstCluster, run.clusterCount);
        if (!taken) return {};
        total += run.clusterCount;
        allocated += *taken;
    }
    if (allocated == 0) return {FileState::kIntact, 0};
    if (allocated == total) return {FileState::kOverwritten, 0};
    return {FileState::kPartlyOverwritten, PartPercent(allocated, total)};
}

JudgedState JudgeFile(const FileRecord& record, ClusterBitmap* bitmap) {
    const RunList* content = record.UnnamedStream();
    if (record.Damaged() || content == nullptr || record.ExtentMissing(u"")) return {};
    return JudgeStream(*content, bitmap);
}

}  // namespace qv
