// The advanced scan on a hostile $LogFile copy and hostile record images: LogRecordStore::Load,
// FindEntry, Fetch, FetchPrevious, Rollback, the undo of every change in a record image, and
// RollBackDeletedFiles.
//
// Input: a mode byte, an image count byte, that many record images (each the record size, cut or
// padded with zeros), then the log copy (everything that is left).
//   mode bits 0-1: cluster size 512, 1024, 4096 or 65536
//   mode bit 2:    4096-byte records, else 1024
//   mode bits 3-7: which indexed record the images' LSNs are taken from (0: as in the images)
// Image 0 is a deleted file's base record (number 40), the others its extension records (41, 42,
// ...). Every indexed record is rolled back once into copies of all images, whatever record its
// changes name, so that every undo the log holds meets every image.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "FuzzSupport.h"
#include "base/Progress.h"
#include "deepscan/ChangeSink.h"
#include "deepscan/DeepScan.h"
#include "deepscan/DeletedFileImages.h"
#include "deepscan/LogRecordStore.h"
#include "deepscan/RecordUndo.h"
#include "ntfs/FileRecord.h"
#include "support/MemoryDevice.h"

namespace {

using namespace qv;

constexpr uint64_t kBase = 40;
constexpr size_t kMaxImages = 4;

// Applies every change to every image it is given, checking what an undo may do to a record.
class EveryImageSink final : public ChangeSink {
public:
    explicit EveryImageSink(std::vector<std::vector<uint8_t>>& images) : images_(images) {}
    int ApplyChange(uint64_t, uint32_t, uint32_t, ByteSpan, int32_t) override { return 0; }
    int ApplyRecordChange(const RecordChange& change) override {
        for (std::vector<uint8_t>& image : images_) {
            const std::vector<uint8_t> before = image;
            const UndoResult r = UndoIntoImage(image, change);
            QV_FUZZ_CHECK(image.size() == before.size());
            if (r == UndoResult::kApplied) {
                QV_FUZZ_CHECK(IsSoundRecordImage(image));
            } else {
                QV_FUZZ_CHECK(image == before);
            }
        }
        return 1;
    }

private:
    std::vector<std::vector<uint8_t>>& images_;
};

}  // namespace

QV_FUZZ_DEFAULT_FLAGS

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    static const uint32_t kClusterSizes[] = {512, 1024, 4096, 65536};
    const uint8_t mode = data[0];
    const uint32_t clusterSize = kClusterSizes[mode & 3];
    const uint32_t recordSize = (mode & 4) ? 4096 : 1024;
    const size_t imageCount = std::min<size_t>(data[1], kMaxImages);
    size_t at = 2;
    std::vector<std::vector<uint8_t>> images;
    for (size_t i = 0; i < imageCount; ++i) {
        std::vector<uint8_t> image(recordSize, 0);
        const size_t n = std::min<size_t>(recordSize, size - at);
        std::copy(data + at, data + at + n, image.begin());
        at += n;
        images.push_back(std::move(image));
    }

    test::MemoryDevice log(std::vector<uint8_t>(data + at, data + size));
    LogRecordStore store;
    QuietProgress progress;
    const Status loaded = store.Load(log, clusterSize, 512, recordSize, progress);
    QV_FUZZ_CHECK(loaded || loaded.error().code == kLogCannotServe);
    if (!loaded) QV_FUZZ_CHECK(store.RecordCount() == 0);

    // The index: runs of non-decreasing LSNs, each entry found again and fetched whole.
    std::vector<uint64_t> lsns;
    for (const LsnRun& run : store.Runs()) {
        QV_FUZZ_CHECK(!run.empty());
        for (size_t i = 0; i < run.size(); ++i) {
            if (i > 0) QV_FUZZ_CHECK(run[i - 1].lsn <= run[i].lsn);
            lsns.push_back(run[i].lsn);
            uint64_t position = 0;
            const auto record = store.Fetch(run[i].lsn, position);
            QV_FUZZ_CHECK(record.has_value());
            QV_FUZZ_CHECK(record->size() >= 48);
            QV_FUZZ_CHECK(Load64(record->data()) == run[i].lsn);
            QV_FUZZ_CHECK(position + record->size() <= store.StoreLength());
            QV_FUZZ_CHECK(store.FindEntry(run[i].lsn) != nullptr);
            uint64_t previous = position;
            const auto closing = store.FetchPrevious(0, previous);
            if (closing) {
                QV_FUZZ_CHECK(closing->size() == 88 && previous + 88 == position);
            } else {
                QV_FUZZ_CHECK(previous == position);
            }
        }
    }

    // Every transaction, undone into every image.
    std::vector<std::vector<uint8_t>> copies = images;
    EveryImageSink every(copies);
    store.SetSink(&every);
    for (size_t i = 0; i < lsns.size() && i < 256; ++i) {
        const std::optional<int> changes = store.Rollback(lsns[i]);
        QV_FUZZ_CHECK(changes.has_value() && *changes >= 0);
    }
    // An LSN that is not indexed rolls nothing back.
    QV_FUZZ_CHECK(store.Rollback(0).has_value() == (store.FindEntry(0) != nullptr));
    store.SetSink(nullptr);

    // The deleted file itself, as the scan rolls it back.
    if (!images.empty()) {
        const size_t pick = mode >> 3;
        if (pick > 0 && !lsns.empty()) {
            const uint64_t lsn = lsns[(pick - 1) % lsns.size()];
            for (size_t i = 0; i < images.size(); ++i)
                for (int b = 0; b < 8; ++b)
                    images[i][record::kLsn + b] = static_cast<uint8_t>(lsn >> (8 * b));
        }
        DeletedFileMap files;
        auto file = std::make_unique<DeletedFileImages>();
        QV_FUZZ_CHECK(file->SetBaseImage(kBase, images[0]));
        for (size_t i = 1; i < images.size(); ++i)
            QV_FUZZ_CHECK(file->AddExtension(kBase + i, images[i]));
        files[kBase] = std::move(file);
        QuietProgress rolling;
        const int kept = RollBackDeletedFiles(files, store, clusterSize, nullptr, rolling);
        QV_FUZZ_CHECK(kept == 0 || kept == 1);
        QV_FUZZ_CHECK(files.size() == 1);
        const DeletedFileImages& f = *files[kBase];
        QV_FUZZ_CHECK(f.Base()->image.size() == recordSize);
        if (kept == 0) QV_FUZZ_CHECK(f.Base()->image == images[0]);
        for (const auto& [number, image] : f.Extensions()) {
            QV_FUZZ_CHECK(image->image.size() == recordSize);
            if (kept == 0) QV_FUZZ_CHECK(image->image == images[number - kBase]);
        }
        f.BuildFileRecord(clusterSize, nullptr);
    }
    return 0;
}
