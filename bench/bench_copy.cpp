// Plain (uncompressed) copy throughput from an image in the page cache, in GB/s
// (1 GB = 10^9 bytes).
//
// Once per run an image file is made in the temporary folder ($TMPDIR, else /tmp): a boot sector
// (4 KiB clusters, 512-byte sectors, 1 KiB records) and 512 MiB of data (set
// QUORVANE_BENCH_IMAGE_MIB to change it), written, synced and so in the page cache; it is removed
// at exit. A FILE record with one $DATA run over every cluster but the first is built with the
// test kit's RecordBuilder and parsed with FileRecord. The image is opened as a device file by
// VolumeReader, and CopyRecordData copies the file:
//
//   BM_CopyPlain/sink:0   into a sink that discards (read path only: pread + window + piece)
//   BM_CopyPlain/sink:1   into a real temporary file (emptied before each copy, untimed)
//
// The first copy is checked byte for byte against what the image holds.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/Progress.h"
#include "ntfs/DataCopy.h"
#include "ntfs/FileRecord.h"
#include "platform/BlockDevice.h"
#include "platform/File.h"
#include "platform/TempFile.h"
#include "platform/Text.h"
#include "support/Bytes.h"
#include "support/NtfsBuilder.h"
#include "support/RecordBuilder.h"
#include "support/VolumeImage.h"
#include "volume/VolumeReader.h"

namespace {

using namespace qv;

constexpr uint32_t kCluster = 4096;

// The image's bytes: each 8-byte word holds a value made from its index.
uint64_t Word(uint64_t index) {
    return (index + 1) * 0x9E3779B97F4A7C15ull;
}

// A 1 KiB FILE record: $FILE_NAME "bench.bin" in the root folder and an unnamed non-resident
// $DATA of `clusters` clusters from cluster 1, `size` bytes.
std::vector<uint8_t> FileRecordImage(uint64_t clusters, uint64_t size) {
    return test::RecordBuilder(1024)
        .InUse()
        .FileName(test::NtfsBuilder::kRootReference, u"bench.bin")
        .NonResidentData({{1, clusters}}, size)
        .Build();
}

// The image file, made once and removed at exit.
struct Image {
    File file;
    std::u16string path;
    uint64_t clusters = 0;
    std::string error;

    Image() {
        const char* mib = std::getenv("QUORVANE_BENCH_IMAGE_MIB");
        const uint64_t bytes = (mib && std::atoi(mib) > 0 ? std::atoi(mib) : 512) * (1ull << 20);
        clusters = bytes / kCluster;
        path =
            TempDirectory() + u"/quorvane-bench-" + FromUtf8(std::to_string(::getpid())) + u".img";
        if (const Status opened = file.Open(path, File::Mode::kCreateNew); !opened) {
            error = opened.error().Text();
            return;
        }
        file.SetRemoveOnClose(true);
        std::vector<uint8_t> block(16u << 20);
        for (uint64_t at = 0; at < bytes; at += block.size()) {
            const size_t n = static_cast<size_t>(std::min<uint64_t>(block.size(), bytes - at));
            for (size_t i = 0; i < n; i += 8) {
                const uint64_t w = Word((at + i) / 8);
                std::memcpy(block.data() + i, &w, 8);
            }
            if (at == 0) {
                const auto boot = test::MakeBootSector(512, kCluster / 512, 4, 0xF6, bytes / 512);
                std::memcpy(block.data(), boot.data(), boot.size());
            }
            if (const Status written = file.Write(block.data(), n); !written) {
                error = "cannot write the image: " + written.error().Text();
                return;
            }
        }
        ::fsync(file.Descriptor());  // no writeback while timing
        // Read it through once: all of it in the page cache.
        for (uint64_t at = 0; at < bytes; at += block.size())
            if (!file.ReadAt(at, block.data(), block.size())) error = "cannot read the image";
    }
};

Image& GetImage() {
    static Image image;
    return image;
}

// Compares what is written with the image's data from cluster 1 on.
class CheckSink final : public ByteSink {
public:
    Status Write(const void* data, size_t size) override {
        const auto* p = static_cast<const uint8_t*>(data);
        for (size_t i = 0; i < size; ++i, ++position) {
            const uint64_t offset = kCluster + position;
            const uint64_t w = Word(offset / 8);
            if (p[i] != static_cast<uint8_t>(w >> (8 * (offset % 8)))) {
                ok = false;
                return {};
            }
        }
        return {};
    }
    uint64_t position = 0;
    bool ok = true;
};

bool Whole(const Result<Copied>& copied) {
    return copied && *copied == Copied::kWhole;
}

void BM_CopyPlain(benchmark::State& state) {
    Image& image = GetImage();
    if (!image.error.empty()) return state.SkipWithError(image.error.c_str());
    const uint64_t dataClusters = image.clusters - 1;
    const uint64_t size = dataClusters * kCluster - 123;  // not a whole number of clusters
    std::vector<uint8_t> recordImage = FileRecordImage(dataClusters, size);
    FileRecord record;
    record.SetHeader(recordImage);
    if (record.Parse(recordImage, kCluster) != Parsed::kFine ||
        record.TotalDataSize(kCluster) != size)
        return state.SkipWithError("the FILE record does not parse");
    Result<std::unique_ptr<DeviceFile>> device = DeviceFile::Open(image.path);
    if (!device) return state.SkipWithError(device.error().Text().c_str());
    VolumeReader reader;
    if (const Status opened = reader.Open(std::move(*device)); !opened)
        return state.SkipWithError(opened.error().Text().c_str());

    // Checked once per run (the benchmark library calls this function several times).
    static const bool checked = [&] {
        CheckSink check;
        QuietProgress progress;
        return Whole(CopyRecordData(check, record, reader, progress)) && check.ok &&
               check.position == size;
    }();
    if (!checked) return state.SkipWithError("the copy differs from the image");

    const bool toFile = state.range(0) == 1;
    File out;
    if (toFile && !MakeTempFile(out, "quorvane-bench-copy-"))
        return state.SkipWithError("cannot make a temporary file");
    uint64_t copied = 0;
    for (auto _ : state) {
        QuietProgress progress;
        Result<Copied> result = Copied::kWhole;
        if (toFile) {
            state.PauseTiming();
            if (::ftruncate(out.Descriptor(), 0) != 0 ||
                ::lseek(out.Descriptor(), 0, SEEK_SET) != 0)
                return state.SkipWithError("cannot empty the temporary file");
            state.ResumeTiming();
            result = CopyRecordData(out, record, reader, progress);
        } else {
            test::DiscardSink sink;
            result = CopyRecordData(sink, record, reader, progress);
        }
        if (!Whole(result)) return state.SkipWithError("CopyRecordData failed");
        copied += size;
    }
    state.SetBytesProcessed(static_cast<int64_t>(copied));
    state.counters["GB/s"] =
        benchmark::Counter(static_cast<double>(copied) / 1e9, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_CopyPlain)
    ->ArgName("sink")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(3.0)
    ->UseRealTime();

}  // namespace
