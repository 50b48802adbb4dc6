// Which MFT records are deleted files, and how each becomes one FileRecord.
#include <algorithm>
#include <new>
#include <set>
#include <utility>

#include "base/Error.h"
#include "base/Progress.h"
#include "base/Report.h"
#include "deepscan/DeepScan.h"
#include "deepscan/LogRecordStore.h"
#include "ntfs/AttributeLayout.h"
#include "ntfs/FileRecord.h"
#include "ntfs/RecordHeader.h"
#include "platform/Text.h"
#include "scan/ClusterBitmap.h"
#include "scan/FileStates.h"
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
    const uint32_t type = Load32(r + first + attribute::kType);
    if (type == 0 || type == kAttrEnd) return Kind::kSkip;
    return Kind::kBase;
}

DeletedFileImages& EntryFor(DeletedFileMap& files, uint64_t number) {
    auto& slot = files[number];
    if (!slot) slot = std::make_unique<DeletedFileImages>();
    return *slot;
}

}  // namespace

Status ScanSession::CollectCandidates(DeletedFileMap& files, Progress& progress) {
    if (progress.IsCancelled()) return {};
    const uint64_t records = recordsLength_ / recordSize_;
    const size_t perSlice = static_cast<size_t>(
        std::max<uint64_t>(1, std::min<uint64_t>(kSliceBytes / recordSize_, records)));
    std::vector<uint8_t> slice(perSlice * recordSize_);
    uint64_t number = kFirstUserRecord;
    progress.Step(std::min(kFirstUserRecord, records));  // the system's records are passed over
    try {
        while (true) {
            const uint64_t offset = number * recordSize_;
            if (offset >= recordsLength_) return {};
            const size_t wanted =
                static_cast<size_t>(std::min<uint64_t>(slice.size(), recordsLength_ - offset));
            ByteSource& walk = walk_ ? *walk_ : *records_;
            const Result<size_t> got = walk.ReadAt(offset, slice.data(), wanted);
            // The $MFT cannot be read: a list would be cut short.
            if (!got) return Error(kErrRead, "the $MFT cannot be read: " + got.error().Text());
            if (*got == 0) return {};
            const size_t whole = *got / recordSize_;
            for (size_t i = 0; i < whole; ++i, ++number) {
                progress.Step(1);
                const uint8_t* r = slice.data() + i * recordSize_;
                uint64_t base = 0;
                switch (Classify(r, recordSize_, base)) {
                    case Kind::kSkip: break;
                    case Kind::kBase: EntryFor(files, number).NoteBase(number); break;
                    case Kind::kExtension: EntryFor(files, base).NoteExtension(number); break;
                }
                if (progress.IsCancelled()) return {};
            }
            // An $MFT whose length is not a multiple of the record size ends at its last whole
            // record.
            if (whole < perSlice) return {};
        }
    } catch (const std::bad_alloc&) {
        return Error(kErrNoMemory);
    }
}

namespace {

// Files go to the sink in batches of this many: a front end takes each batch in one call.
constexpr size_t kBatch = 4096;

}  // namespace

DeletedFile ScanSession::Describe(const FileRecord& record) {
    DeletedFile file;
    file.record = record.RecordNumber();
    file.name = record.GetName();
    CTime accessed;
    record.GetTimes(file.created, file.deleted, accessed);  // none without a name
    file.size = record.TotalDataSize(clusterSize_);
    file.damaged = record.Damaged();
    for (size_t i = 0; const RunList* stream = record.GetDataStream(i); ++i)
        if (!stream->Name().empty()) file.hasNamedStreams = true;
    const JudgedState judged = JudgeFile(record, bitmap_.get());
    file.state = judged.state;
    file.overwrittenPercent = judged.overwrittenPercent;
    // A read error on the way up leaves the path partial; the file is listed all the same.
    if (record.PreferredName() != nullptr)
        FolderOf(record.GetParentReference(), &file.folder, &file.rooted);
    return file;
}

// Read once per scan: every listed file is judged against the bitmap as it is now.
void ScanSession::OpenBitmap() {
    auto readRecord = [this](uint64_t n, std::vector<uint8_t>& buffer) {
        return ReadRecord(n, buffer);
    };
    Result<std::unique_ptr<ClusterBitmap>> opened = OpenClusterBitmap(readRecord, *reader_);
    if (opened) {
        bitmap_ = std::move(*opened);
        return;
    }
    bitmap_.reset();
    Report(
        u"The allocation bitmap of %s cannot be read (%s): the deleted files' states are "
        u"unknown\n",
        options_.volumeName, FromUtf8(opened.error().Text()));
}

