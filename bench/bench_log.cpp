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

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "ImageBytes.h"
#include "app/ProgressDialog.h"
#include "deepscan/DeepScan.h"
#include "deepscan/LogFormat.h"
#include "deepscan/LogRecordStore.h"
#include "ntfs/FileRecord.h"
#include "ntfs/Fixup.h"
#include "platform/DriveTable.h"
#include "platform/File.h"
#include "platform/TempFile.h"
#include "platform/Text.h"
#include "scan/DeletedFileImages.h"
#include "scan/ScanSession.h"

namespace {

using namespace qv;
using namespace qv::logfmt;

constexpr uint32_t kPage = 4096;
constexpr uint32_t kBits = 40;  // as on a 64 MiB log
constexpr uint32_t kCluster = 4096;
constexpr size_t kRollbackFiles = 10000;
constexpr size_t kLogFiles = 50000;

using bench::Put16;
using bench::Put32;
using bench::Put64;

// A 1 KiB FILE record, protected as on disk: header, the given attributes, the end marker.
std::vector<uint8_t> Record(uint64_t lsn, uint64_t baseReference,
                            const std::vector<std::vector<uint8_t>>& attributes,
                            uint16_t flags = 0) {
    std::vector<uint8_t> r(1024, 0);
    std::memcpy(r.data(), "FILE", 4);
    Put16(r, 0x04, 0x30);
    Put16(r, 0x06, 3);
    Put64(r, 0x08, lsn);
    Put16(r, 0x10, 1);
    Put16(r, 0x14, 0x38);
    Put16(r, 0x16, flags);
    Put32(r, 0x1C, 1024);
    Put64(r, 0x20, baseReference);
    size_t at = 0x38;
    for (const auto& a : attributes) {
        std::memcpy(r.data() + at, a.data(), a.size());
        at += a.size();
    }
    Put32(r, at, 0xFFFFFFFF);
    Put32(r, 0x18, static_cast<uint32_t>(at + 8));
    Put16(r, 0x30, 1);
    for (int i = 0; i < 2; ++i) {
        const size_t end = 510 + 512 * i;
        r[0x32 + 2 * i] = r[end], r[0x33 + 2 * i] = r[end + 1];
        Put16(r, end, 1);
    }
    return r;
}

std::vector<uint8_t> Resident(uint32_t type, const std::vector<uint8_t>& value) {
    std::vector<uint8_t> a(Align8(0x18 + value.size()), 0);
    Put32(a, 0, type);
    Put32(a, 0x10, static_cast<uint32_t>(value.size()));
    Put16(a, 0x14, 0x18);
    if (!value.empty()) std::memcpy(a.data() + 0x18, value.data(), value.size());
    Put32(a, 4, static_cast<uint32_t>(a.size()));
    return a;
}

// The $DATA a deleted file's extension record held: three runs.
std::vector<uint8_t> DataAttribute() {
    std::vector<uint8_t> a(0x40, 0);
    Put32(a, 0, 0x80);
    a[8] = 1;
    Put64(a, 0x18, 8);
    Put16(a, 0x20, 0x40);
    Put64(a, 0x28, 9 * kCluster);
    Put64(a, 0x30, 9 * kCluster - 100);
    Put64(a, 0x38, 9 * kCluster - 100);
    for (uint8_t b : {0x21, 0x03, 0x2C, 0x01, 0x21, 0x02, 0x4C, 0xFF, 0x21, 0x04, 0x7C, 0x01, 0x00})
        a.push_back(b);
    a.resize(Align8(a.size()), 0);
    Put32(a, 4, static_cast<uint32_t>(a.size()));
    return a;
}

std::vector<uint8_t> FileNameValue() {
    std::vector<uint8_t> v(0x42 + 2 * 8, 0);
    Put64(v, 0, 5 | (uint64_t{5} << 48));
    v[0x40] = 8;
    v[0x41] = 1;
    for (int i = 0; i < 8; ++i)
        v[0x42 + 2 * i] = static_cast<uint8_t>("file.bin"[i]);
    return v;
}

// Writes records into the log page by page, as the log file service does.
class LogWriter {
public:
    explicit LogWriter(size_t bytes) : log_(bytes, 0) {
        for (uint64_t at : {0u, kPage}) {
            std::memcpy(log_.data() + at, "RSTR", 4);
            Put32(log_, at + 0x10, kPage);
            Put32(log_, at + 0x14, kPage);
            Put16(log_, at + 0x18, 0x30);
            Put32(log_, at + 0x30 + 0x10, kBits);
            Put16(log_, at + 0x30 + 0x26, 64);
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
        Put64(record, 0, lsn);
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
            Put16(b, base + 4, 0x28);
            Put16(b, base + 6, 9);
            Put64(b, base + 8, keepLastLsn ? last_[page] : 0);
            Put16(b, base + 0x28, 7);
            for (int i = 1; i <= 8; ++i) {
                const size_t end = base + i * 512 - 2;
                b[base + 0x28 + 2 * i] = b[end], b[base + 0x29 + 2 * i] = b[end + 1];
                Put16(b, end, 7);
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
    std::vector<uint8_t> r(Align8(48 + 0x28 + undo.size()), 0);
    Put64(r, 0x08, previous);
    Put64(r, 0x10, previous);
    Put32(r, 0x20, 1);
    Put16(r, 0x30, redoOp);
    Put16(r, 0x32, undoOp);
    Put16(r, 0x34, 0x28);
    Put16(r, 0x38, 0x28);
    Put16(r, 0x3A, static_cast<uint16_t>(undo.size()));
    Put16(r, 0x3E, 1);
    Put16(r, 0x40, recordOff);
    Put16(r, 0x44, static_cast<uint16_t>((recordNumber % 4) * 2));
    Put64(r, 0x48, recordNumber / 4);
    if (!undo.empty()) std::memcpy(r.data() + 48 + 0x28, undo.data(), undo.size());
    Put32(r, 0x18, static_cast<uint32_t>(r.size() - 48));
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
    std::vector<uint8_t> extension;  // image without LSN and base

    // A deleted file's base record: its name, and an attribute list whose $DATA is in the next
    // record.
    static std::vector<uint8_t> Base(uint64_t number) {
        std::vector<uint8_t> list(0x40, 0);
        Put32(list, 0x00, 0x30), Put16(list, 0x04, 0x20), list[7] = 0x1A;
        Put64(list, 0x10, number);
        Put32(list, 0x20, 0x80), Put16(list, 0x24, 0x20), list[0x27] = 0x1A;
        Put64(list, 0x30, number + 1);
        return Record(0, 0, {Resident(0x30, FileNameValue()), Resident(0x20, list)});
    }

    Fixture() {
        const char* mib = std::getenv("QUORVANE_BENCH_LOG_MIB");
        bytes = uint64_t(mib && *mib ? std::atoi(mib) : 64) << 20;
        LogWriter writer(bytes);
        const std::vector<uint8_t> data = DataAttribute();
        std::vector<uint8_t> header(24, 0);
        std::memcpy(header.data(), "FILE", 4);
        header[0x16] = 1;
        for (uint64_t n = 0;; ++n) {
            const uint64_t baseNumber = 1000 + 2 * (n % kLogFiles), ext = baseNumber + 1;
            uint64_t t1, t2, t3, t4;
            // Now and then a long record that runs on over two pages (a checkpoint's tables).
            if (n % 97 == 0) {
                std::vector<uint8_t> big =
                    LogRecord(0, 0x1F, 0, 0, 0, std::vector<uint8_t>(6000, 3));
                if (!writer.Add(big, t1)) break;
            }
            if (!writer.Add(LogRecord(0, kDeleteAttribute, kCreateAttribute, ext, 0x38, data),
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
        extension = Record(0, 0, {});
    }
    ~Fixture() {
        std::remove(path.c_str());
        std::remove(flatPath.c_str());
    }
    static std::string Write(const char* prefix, const std::vector<uint8_t>& bytes) {
        File f;
        if (MakeTempFile(f, prefix) != 0 || !f.Write(bytes.data(), bytes.size())) std::abort();
        f.SetRemoveOnClose(false);
        return ToUtf8(f.Path());
    }
};

Fixture& TheFixture() {
    static Fixture fixture;
    return fixture;
}

void BM_LoadLog(benchmark::State& state) {
    Fixture& f = TheFixture();
    File log;
    if (!log.Open(FromUtf8(state.range(0) ? f.path : f.flatPath), File::Mode::kRead)) std::abort();
    size_t records = 0;
    for (auto _ : state) {
        LogRecordStore store;
        ProgressDialog progress;
        if (store.Load(log, kCluster, 512, 1024, progress) != 0) std::abort();
        records = store.RecordCount();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * f.bytes));
    state.counters["records"] = static_cast<double>(records);
}
BENCHMARK(BM_LoadLog)->ArgName("walk")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

void BM_RollBack(benchmark::State& state) {
    Fixture& f = TheFixture();
    File log;
    if (!log.Open(FromUtf8(f.path), File::Mode::kRead)) std::abort();
    LogRecordStore store;
    ProgressDialog loading;
    if (store.Load(log, kCluster, 512, 1024, loading) != 0) std::abort();
    int kept = 0;
    DeletedFileMap files;
    for (auto _ : state) {
        state.PauseTiming();
        files.clear();
        for (size_t i = 0; i < f.files.size(); ++i) {
            const uint64_t baseNumber = 1000 + 2 * i, ext = baseNumber + 1;
            std::vector<uint8_t> base = f.Base(baseNumber), extension = f.extension;
            Put64(base, 8, f.files[i].first);
            Put64(extension, 8, f.files[i].second);
            Put64(extension, 0x20, baseNumber);
            auto file = std::make_unique<DeletedFileImages>();
            file->SetBaseImage(baseNumber, base);
            file->AddExtension(ext, extension);
            files[baseNumber] = std::move(file);
        }
        ProgressDialog progress;
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
// files; the log is its $LogFile. Written sparse to the temporary folder once per run.
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
        if (MakeTempFile(image, "NBV") != 0) std::abort();
        image.SetRemoveOnClose(false);
        path = ToUtf8(image.Path());
        auto at = [&](uint64_t offset, const std::vector<uint8_t>& bytes) {
            if (image.Seek(static_cast<int64_t>(offset)) < 0 ||
                !image.Write(bytes.data(), bytes.size()))
                std::abort();
        };
        std::vector<uint8_t> boot(512, 0);
        boot[0] = 0xEB, boot[1] = 0x52, boot[2] = 0x90;
        std::memcpy(boot.data() + 3, "NTFS    ", 8);
        Put16(boot, 0x0B, 512);
        boot[0x0D] = kCluster / 512;
        Put64(boot, 0x28, clusters * (kCluster / 512) - 1);
        Put64(boot, 0x30, mftLcn);
        Put64(boot, 0x38, 2);
        boot[0x40] = 0xF6;
        boot[0x44] = 1;
        boot[510] = 0x55, boot[511] = 0xAA;
        at(0, boot);
        auto nonResident = [](uint64_t lcn, uint64_t count, uint64_t size) {
            std::vector<uint8_t> a(0x50, 0);
            Put32(a, 0, 0x80);
            a[8] = 1;
            Put64(a, 0x18, count - 1);
            Put16(a, 0x20, 0x40);
            Put64(a, 0x28, count * kCluster);
            Put64(a, 0x30, size);
            Put64(a, 0x38, size);
            a[0x40] = 0x44;  // 4-byte length, 4-byte offset
            for (int i = 0; i < 4; ++i) {
                a[0x41 + i] = static_cast<uint8_t>(count >> (8 * i));
                a[0x45 + i] = static_cast<uint8_t>(lcn >> (8 * i));
            }
            Put32(a, 4, 0x50);
            return a;
        };
        const std::vector<uint8_t> name = Resident(0x30, FileNameValue());
        const std::vector<uint8_t> data = Resident(0x80, std::vector<uint8_t>(200, 0x61));
        std::vector<uint8_t> mft(records * 1024, 0);
        for (uint64_t r = 0; r < records; ++r) {
            std::vector<uint8_t> rec;
            if (r == 0) {
                rec = Record(0, 0, {name, nonResident(mftLcn, mftClusters, records * 1024)}, 1);
            } else if (r == 2) {
                rec = Record(0, 0, {name, nonResident(logLcn, logClusters, f.bytes)}, 1);
            } else if (r == 5) {
                rec = Record(0, 0, {name}, 3);
            } else if (r >= 1000 && r < 1000 + 2 * deleted) {
                const uint64_t i = (r - 1000) / 2;
                if (r % 2 == 0) {
                    rec = Fixture::Base(r);
                    Put64(rec, 8, f.latest[i].first);
                } else {
                    rec = f.extension;
                    Put64(rec, 8, f.latest[i].second);
                    Put64(rec, 0x20, r - 1);
                }
            } else {
                rec = Record(0, 0,
                             r < 24 ? std::vector<std::vector<uint8_t>>{}
                                    : std::vector<std::vector<uint8_t>>{name, data},
                             1);
            }
            std::memcpy(mft.data() + r * 1024, rec.data(), 1024);
        }
        at(mftLcn * kCluster, mft);
        File log;
        if (!log.Open(FromUtf8(f.path), File::Mode::kRead)) std::abort();
        std::vector<uint8_t> bytes(static_cast<size_t>(f.bytes));
        if (log.ReadAt(0, bytes.data(), bytes.size()) != static_cast<int64_t>(bytes.size()))
            std::abort();
        at(logLcn * kCluster, bytes);
        at(clusters * kCluster - 1, {0});
    }
    ~LargeImage() { std::remove(path.c_str()); }
};

// One scan of a drive: the session and the collection of its deleted files.
std::vector<std::unique_ptr<FileRecord>> ScanOnce(char16_t letter, bool advanced) {
    ProgressDialog progress;
    ScanSession session(letter, advanced, progress);
    std::vector<std::unique_ptr<FileRecord>> out;
    session.FindDeletedFiles(out, advanced, progress);
    return out;
}

void BM_ScanLarge(benchmark::State& state) {
    static LargeImage image;
    const char16_t letter = DriveTable::Global().Assign(FromUtf8(image.path));
    const bool advanced = state.range(0) != 0;
    size_t rows = 0, withData = 0;
    for (auto _ : state) {
        const auto out = ScanOnce(letter, advanced);
        rows = out.size();
        withData = 0;
        for (const auto& r : out)
            withData += r->UnnamedStream() != nullptr;
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
    const char16_t letter = DriveTable::Global().Assign(FromUtf8(image));
    const bool advanced = state.range(0) != 0;
    size_t rows = 0;
    for (auto _ : state)
        rows = ScanOnce(letter, advanced).size();
    state.counters["rows"] = static_cast<double>(rows);
}
BENCHMARK(BM_Scan)->ArgName("advanced")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
