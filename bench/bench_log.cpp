// The advanced scan's own work: indexing a $LogFile and rolling deleted files back through it.
//
// Once per run a 64 MiB log is made in the temporary folder ($TMPDIR, else /tmp; set
// QUORVANE_BENCH_LOG_MIB to change its size) the way Windows writes one: two restart pages, then
// 4 KiB record pages with their update sequence arrays, full of the transactions that delete a
// file spread over two records (the $DATA attribute deleted from the extension record, both
// records deallocated, the transaction closed), about 130 bytes to 700 bytes a record, some
// records running on across pages. A second copy has every page's last LSN cleared, so that no
// page is walked: loading it costs the first pass alone.
//
//   BM_LoadLog/walk:1      LogRecordStore::Load: both passes (records indexed and copied)
//   BM_LoadLog/walk:0      the first pass alone (the second finds nothing to walk)
//   BM_RollBack            RollBackDeletedFiles over 10,000 deleted files whose deleting
//                          transactions the log holds (each file's $DATA comes back)
//   BM_ScanLarge/advanced:0/1
//                          a whole scan (ScanSession and FindDeletedFiles), normal and advanced,
//                          of a volume made around the log (see LargeImage)
//   BM_Scan/advanced:0/1   the same on the image named by QUORVANE_BENCH_IMAGE; skipped without
//                          it
//
// Counters: bytes of log per second, records indexed, files rolled back.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "base/Progress.h"
#include "deepscan/DeepScan.h"
#include "deepscan/DeletedFileImages.h"
#include "deepscan/LogFormat.h"
#include "deepscan/LogRecordStore.h"
#include "ntfs/AttributeLayout.h"
#include "platform/BlockDevice.h"
#include "platform/File.h"
#include "platform/TempFile.h"
#include "platform/Text.h"
#include "scan/DeletedFile.h"
#include "scan/ScanSession.h"
#include "support/Bytes.h"
#include "support/NtfsBuilder.h"
#include "support/RecordBuilder.h"
#include "support/VolumeImage.h"
#include "volume/VolumeReader.h"

