#include "scan/DeletedFileImages.h"

#include <new>

#include "app/ErrorCodes.h"
#include "ntfs/FileRecord.h"

namespace qv {

namespace {

std::unique_ptr<RecordImage> MakeImage(uint64_t recordNumber, ByteSpan record) {
    auto image = std::unique_ptr<RecordImage>(new (std::nothrow) RecordImage);
    if (!image) return nullptr;
    image->image.assign(record.begin(), record.end());
    image->lsn = record.size() >= 16 ? Load64(record.data() + 8) : 0;
    image->recordNumber = recordNumber;
    return image;
}

}  // namespace

int DeletedFileImages::SetBaseImage(uint64_t recordNumber, ByteSpan record) {
    auto image = MakeImage(recordNumber, record);
    if (!image) return kErrNoMemory;
    baseAsFound_.assign(record.begin(), record.end());
    base_ = std::move(image);
    return 0;
}

int DeletedFileImages::AddExtension(uint64_t recordNumber, ByteSpan record) {
    auto image = MakeImage(recordNumber, record);
    if (!image) return kErrNoMemory;
    extensions_[recordNumber] = std::move(image);
    return 0;
}

std::unique_ptr<FileRecord> DeletedFileImages::BuildFileRecord(uint32_t clusterSize,
                                                               VolumeReader* reader) const {
    if (!base_) return nullptr;
    auto file = std::make_unique<FileRecord>();
    file->SetHeader(base_->image);
    // Names as the record stood in the MFT; a name in the (rolled back) base image replaces
    // the one of its namespace.
    std::vector<uint8_t> found = baseAsFound_;
    file->ParseFileNames(found, clusterSize);
    std::vector<uint8_t> base = base_->image;
    if (file->Parse(base, clusterSize, reader) < 0) return nullptr;
    // Each entry names one attribute in one record: take exactly that attribute, so an extension
    // record named by several entries adds each of its attributes once.
    const size_t entries = file->AttributeListCount();
    for (size_t i = 0; i < entries; ++i) {
        const AttributeListEntry entry = *file->GetAttributeListEntry(i);
        if (entry.type == kAttrAttributeList) continue;  // lists live in the base record
        const auto it = extensions_.find(entry.SegmentRecordNumber());
        if (it == extensions_.end()) continue;  // the base record itself, or not collected
        std::vector<uint8_t> copy = it->second->image;
        file->ParseListedAttribute(copy, entry, clusterSize, reader);
    }
    return file;
}

}  // namespace qv
