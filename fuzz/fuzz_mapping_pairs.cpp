// DecodeMappingPairs and RunList::AddExtent on hostile mapping pairs, then a copy of the
// resulting stream from a small volume.
//
// Input: a mode byte, then the mapping pairs.
//   mode bits 0-1: the starting VCN of the first extent: 0, 1, 0x1000 or near 2^64
//   mode bits 2-4: where the pairs are split into a second extent (n * size / 8)
//   mode bit 5:    the stream is compressed (compression unit 4)
//   mode bits 6-7: the data size: the clusters' bytes, one cluster less 1, 300000, or 2^63
#include <cstdint>
#include <vector>

#include "FuzzSupport.h"
#include "base/Error.h"
#include "base/Progress.h"
#include "ntfs/DataCopy.h"
#include "ntfs/MappingPairs.h"
#include "ntfs/RunList.h"
#include "support/Bytes.h"
#include "support/MemoryDevice.h"
#include "support/VolumeImage.h"

namespace {

using namespace qv;

constexpr uint32_t kClusterSize = 512;
constexpr uint64_t kVolumeClusters = 512;  // 256 KiB

// One volume for all inputs: its bytes never change, so neither does what a read returns.
VolumeReader& Reader() {
    static std::unique_ptr<VolumeReader> reader = [] {
        test::VolumeImage image(kClusterSize, kVolumeClusters);
        std::vector<uint8_t>& bytes = image.Bytes();
        uint32_t x = 12345;
        for (size_t i = 512; i < bytes.size(); ++i) {
            x = x * 1103515245u + 12345u;
            bytes[i] = static_cast<uint8_t>(x >> 24);
        }
        return fuzz::OpenReader(std::make_unique<test::MemoryDevice>(std::move(bytes)));
    }();
    return *reader;
}

void CheckDecoded(const std::vector<DataRun>& runs, uint64_t startVcn, PairsStatus status) {
    QV_FUZZ_CHECK(status == PairsStatus::kOk || status == PairsStatus::kTruncated ||
                  status == PairsStatus::kBadField);
    uint64_t vcn = startVcn;
    for (const DataRun& run : runs) {
        QV_FUZZ_CHECK(!run.resident && run.residentBytes.empty());
        QV_FUZZ_CHECK(run.vcn == vcn);  // consecutive VCNs (modulo 2^64)
        vcn += run.clusterCount;
    }
}

}  // namespace

QV_FUZZ_DEFAULT_FLAGS

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const uint8_t mode = data[0];
    // An exactly sized copy: a read past the pairs is an ASan report.
    const std::vector<uint8_t> bytes(data + 1, data + size);
    const ByteSpan pairs(bytes);

    static constexpr uint64_t kStarts[] = {0, 1, 0x1000, ~uint64_t{0} - 3};
    const uint64_t startVcn = kStarts[mode & 3];

    std::vector<DataRun> runs;
    const PairsStatus status = DecodeMappingPairs(pairs, startVcn, runs);
    CheckDecoded(runs, startVcn, status);
    QV_FUZZ_CHECK(runs.size() <= pairs.size());  // every run takes a header byte at least

    // The same pairs appended to runs already there.
    std::vector<DataRun> more(2);
    more[0].clusterCount = 5;
    const size_t before = more.size();
    DecodeMappingPairs(pairs, 7, more);
    QV_FUZZ_CHECK(more.size() == before + runs.size());

    // As extents of one stream: the first part, the same extent again (passed over), and the
    // rest of the pairs as a later extent.
    RunList list;
    const size_t split = ((mode >> 2) & 7) * pairs.size() / 8;
    const PairsStatus first = list.AddExtent(pairs.first(split), startVcn);
    QV_FUZZ_CHECK(list.Damaged() == (first != PairsStatus::kOk));
    const size_t afterFirst = list.Runs().size();
    uint64_t nextVcn = startVcn;
    for (const DataRun& run : list.Runs())
        nextVcn += run.clusterCount;
    if (afterFirst > 0) {
        QV_FUZZ_CHECK(list.AddExtent(pairs.first(split), startVcn) == PairsStatus::kOk);
        QV_FUZZ_CHECK(list.Runs().size() == afterFirst);
    }
    list.AddExtent(pairs.subspan(split), nextVcn);
    volatile uint64_t sink = list.ClusterTotal() + list.TotalSize(kClusterSize) +
                             list.IsCompressed() + list.IsResident() + list.ClustersPerUnit();
    (void)sink;

    // The stream copied from the volume, into a sink that takes at most 256 KiB.
    const bool compressed = (mode & 0x20) != 0;
    const uint64_t clusterBytes = list.ClusterTotal() * kClusterSize;
    static constexpr uint64_t kSizes[] = {0, kClusterSize - 1, 300000, 1ull << 63};
    uint64_t dataSize = kSizes[mode >> 6];
    if ((mode >> 6) == 0) dataSize = clusterBytes;
    if ((mode >> 6) == 1) dataSize = clusterBytes > kClusterSize ? clusterBytes - 513 : 0;
    list.SetSizes(dataSize, dataSize / 2 * 2, clusterBytes);
    list.SetCompression(compressed ? 4 : 0, compressed);
    test::DiscardSink out(256u << 10);
    QuietProgress progress;
    const Result<Copied> copied = CopyTo(list, Reader(), out, progress);
    if (!copied) {
        const int32_t code = copied.error().code;
        QV_FUZZ_CHECK(code == kErrRead || code == kErrSeek || code == kErrDecompress ||
                      code == kErrWrite);
    } else {
        QV_FUZZ_CHECK(*copied != Copied::kStopped);  // nobody pressed Stop
    }
    QV_FUZZ_CHECK(out.written <= dataSize);
    if (copied && *copied == Copied::kWhole) QV_FUZZ_CHECK(out.written == dataSize);
    return 0;
}