namespace {

using namespace qv;
using namespace qv::logfmt;

constexpr uint32_t kPage = 4096;
constexpr uint32_t kBits = 40;  // as on a 64 MiB log
constexpr uint32_t kCluster = 4096;
constexpr size_t kRollbackFiles = 10000;
constexpr size_t kLogFiles = 50000;

using test::Put;
using test::RecordBuilder;

constexpr uint64_t kRoot = test::NtfsBuilder::kRootReference;

// A deleted file's base record: its name, and an attribute list whose $DATA is in the next
// record.
std::vector<uint8_t> BaseRecord(uint64_t number, uint64_t lsn) {
    return RecordBuilder(1024)
        .Lsn(lsn)
        .FileName(kRoot, u"file.bin")
        .ResidentAttributeList(
            {{kAttrFileName, 0, number, 0, u""}, {kAttrData, 0, number + 1, 0, u""}})
        .Build();
}

// Its extension record, which lost its $DATA.
std::vector<uint8_t> ExtensionRecord(uint64_t base, uint64_t lsn) {
    return RecordBuilder(1024).Lsn(lsn).BaseReference(base).Build();
}

// The $DATA a deleted file's extension record held: three runs, nine clusters.
std::vector<uint8_t> DataAttribute() {
    return RecordBuilder(1024)
        .NonResidentData({{300, 3}, {120, 2}, {500, 4}}, 9 * kCluster - 100)
        .Attribute(0);
}

// Writes records into the log page by page, as the log file service does.
class LogWriter {
public:
    explicit LogWriter(size_t bytes) : log_(bytes, 0) {
        for (uint64_t at : {0u, kPage}) {
            std::memcpy(log_.data() + at, "RSTR", 4);
            Put(log_, at + 0x10, kPage, 4);
            Put(log_, at + kRestartPageSize, kPage, 4);
            Put(log_, at + kRestartAreaOffset, 0x30, 2);
            Put(log_, at + 0x30 + kRestartSequenceBits, kBits, 4);
            Put(log_, at + 0x30 + kRestartDataOffset, kDefaultDataOffset, 2);
        }
        at_ = 2 * kPage + 64;
    }
    // Places a record (header and client data, LSN filled in); false when the log is full.
    bool Add(std::vector<uint8_t> record, uint64_t& lsn) {
        lsn = at_ / 8;
        uint64_t page = at_ / kPage, o = at_ % kPage;
        const uint64_t more =
            o + record.size() > kPage ? (o + record.size() - kPage + kPage - 65) / (kPage - 64) : 0;
        if ((page + more + 2) * kPage > log_.size()) return false;
        Put(record, kLsn, lsn, 8);
        last_.resize(log_.size() / kPage, 0);
        last_[page] = lsn;
        size_t done = 0;
        while (done < record.size()) {
            const size_t take = std::min<size_t>(record.size() - done, kPage - o);
            std::memcpy(log_.data() + page * kPage + o, record.data() + done, take);
            done += take;
            o += take;
            if (done < record.size()) {
                ++page, o = 64;
                if (last_[page] < lsn) last_[page] = lsn;
            }
        }
        o = Align8(o);
        if (o + 48 > kPage) ++page, o = 64;
        at_ = page * kPage + o;
        return true;
    }
    std::vector<uint8_t> Build(bool keepLastLsn) const {
        std::vector<uint8_t> b = log_;
        for (size_t page = 2; page < last_.size(); ++page) {
            if (last_[page] == 0) continue;
            const size_t base = page * kPage;
            std::memcpy(b.data() + base, "RCRD", 4);
            Put(b, base + 4, 0x28, 2);
            Put(b, base + 6, 9, 2);
            Put(b, base + kPageLastLsn, keepLastLsn ? last_[page] : 0, 8);
            Put(b, base + 0x28, 7, 2);
            for (int i = 1; i <= 8; ++i) {
                const size_t end = base + i * 512 - 2;
                b[base + 0x28 + 2 * i] = b[end], b[base + 0x29 + 2 * i] = b[end + 1];
                Put(b, end, 7, 2);
            }
        }
        return b;
    }

private:
    std::vector<uint8_t> log_;
    std::vector<uint64_t> last_;
    uint64_t at_;
};

std::vector<uint8_t> LogRecord(uint64_t previous, uint16_t redoOp, uint16_t undoOp,
                               uint64_t recordNumber, uint16_t recordOff,
                               const std::vector<uint8_t>& undo) {
    constexpr uint32_t kData = 0x28;  // redo and undo data from the operation fields (0x30)
    std::vector<uint8_t> r(Align8(kHeaderSize + kData + undo.size()), 0);
    Put(r, kPreviousLsn, previous, 8);
    Put(r, kUndoNextLsn, previous, 8);
    Put(r, kRecordType, kClientRecord, 4);
    Put(r, kRedoOperation, redoOp, 2);
    Put(r, kUndoOperation, undoOp, 2);
    Put(r, kRedoOffset, kData, 2);
    Put(r, kUndoOffset, kData, 2);
    Put(r, kUndoLength, static_cast<uint16_t>(undo.size()), 2);
    Put(r, 0x3E, 1, 2);  // LCNs to follow
    Put(r, kRecordOffset, recordOff, 2);
    Put(r, kClusterBlockOffset, static_cast<uint16_t>((recordNumber % 4) * 2), 2);
    Put(r, kTargetVcn, recordNumber / 4, 8);
    if (!undo.empty()) std::memcpy(r.data() + kHeaderSize + kData, undo.data(), undo.size());
    Put(r, kClientDataLength, static_cast<uint32_t>(r.size() - kHeaderSize), 4);
    return r;
}

struct Fixture {
    std::string path;      // the log
    std::string flatPath;  // the same without last LSNs
    uint64_t bytes = 0;
    std::vector<std::pair<uint64_t, uint64_t>> files;  // base record's LSN, extension's LSN
    // For each of the 50,000 files whose transactions fill the log: the LSNs its records carry
    // after its last deletion in the log (base record 1000 + 2i, extension record the next).
    std::vector<std::pair<uint64_t, uint64_t>> latest =
        std::vector<std::pair<uint64_t, uint64_t>>(kLogFiles);

