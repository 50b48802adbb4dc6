#include "deepscan/DeletedFileImages.h"

#include <algorithm>
#include <new>

#include "base/Error.h"
#include "ntfs/FileRecord.h"

namespace qv {

namespace {

std::unique_ptr<RecordImage> MakeImage(uint64_t recordNumber, ByteSpan record) {
    auto image = std::unique_ptr<RecordImage>(new (std::nothrow) RecordImage);
    if (!image) return nullptr;
    image->image.assign(record.begin(), record.end());
    image->lsn = record.size() >= record::kLsn + 8 ? Load64(record.data() + record::kLsn) : 0;
    image->recordNumber = recordNumber;
    return image;
}

}  // namespace

void DeletedFileImages::NoteExtension(uint64_t recordNumber) {
    const auto at =
        std::lower_bound(extensionNumbers_.begin(), extensionNumbers_.end(), recordNumber);
    if (at == extensionNumbers_.end() || *at != recordNumber)
        extensionNumbers_.insert(at, recordNumber);
}

Status DeletedFileImages::SetBaseImage(uint64_t recordNumber, ByteSpan record) {
    auto image = MakeImage(recordNumber, record);
    if (!image) return Error(kErrNoMemory);
    baseAsFound_.assign(record.begin(), record.end());
    base_ = std::move(image);
    NoteBase(recordNumber);
    return {};
}

Status DeletedFileImages::AddExtension(uint64_t recordNumber, ByteSpan record) {
    auto image = MakeImage(recordNumber, record);
    if (!image) return Error(kErrNoMemory);
    extensions_[recordNumber] = std::move(image);
    NoteExtension(recordNumber);
    return {};
}

Status DeletedFileImages::LoadImages(const RecordSource& source) {
    if (!hasBase_) return {};
    std::vector<uint8_t> buffer;
    if (Status r = source(baseNumber_, buffer); !r) return r;
    if (Status r = SetBaseImage(baseNumber_, buffer); !r) return r;
    for (const uint64_t n : extensionNumbers_) {
        if (!source(n, buffer)) continue;
        if (Status r = AddExtension(n, buffer); !r) return r;
    }
    return {};
}

void DeletedFileImages::ReleaseImages() {
    base_.reset();
    extensions_.clear();
    std::vector<uint8_t>().swap(baseAsFound_);  // assigning {} would keep the capacity
}

std::unique_ptr<FileRecord> DeletedFileImages::BuildFileRecord(uint32_t clusterSize,
                                                               VolumeReader* reader) const {
    if (!base_) return nullptr;
    auto file = std::make_unique<FileRecord>();
    file->SetRecordNumber(base_->recordNumber);
    file->SetHeader(base_->image);
    // Names as the record stood in the MFT; a name in the (rolled back) base image replaces
    // the one of its namespace.
    std::vector<uint8_t> found = baseAsFound_;
    file->ParseFileNames(found, clusterSize);
    std::vector<uint8_t> base = base_->image;
    file->Parse(base, clusterSize, reader);
    // Each entry names one attribute in one record: take exactly that attribute, so an extension
    // record named by several entries adds each of its attributes once.
    const size_t entries = file->AttributeListCount();
    for (size_t i = 0; i < entries; ++i) {
        const AttributeListEntry entry = *file->GetAttributeListEntry(i);
        if (entry.type == kAttrAttributeList) continue;  // lists live in the base record
        const uint64_t segment = entry.SegmentRecordNumber();
        if (segment == base_->recordNumber) continue;  // parsed with the base record
        const auto it = extensions_.find(segment);
        // An extent of the file's data whose record is gone (reused by another file, or not a
        // deleted extension record of this file any more) leaves a hole that the runs of the
        // other extents cannot show: the copy must say it is incomplete.
        const bool data = entry.type == kAttrData;
        if (it == extensions_.end()) {
            if (data) file->MarkExtentMissing(entry.name);
            continue;
        }
        std::vector<uint8_t> copy = it->second->image;
        const bool taken = file->ParseListedAttribute(copy, entry, clusterSize, reader);
        if (data && !taken) file->MarkExtentMissing(entry.name);
    }
    return file;
}

}  // namespace qv