Status ScanSession::FindDeletedFiles(DeletedFileSink& sink, Progress& progress) {
    try {
        DeletedFileMap files;
        progress.SetUnitSteps(static_cast<int64_t>(RecordCount()), StepUnit::kRecords);
        if (Status collected = CollectCandidates(files, progress); !collected) return collected;

        auto source = [this](uint64_t n, std::vector<uint8_t>& buffer) {
            return ReadRecord(n, buffer);
        };
        std::set<uint64_t> kept;
        if (options_.advanced && logRecordStore_) {
            // Only files spread over extension records are rolled back; their images are
            // loaded now, the others' when they are built.
            for (auto& [number, file] : files) {
                if (file->HasBaseImage() && file->ExtensionCount() > 0) {
                    if (Status r = file->LoadImages(source); !r) return r;
                }
            }
            progress.SetUnitSteps(static_cast<int64_t>(files.size()), StepUnit::kFiles);
            RollBackDeletedFiles(files, *logRecordStore_, clusterSize_, reader_.get(), progress,
                                 &kept);
            logRecordStore_.reset();
        }

        progress.SetUnitSteps(static_cast<int64_t>(files.size()), StepUnit::kFiles);
        if (progress.IsCancelled()) return {};
        OpenBitmap();
        sink.Expect(files.size());
        std::vector<DeletedFile> batch;
        batch.reserve(std::min(kBatch, files.size()));
        for (auto it = files.begin(); it != files.end(); it = files.erase(it)) {
            DeletedFileImages& file = *it->second;
            if (!file.ImagesLoaded()) {
                if (Status r = file.LoadImages(source); !r) return r;
            }
            if (auto record = file.BuildFileRecord(clusterSize_, reader_.get())) {
                batch.push_back(Describe(*record));
                if (batch.size() == kBatch) {
                    sink.Take(std::exchange(batch, {}));
                    batch.reserve(kBatch);
                }
                // Its records as found, for the recovery to build it from the same bytes.
                if (!kept.count(it->first)) {
                    if (Status r = snapshot_.Add(it->first, file.Base()->image); !r) return r;
                    for (const auto& [number, image] : file.Extensions())
                        if (Status r = snapshot_.Add(number, image->image); !r) return r;
                }
            }
            if (kept.count(it->first)) {
                rolledBack_[it->first] = std::move(it->second);  // the recovery builds from these
            } else {
                file.ReleaseImages();
            }
            progress.Step(1);
            if (progress.IsCancelled()) break;
        }
        if (!batch.empty()) sink.Take(std::move(batch));
        if (Status r = snapshot_.Finish(); !r) return r;
    } catch (const CMyException& e) {
        return e.GetError();
    } catch (const std::bad_alloc&) {
        return Error(kErrNoMemory);
    }
    return {};
}

Result<std::unique_ptr<FileRecord>> ScanSession::LoadFile(uint64_t number, VolumeReader* reader) {
    if (reader == nullptr) reader = reader_.get();
    try {
        if (const auto it = rolledBack_.find(number); it != rolledBack_.end()) {
            if (auto record = it->second->BuildFileRecord(clusterSize_, reader)) return record;
            return Error(kErrRead, "the rolled-back record cannot be parsed");
        }
        // The records as the scan found them, not as the volume holds them now.
        std::vector<uint8_t> image;
        if (Status read = snapshot_.Read(number, image); !read) return read.error();
        DeletedFileImages file;
        if (Status set = file.SetBaseImage(number, image); !set) return set.error();
        auto record = file.BuildFileRecord(clusterSize_, reader);
        if (!record) return Error(kErrRead, "the record cannot be parsed");
        bool extended = false;
        std::vector<uint8_t> extension;
        for (size_t i = 0; i < record->AttributeListCount(); ++i) {
            const uint64_t segment = record->GetAttributeListEntry(i)->SegmentRecordNumber();
            if (segment == number || file.Extensions().count(segment) || !snapshot_.Has(segment) ||
                !snapshot_.Read(segment, extension))
                continue;
            if (Status added = file.AddExtension(segment, extension); !added) return added.error();
            extended = true;
        }
        if (!extended) return record;
        if (auto built = file.BuildFileRecord(clusterSize_, reader)) return built;
        return Error(kErrRead, "the record cannot be parsed");
    } catch (const CMyException& e) {
        return e.GetError();
    } catch (const std::bad_alloc&) {
        return Error(kErrNoMemory);
    }
}

}  // namespace qv
