#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "deepscan/ChangeSink.h"
#include "ntfs/LittleEndian.h"
#include "scan/RecordImage.h"

namespace qv {

class FileRecord;
class VolumeReader;

// Everything collected for one deleted file: its base record, its extension records by number,
// and the base record as found (never touched by the log rollback).
class DeletedFileImages : public ChangeSink {
public:
    int SetBaseImage(uint64_t recordNumber, ByteSpan record);
    int AddExtension(uint64_t recordNumber, ByteSpan record);
    bool HasBaseImage() const { return base_ != nullptr; }
    size_t ExtensionCount() const { return extensions_.size(); }

    RecordImage* Base() { return base_.get(); }
    const RecordImage* Base() const { return base_.get(); }
    std::map<uint64_t, std::unique_ptr<RecordImage>>& Extensions() { return extensions_; }
    const std::map<uint64_t, std::unique_ptr<RecordImage>>& Extensions() const {
        return extensions_;
    }
    const std::vector<uint8_t>& BaseAsFound() const { return baseAsFound_; }

    // Builds the file from its images: names from the base record as found (then from the base
    // image), the base image's attributes, and for each attribute-list entry the attribute it
    // names in the extension record that holds it. Null when there is no base image or it does
    // not parse. The images are left as they were (fixups are applied to copies).
    std::unique_ptr<FileRecord> BuildFileRecord(uint32_t clusterSize, VolumeReader* reader) const;

    // Log rollback (deep scan): picks the image to roll back next, applies a change to an image.
    int PopNewest(uint64_t& lsn, uint64_t& recordNumber);
    int ApplyChange(uint64_t recordNumber, uint32_t recordOff, uint32_t attrOff, ByteSpan data,
                    int32_t delta) override;

private:
    std::map<uint64_t, std::unique_ptr<RecordImage>> extensions_;
    std::unique_ptr<RecordImage> base_;
    std::vector<uint8_t> baseAsFound_;
};

// The deleted files of one scan, by base record number.
using DeletedFileMap = std::map<uint64_t, std::unique_ptr<DeletedFileImages>>;

}  // namespace qv
