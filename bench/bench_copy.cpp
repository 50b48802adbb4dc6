// Plain (uncompressed) copy throughput from an image in the page cache, in GB/s
// (1 GB = 10^9 bytes).
//
// Once per run an image file is made in the temporary folder ($TMPDIR, else /tmp): a boot sector
// (4 KiB clusters, 512-byte sectors, 1 KiB records) and 512 MiB of data (set
// QUORVANE_BENCH_IMAGE_MIB to change it), written, synced and so in the page cache; it is removed
// at exit. A FILE record with one $DATA run over every cluster but the first is built and parsed
// with FileRecord. The image is opened as a drive letter through the drive table and
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

#include "ImageBytes.h"
#include "app/ProgressDialog.h"
#include "ntfs/DataCopy.h"
#include "ntfs/FileRecord.h"
#include "platform/DriveTable.h"
#include "platform/File.h"
#include "platform/TempFile.h"
#include "platform/Text.h"
#include "volume/VolumeReader.h"

namespace {

using namespace qv;

constexpr uint32_t kCluster = 4096;
constexpr char16_t kLetter = u'Q';

// The image's bytes: each 8-byte word holds a value made from its index.
uint64_t Word(uint64_t index) {
    return (index + 1) * 0x9E3779B97F4A7C15ull;
}

using bench::Put16;
using bench::Put32;
using bench::Put64;

std::vector<uint8_t> BootSector(uint64_t totalSectors) {
    std::vector<uint8_t> s(512, 0);
    s[0] = 0xEB, s[1] = 0x52, s[2] = 0x90;
    std::memcpy(s.data() + 3, "NTFS    ", 8);
    Put16(s, 0x0B, 512);
    s[0x0D] = kCluster / 512;
    Put64(s, 0x28, totalSectors);
    Put64(s, 0x30, 4);  // $MFT (not read here)
    Put64(s, 0x38, 2);
    s[0x40] = 0xF6;  // 1 KiB records
    s[0x44] = 1;
    s[510] = 0x55, s[511] = 0xAA;
    return s;
}

// A 1 KiB FILE record: $FILE_NAME "bench.bin" and an unnamed non-resident $DATA of `clusters`
// clusters from cluster 1, `size` bytes; fixups applied as on disk.
std::vector<uint8_t> FileRecordImage(uint64_t clusters, uint64_t size) {
    std::vector<uint8_t> r(1024, 0);
    std::memcpy(r.data(), "FILE", 4);
    Put16(r, 0x04, 0x30);  // update sequence array
    Put16(r, 0x06, 3);
    Put16(r, 0x10, 1);  // sequence
    Put16(r, 0x12, 1);  // links
    Put16(r, 0x14, 0x38);
    Put16(r, 0x16, 0x0001);  // in use
    Put32(r, 0x1C, 1024);
    Put16(r, 0x28, 3);
    size_t a = 0x38;
    // $FILE_NAME, resident, Win32 namespace.
    const std::u16string name = u"bench.bin";
    const uint32_t valueLength = 0x42 + 2 * static_cast<uint32_t>(name.size());
    const uint32_t fnLength = (0x18 + valueLength + 7) / 8 * 8;
    Put32(r, a, 0x30);
    Put32(r, a + 4, fnLength);
    Put16(r, a + 0x0E, 1);
    Put32(r, a + 0x10, valueLength);
    Put16(r, a + 0x14, 0x18);
    const size_t v = a + 0x18;
    Put64(r, v, 5 | (uint64_t{5} << 48));  // parent: the root folder
    Put64(r, v + 0x30, size);
    r[v + 0x40] = static_cast<uint8_t>(name.size());
    r[v + 0x41] = 1;
    for (size_t i = 0; i < name.size(); ++i)
        Put16(r, v + 0x42 + 2 * i, name[i]);
    a += fnLength;
    // $DATA, non-resident: one run of `clusters` clusters at cluster 1.
    std::vector<uint8_t> pairs;
    uint8_t lengthBytes = 0;
    for (uint64_t c = clusters; c != 0; c >>= 8)
        ++lengthBytes;
    pairs.push_back(static_cast<uint8_t>(0x10 | lengthBytes));
    for (int i = 0; i < lengthBytes; ++i)
        pairs.push_back(static_cast<uint8_t>(clusters >> (8 * i)));
    pairs.push_back(1);  // first cluster
    pairs.push_back(0);
    const uint32_t dataLength = (0x40 + static_cast<uint32_t>(pairs.size()) + 7) / 8 * 8;
    Put32(r, a, 0x80);
    Put32(r, a + 4, dataLength);
    r[a + 8] = 1;
    Put16(r, a + 0x0A, 0x40);
    Put16(r, a + 0x0E, 2);
    Put64(r, a + 0x18, clusters - 1);
    Put16(r, a + 0x20, 0x40);
    Put64(r, a + 0x28, clusters * kCluster);
    Put64(r, a + 0x30, size);
    Put64(r, a + 0x38, size);
    std::memcpy(r.data() + a + 0x40, pairs.data(), pairs.size());
    a += dataLength;
    Put32(r, a, 0xFFFFFFFF);
    Put32(r, 0x18, static_cast<uint32_t>(a + 8));
    // Fixups: the update sequence number at the end of each 512-byte block, the saved words
    // (zeros here) in the array.
    Put16(r, 0x30, 1);
    Put16(r, 510, 1);
    Put16(r, 1022, 1);
    return r;
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
        if (!file.Open(path, File::Mode::kCreateNew)) {
            error = "cannot create " + ToUtf8(path);
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
                const auto boot = BootSector(bytes / 512);
                std::memcpy(block.data(), boot.data(), boot.size());
            }
            if (!file.Write(block.data(), n)) {
                error = "cannot write the image (disk full?)";
                return;
            }
        }
        ::fsync(file.Descriptor());  // no writeback while timing
        // Read it through once: all of it in the page cache.
        for (uint64_t at = 0; at < bytes; at += block.size())
            if (file.ReadAt(at, block.data(), block.size()) < 0) error = "cannot read the image";
    }
};

