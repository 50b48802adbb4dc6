// LZNT1: DecompressUnit and DecompressChunk on hostile input, and the same input read back by
// CopyTo as the allocated clusters of a compressed stream on a volume in memory.
//
// Input: one compression unit as it lies on disk (chunk headers and data), no mode byte, so the
// seeds are real units. The geometry of the copy is NTFS's usual one: 4 KiB clusters, units of
// 16 clusters; the unit's clusters are split into two runs (fragmented) and followed by a sparse
// run, which makes CopyTo decode it.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "FuzzSupport.h"
#include "base/Error.h"
#include "base/Progress.h"
#include "ntfs/DataCopy.h"
#include "ntfs/Lznt1.h"
#include "ntfs/RunList.h"
#include "support/MemoryDevice.h"
#include "support/VolumeImage.h"

namespace {

using namespace qv;

constexpr uint32_t kClusterSize = 4096;
constexpr uint32_t kUnitClusters = 16;
constexpr uint32_t kUnitBytes = kClusterSize * kUnitClusters;

void CheckResult(int32_t result, size_t capacity) {
    QV_FUZZ_CHECK(result == kErrDecompress || (result >= 0 && size_t(result) <= capacity));
}

}  // namespace

QV_FUZZ_DEFAULT_FLAGS

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Exactly sized heap buffers: a read or write past either is an ASan report.
    const std::vector<uint8_t> input(data, data + size);

    // A unit into the usual 64 KiB, and into a smaller output.
    std::vector<uint8_t> unit(kUnitBytes);
    const int32_t produced = DecompressUnit(input, unit);
    CheckResult(produced, unit.size());
    {
        std::vector<uint8_t> small(size % 9000);
        const int32_t n = DecompressUnit(input, small);
        CheckResult(n, small.size());
        // What decodes into less room decodes the same into more.
        if (n >= 0) QV_FUZZ_CHECK(produced >= 0);
        if (n >= 0 && produced >= 0) QV_FUZZ_CHECK(n <= produced);
        if (n >= 0 && produced >= 0 && n > 0)
            QV_FUZZ_CHECK(std::memcmp(small.data(), unit.data(), size_t(n)) == 0);
    }

    // The input as the data of one chunk (its header skipped), into a chunk's 4 KiB and into
    // room for kMaxChunkOutput.
    if (size >= 2) {
        const ByteSpan chunk(input.data() + 2, size - 2);
        std::vector<uint8_t> out(kChunkSize);
        CheckResult(DecompressChunk(chunk, out), out.size());
        std::vector<uint8_t> wide(kMaxChunkOutput + 100);
        CheckResult(DecompressChunk(chunk, wide), kMaxChunkOutput);
    }

    // CopyTo over a volume: boot sector, the unit's clusters at 1.. and 40.. (a second run),
    // the rest sparse. At most 15 clusters are allocated: 16 would be a unit stored as is.
    if (size == 0) return 0;
    const size_t stored = std::min<size_t>(size, (kUnitClusters - 1) * kClusterSize);
    const uint64_t allocated = (stored + kClusterSize - 1) / kClusterSize;
    const uint64_t firstRun = (allocated + 1) / 2;
    std::vector<uint8_t> padded(allocated * kClusterSize, 0);
    std::memcpy(padded.data(), input.data(), stored);

    static test::MemoryDevice* device = nullptr;
    static std::unique_ptr<VolumeReader> reader = [] {
        test::VolumeImage image(kClusterSize, 64);
        auto owned = std::make_unique<test::MemoryDevice>(image.Bytes());
        device = owned.get();
        return fuzz::OpenReader(std::move(owned));
    }();
    QV_FUZZ_CHECK(reader != nullptr);
    std::vector<uint8_t>& volume = device->Bytes();
    // Other files' clusters (memset: std::fill is a byte loop in a coverage build).
    std::memset(volume.data() + kClusterSize, 0xEE, volume.size() - kClusterSize);
    std::memcpy(volume.data() + 1 * kClusterSize, padded.data(), firstRun * kClusterSize);
    std::memcpy(volume.data() + 40 * kClusterSize, padded.data() + firstRun * kClusterSize,
                (allocated - firstRun) * kClusterSize);
    fuzz::DropWindow(*reader);

    RunList stream;
    stream.SetSizes(kUnitBytes, kUnitBytes, kUnitBytes);
    stream.SetCompression(4, true);
    stream.AddRun(1, firstRun);
    if (allocated > firstRun) stream.AddRun(40, allocated - firstRun);
    stream.AddRun(0, kUnitClusters - allocated);

    MemorySink out(kUnitBytes);
    QuietProgress progress;
    const Result<Copied> copied = CopyTo(stream, *reader, out, progress);

    // The copy is what DecompressUnit makes of the allocated clusters, zero-filled to the unit.
    std::vector<uint8_t> expected(kUnitBytes, 0);
    const int32_t n = DecompressUnit(padded, expected);
    if (n < 0) {
        QV_FUZZ_CHECK(!copied && copied.error().code == kErrDecompress);
    } else {
        // Past what it returns the output is scratch (a stored chunk without the signature bit
        // is copied there and not counted); CopyTo zero-fills from the count on.
        std::memset(expected.data() + n, 0, expected.size() - size_t(n));
        QV_FUZZ_CHECK(copied && *copied == Copied::kWhole);
        QV_FUZZ_CHECK(out.bytes == expected);
    }
    return 0;
}
