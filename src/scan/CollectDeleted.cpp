// Which MFT records are deleted files, and how each becomes one FileRecord.
#include <algorithm>
#include <new>

#include "base/Error.h"
#include "base/Progress.h"
#include "deepscan/DeepScan.h"
#include "deepscan/LogRecordStore.h"
#include "ntfs/FileRecord.h"
#include "ntfs/RecordHeader.h"
#include "scan/ScanSession.h"

namespace qv {

namespace {

// Records 0 to 23 are the volume's own metadata files and reserved records.
constexpr uint64_t kFirstUserRecord = 24;
// The walk reads the copy in slices of this many bytes (whole records).
constexpr size_t kSliceBytes = 1u << 20;

enum class Kind { kSkip, kBase, kExtension };

// Classifies a raw record (no fixups: every field read lies in the first 512-byte block, before
// the first protected word).
Kind Classify(const uint8_t* r, size_t size, uint64_t& baseNumber) {
    if (!HasFileSignature(r, size) || size < record::kHeaderSize) return Kind::kSkip;
    // Live records, and folders whether live or deleted, are never reported.
    const uint16_t flags = Load16(r + record::kFlags);
    if (flags & (record::kFlagInUse | record::kFlagDirectory)) return Kind::kSkip;
    baseNumber = RecordNumberOf(Load64(r + record::kBaseReference));
    if (baseNumber != 0) return Kind::kExtension;
    // A base record without a single attribute was set up and never used (Windows
    // pre-initialises hundreds of them): not a deleted file.
    const uint16_t first = Load16(r + record::kFirstAttribute);
    if (first == 0 || !Fits(size, first, 4)) return Kind::kSkip;
    const uint32_t type = Load32(r + first);
    if (type == 0 || type == 0xFFFFFFFFu) return Kind::kSkip;
    return Kind::kBase;
}

DeletedFileImages& EntryFor(DeletedFileMap& files, uint64_t number) {
    auto& slot = files[number];
    if (!slot) slot = std::make_unique<DeletedFileImages>();
    return *slot;
}

}  // namespace

int ScanSession::CollectCandidates(DeletedFileMap& files, Progress& progress) {
    if (progress.IsCancelled()) return 0;
    const uint64_t records = copyLength_ / recordSize_;
    const size_t perSlice = static_cast<size_t>(
        std::max<uint64_t>(1, std::min<uint64_t>(kSliceBytes / recordSize_, records)));
    std::vector<uint8_t> slice(perSlice * recordSize_);
    uint64_t number = kFirstUserRecord;
    try {
        while (true) {
            const int64_t got = mftCopy_.ReadAt(number * recordSize_, slice.data(), slice.size());
            if (got < 0) return kErrRead;  // the copy cannot be read: a list would be cut short
            if (got == 0) return 0;
            const size_t whole = static_cast<size_t>(got) / recordSize_;
            for (size_t i = 0; i < whole; ++i, ++number) {
                progress.Step(recordSize_);
                const uint8_t* r = slice.data() + i * recordSize_;
                uint64_t base = 0;
                switch (Classify(r, recordSize_, base)) {
                    case Kind::kSkip: break;
                    case Kind::kBase: EntryFor(files, number).NoteBase(number); break;
                    case Kind::kExtension: EntryFor(files, base).NoteExtension(number); break;
                }
                if (progress.IsCancelled()) return 0;
            }
            // A copy whose length is not a multiple of the record size ends at its last whole
            // record.
            if (whole < perSlice) return 0;
        }
    } catch (const std::bad_alloc&) {
        return kErrNoMemory;
    }
}

int ScanSession::FindDeletedFiles(std::vector<std::unique_ptr<FileRecord>>& out, bool advanced,
                                  Progress& progress) {
    DeletedFileMap files;
    progress.SetSteps(static_cast<int64_t>(copyLength_));
    if (const int r = CollectCandidates(files, progress); r < 0) return r;

    auto source = [this](uint64_t n, std::vector<uint8_t>& buffer) {
        return ReadRecord(n, buffer);
    };
    if (advanced && logRecordStore_) {
        // Only files spread over extension records are rolled back; their images are loaded
        // now, the others' when they are built.
        for (auto& [number, file] : files) {
            if (file->HasBaseImage() && file->ExtensionCount() > 0) {
                if (const int r = file->LoadImages(source); r < 0) return r;
            }
        }
        progress.SetSteps(static_cast<int64_t>(files.size()));
        RollBackDeletedFiles(files, *logRecordStore_, clusterSize_, reader_.get(), progress);
        logRecordStore_.reset();
    }

    progress.SetSteps(static_cast<int64_t>(files.size()));
    if (progress.IsCancelled()) return 0;
    for (auto& [number, file] : files) {
        if (!file->ImagesLoaded()) {
            if (const int r = file->LoadImages(source); r < 0) return r;
        }
        if (auto record = file->BuildFileRecord(clusterSize_, reader_.get())) {
            out.push_back(std::move(record));
        }
        file->ReleaseImages();
        progress.Step(1);
        if (progress.IsCancelled()) break;
    }
    return 0;
}

}  // namespace qv
