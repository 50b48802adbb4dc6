#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "base/Error.h"
#include "base/LittleEndian.h"
#include "deepscan/ChangeSink.h"
#include "deepscan/RecordImage.h"

namespace qv {

class FileRecord;
class VolumeReader;

// Everything collected for one deleted file: the numbers of its base record and extension
// records, and, while they are needed, their images and the base record as found (never touched
// by the log rollback). The walk over the $MFT only notes the numbers: images are loaded from
// the $MFT copy when a file is rolled back or built, and released after, so a scan of a big
// volume does not hold a kilobyte or two per deleted file.
class DeletedFileImages : public ChangeSink {
public:
    // Reads record n of the $MFT into buffer (resized to the record size).
    using RecordSource = std::function<Status(uint64_t, std::vector<uint8_t>&)>;

    void NoteBase(uint64_t recordNumber) { baseNumber_ = recordNumber, hasBase_ = true; }
    void NoteExtension(uint64_t recordNumber);
    // A base record was collected for this file (its image may not be loaded).
    bool HasBaseImage() const { return hasBase_; }
    uint64_t BaseNumber() const { return baseNumber_; }
    size_t ExtensionCount() const { return extensionNumbers_.size(); }
    const std::vector<uint64_t>& ExtensionNumbers() const { return extensionNumbers_; }

    // Loads the images of the noted records; a record that cannot be read is left out.
    Status LoadImages(const RecordSource& source);
    void ReleaseImages();
    bool ImagesLoaded() const { return base_ != nullptr; }

    // Notes a record and keeps its image at once.
    Status SetBaseImage(uint64_t recordNumber, ByteSpan record);
    Status AddExtension(uint64_t recordNumber, ByteSpan record);

    RecordImage* Base() { return base_.get(); }
    const RecordImage* Base() const { return base_.get(); }
    std::map<uint64_t, std::unique_ptr<RecordImage>>& Extensions() { return extensions_; }
    const std::map<uint64_t, std::unique_ptr<RecordImage>>& Extensions() const {
        return extensions_;
    }

    // Builds the file from its loaded images: names from the base record as found (then from
    // the base image), the base image's attributes, and for each attribute-list entry the
    // attribute it names in the extension record that holds it. Null when the base image is not
    // loaded or does not parse. The images are left as they were (fixups go to copies).
    std::unique_ptr<FileRecord> BuildFileRecord(uint32_t clusterSize, VolumeReader* reader) const;

    // Log rollback (deep scan): picks the image to roll back next, applies a change to an image.
    int PopNewest(uint64_t& lsn, uint64_t& recordNumber);
    int ApplyChange(uint64_t recordNumber, uint32_t recordOff, uint32_t attrOff, ByteSpan data,
                    int32_t delta) override;

private:
    uint64_t baseNumber_ = 0;
    bool hasBase_ = false;
    std::vector<uint64_t> extensionNumbers_;  // ascending, no repeats
    std::map<uint64_t, std::unique_ptr<RecordImage>> extensions_;
    std::unique_ptr<RecordImage> base_;
    std::vector<uint8_t> baseAsFound_;
};

// The deleted files of one scan, by base record number.
using DeletedFileMap = std::map<uint64_t, std::unique_ptr<DeletedFileImages>>;

}  // namespace qv