Image& GetImage() {
    static Image image;
    return image;
}

using bench::DiscardSink;

// Compares what is written with the image's data from cluster 1 on.
class CheckSink final : public ByteSink {
public:
    bool Write(const void* data, size_t size) override {
        const auto* p = static_cast<const uint8_t*>(data);
        for (size_t i = 0; i < size; ++i, ++position) {
            const uint64_t offset = kCluster + position;
            const uint64_t w = Word(offset / 8);
            if (p[i] != static_cast<uint8_t>(w >> (8 * (offset % 8)))) {
                ok = false;
                return true;
            }
        }
        return true;
    }
    uint64_t position = 0;
    bool ok = true;
};

void BM_CopyPlain(benchmark::State& state) {
    Image& image = GetImage();
    if (!image.error.empty()) return state.SkipWithError(image.error.c_str());
    const uint64_t dataClusters = image.clusters - 1;
    const uint64_t size = dataClusters * kCluster - 123;  // not a whole number of clusters
    std::vector<uint8_t> recordImage = FileRecordImage(dataClusters, size);
    FileRecord record;
    record.SetHeader(recordImage);
    if (record.Parse(recordImage, kCluster) != 0 || record.TotalDataSize(kCluster) != size)
        return state.SkipWithError("the FILE record does not parse");
    DriveTable::Global().Set(kLetter, image.path);
    VolumeReader reader;
    if (reader.Open(kLetter) != 0) return state.SkipWithError(reader.FailureReason().c_str());

    // Checked once per run (the benchmark library calls this function several times).
    static const bool checked = [&] {
        CheckSink check;
        ProgressDialog progress;
        return CopyRecordData(check, record, reader, progress) == 0 && check.ok &&
               check.position == size;
    }();
    if (!checked) return state.SkipWithError("the copy differs from the image");

    const bool toFile = state.range(0) == 1;
    File out;
    if (toFile && MakeTempFile(out, "quorvane-bench-copy-") != 0)
        return state.SkipWithError("cannot make a temporary file");
    uint64_t copied = 0;
    for (auto _ : state) {
        ProgressDialog progress;
        int result;
        if (toFile) {
            state.PauseTiming();
            if (::ftruncate(out.Descriptor(), 0) != 0 || out.Seek(0) != 0)
                return state.SkipWithError("cannot empty the temporary file");
            state.ResumeTiming();
            result = CopyRecordData(out, record, reader, progress);
        } else {
            DiscardSink sink;
            result = CopyRecordData(sink, record, reader, progress);
        }
        if (result != 0) return state.SkipWithError("CopyRecordData failed");
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