    Fixture() {
        const char* mib = std::getenv("QUORVANE_BENCH_LOG_MIB");
        bytes = uint64_t(mib && *mib ? std::atoi(mib) : 64) << 20;
        LogWriter writer(bytes);
        const std::vector<uint8_t> data = DataAttribute();
        std::vector<uint8_t> header(24, 0);
        std::memcpy(header.data(), "FILE", 4);
        header[record::kFlags] = record::kFlagInUse;
        // The $DATA attribute goes where the extension record's first attribute was.
        const uint16_t first = Load16(ExtensionRecord(0, 0).data() + record::kFirstAttribute);
        for (uint64_t n = 0;; ++n) {
            const uint64_t baseNumber = 1000 + 2 * (n % kLogFiles), ext = baseNumber + 1;
            uint64_t t1, t2, t3, t4;
            // Now and then a long record that runs on over two pages (a checkpoint's tables).
            if (n % 97 == 0) {
                std::vector<uint8_t> big =
                    LogRecord(0, 0x1F, 0, 0, 0, std::vector<uint8_t>(6000, 3));
                if (!writer.Add(big, t1)) break;
            }
            if (!writer.Add(LogRecord(0, kDeleteAttribute, kCreateAttribute, ext, first, data),
                            t1) ||
                !writer.Add(LogRecord(t1, kDeallocateFileRecordSegment,
                                      kInitializeFileRecordSegment, ext, 0, header),
                            t2) ||
                !writer.Add(LogRecord(t2, kDeallocateFileRecordSegment,
                                      kInitializeFileRecordSegment, baseNumber, 0, header),
                            t3) ||
                !writer.Add(LogRecord(t3, kForgetTransaction, kCompensationLogRecord, 0, 0, {}),
                            t4))
                break;
            if (files.size() < kRollbackFiles) files.emplace_back(t3, t2);
            latest[n % kLogFiles] = {t3, t2};
        }
        path = Write("NBL", writer.Build(true));
        flatPath = Write("NBF", writer.Build(false));
    }
    ~Fixture() {
        std::remove(path.c_str());
        std::remove(flatPath.c_str());
    }
    static std::string Write(const char* prefix, const std::vector<uint8_t>& bytes) {
        File f;
        if (!MakeTempFile(f, prefix) || !f.Write(bytes.data(), bytes.size())) std::abort();
        f.SetRemoveOnClose(false);
        return ToUtf8(f.Path());
    }
};

Fixture& TheFixture() {
    static Fixture fixture;
    return fixture;
}

void OpenLog(File& log, const std::string& path) {
    if (!log.Open(FromUtf8(path), File::Mode::kRead)) std::abort();
}

void BM_LoadLog(benchmark::State& state) {
    Fixture& f = TheFixture();
    File log;
    OpenLog(log, state.range(0) ? f.path : f.flatPath);
    size_t records = 0;
    for (auto _ : state) {
        LogRecordStore store;
        QuietProgress progress;
        if (!store.Load(log, kCluster, 512, 1024, progress)) std::abort();
        records = store.RecordCount();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * f.bytes));
    state.counters["records"] = static_cast<double>(records);
}
BENCHMARK(BM_LoadLog)->ArgName("walk")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

void BM_RollBack(benchmark::State& state) {
    Fixture& f = TheFixture();
    File log;
    OpenLog(log, f.path);
    LogRecordStore store;
    QuietProgress loading;
    if (!store.Load(log, kCluster, 512, 1024, loading)) std::abort();
    int kept = 0;
    DeletedFileMap files;
    for (auto _ : state) {
        state.PauseTiming();
        files.clear();
        for (size_t i = 0; i < f.files.size(); ++i) {
            const uint64_t baseNumber = 1000 + 2 * i, ext = baseNumber + 1;
            auto file = std::make_unique<DeletedFileImages>();
            if (!file->SetBaseImage(baseNumber, BaseRecord(baseNumber, f.files[i].first)) ||
                !file->AddExtension(ext, ExtensionRecord(baseNumber, f.files[i].second)))
                std::abort();
            files[baseNumber] = std::move(file);
        }
        QuietProgress progress;
        state.ResumeTiming();
        kept = RollBackDeletedFiles(files, store, kCluster, nullptr, progress);
    }
    state.counters["files"] = static_cast<double>(f.files.size());
    state.counters["kept"] = kept;
}
BENCHMARK(BM_RollBack)->Unit(benchmark::kMillisecond);

// A whole volume around the synthetic log: 4 KiB clusters, a $MFT of 262,144 records (256 MiB;
// QUORVANE_BENCH_MFT_RECORDS changes it) whose records from 1000 on are the 50,000 deleted files
// of the log's transactions (QUORVANE_BENCH_DELETED takes fewer), each a base record with an
// attribute list and an extension record that lost its $DATA, and whose other records are live
// files; the log is its $LogFile. The records are the test kit's; the image is written sparse
// to the temporary folder once per run.
struct LargeImage {
    std::string path;
    uint64_t records = 0;
    uint64_t deleted = 0;

    LargeImage() {
        Fixture& f = TheFixture();
        const char* n = std::getenv("QUORVANE_BENCH_MFT_RECORDS");
        records = n && *n ? std::strtoull(n, nullptr, 10) : 262144;
        records = std::max<uint64_t>(records, 1000 + 2 * kLogFiles + 64) & ~uint64_t{3};
        const char* d = std::getenv("QUORVANE_BENCH_DELETED");
        deleted =
            std::min<uint64_t>(d && *d ? std::strtoull(d, nullptr, 10) : kLogFiles, kLogFiles);
        const uint64_t mftLcn = 16, mftClusters = records / 4;
        const uint64_t logLcn = mftLcn + mftClusters, logClusters = f.bytes / kCluster;
        const uint64_t clusters = logLcn + logClusters + 16;
        File image;
        if (!MakeTempFile(image, "NBV")) std::abort();
        image.SetRemoveOnClose(false);
        path = ToUtf8(image.Path());
        auto at = [&](uint64_t offset, const std::vector<uint8_t>& bytes) {
            for (size_t done = 0; done < bytes.size();) {
                const ssize_t wrote =
                    ::pwrite(image.Descriptor(), bytes.data() + done, bytes.size() - done,
                             static_cast<off_t>(offset + done));
                if (wrote <= 0) std::abort();
                done += static_cast<size_t>(wrote);
            }
        };
        at(0, test::MakeBootSector(512, kCluster / 512, mftLcn, 0xF6,
                                   clusters * (kCluster / 512) - 1));
        auto named = [] { return RecordBuilder(1024).InUse().FileName(kRoot, u"file.bin"); };
        const std::vector<uint8_t> system = RecordBuilder(1024).InUse().Build();
        const std::vector<uint8_t> live =
            named().ResidentData(std::vector<uint8_t>(200, 0x61)).Build();
        std::vector<uint8_t> mft(records * 1024, 0);
        for (uint64_t r = 0; r < records; ++r) {
            std::vector<uint8_t> rec;
            if (r == 0) {
                rec = named().NonResidentData({{mftLcn, mftClusters}}, records * 1024).Build();
            } else if (r == 2) {
                rec = named().NonResidentData({{logLcn, logClusters}}, f.bytes).Build();
            } else if (r == 5) {
                rec = named().Directory().Build();
            } else if (r >= 1000 && r < 1000 + 2 * deleted) {
                const uint64_t i = (r - 1000) / 2;
                rec = r % 2 == 0 ? BaseRecord(r, f.latest[i].first)
                                 : ExtensionRecord(r - 1, f.latest[i].second);
            }
            const std::vector<uint8_t>& bytes = !rec.empty() ? rec : r < 24 ? system : live;
            std::memcpy(mft.data() + r * 1024, bytes.data(), 1024);
        }
        at(mftLcn * kCluster, mft);
        File log;
        OpenLog(log, f.path);
        std::vector<uint8_t> bytes(static_cast<size_t>(f.bytes));
        const Result<size_t> read = log.ReadAt(0, bytes.data(), bytes.size());
        if (!read || *read != bytes.size()) std::abort();
        at(logLcn * kCluster, bytes);
        at(clusters * kCluster - 1, {0});
    }
    ~LargeImage() { std::remove(path.c_str()); }
};

// One scan of an image file: the session and the collection of its deleted files.
std::vector<DeletedFile> ScanOnce(const std::string& path, bool advanced) {
    Result<std::unique_ptr<DeviceFile>> device = DeviceFile::Open(FromUtf8(path));
    if (!device) std::abort();
    auto reader = std::make_unique<VolumeReader>();
    if (!reader->Open(std::move(*device))) std::abort();
    QuietProgress progress;
    Result<std::unique_ptr<ScanSession>> session =
        ScanSession::Open(std::move(reader), ScanOptions{advanced, u"B:"}, progress);
    if (!session) std::abort();
    DeletedFileList list;
    if (!(*session)->FindDeletedFiles(list, progress)) std::abort();
    return std::move(list.files);
}

void BM_ScanLarge(benchmark::State& state) {
    static LargeImage image;
    const bool advanced = state.range(0) != 0;
    size_t rows = 0, withData = 0;
    for (auto _ : state) {
        const auto files = ScanOnce(image.path, advanced);
        rows = files.size();
        withData = 0;
        for (const DeletedFile& file : files)
            withData += file.size > 0;  // the advanced scan brings the $DATA back
    }
    state.counters["rows"] = static_cast<double>(rows);
    state.counters["with_data"] = static_cast<double>(withData);
    state.counters["mft_records"] = static_cast<double>(image.records);
}
BENCHMARK(BM_ScanLarge)->ArgName("advanced")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_Scan(benchmark::State& state) {
    const char* image = std::getenv("QUORVANE_BENCH_IMAGE");
    if (image == nullptr || *image == 0) {
        state.SkipWithError("set QUORVANE_BENCH_IMAGE to an NTFS image");
        return;
    }
    const bool advanced = state.range(0) != 0;
    size_t rows = 0;
    for (auto _ : state)
        rows = ScanOnce(image, advanced).size();
    state.counters["rows"] = static_cast<double>(rows);
}
BENCHMARK(BM_Scan)->ArgName("advanced")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
