#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/LittleEndian.h"
#include "ntfs/AttributeHeader.h"
#include "ntfs/AttributeList.h"
#include "ntfs/FileNameAttribute.h"
#include "ntfs/RecordHeader.h"
#include "ntfs/RunList.h"
#include "platform/LocalTime.h"

namespace qv {

class VolumeReader;

// What parsing an image gave: every attribute read as it should be; damaged (an attribute or a
// value runs past its room, a name or a list entry is broken) but what was read is usable; or
// nothing at all (no "FILE" signature, no attributes).
enum class Parsed { kFine, kDamaged, kUnreadable };

// The parsed view of one file from one or more FILE record images: the header of the record it
// was set up with, one $FILE_NAME per namespace, its $DATA streams by name, and its attribute
// list. Several images (base and extension records) may be parsed into one FileRecord; what they
// contribute accumulates.
class FileRecord {
public:
    static constexpr size_t kMaxStreams = 256;

    // Copies the first 48 bytes of a record image into the header. Parsing never sets it.
    int SetHeader(ByteSpan image);

    // Applies the fixups to image in place and takes its attributes: file names, $DATA streams,
    // the attribute list. A non-resident attribute list is read through reader (skipped without
    // one). An image without the "FILE" signature contributes nothing. A damaged attribute ends
    // the walk and marks the record Damaged() from then on. Memory running out throws
    // CMyException(kErrNoMemory).
    Parsed Parse(MutableByteSpan image, uint32_t clusterSize, VolumeReader* reader = nullptr);
    // The same, taking only the $FILE_NAME attributes.
    Parsed ParseFileNames(MutableByteSpan image, uint32_t clusterSize);
    // Takes from an extension record only the attribute that an attribute-list entry names
    // (matched by type and attribute id, else by type, name and starting VCN). False when the
    // image does not hold that attribute.
    bool ParseListedAttribute(MutableByteSpan image, const AttributeListEntry& entry,
                              uint32_t clusterSize, VolumeReader* reader = nullptr);
    // An extent of a $DATA stream that the attribute list names could not be found (its
    // extension record is missing, reused by another file, or damaged): a copy of that stream
    // cannot be whole, whatever its runs say.
    void MarkExtentMissing(const std::u16string& stream);
    bool ExtentMissing(const std::u16string& stream) const;

    // The MFT record number the file was read from (its base record), when the reader knows it.
    void SetRecordNumber(uint64_t number) { recordNumber_ = number; }
    uint64_t RecordNumber() const { return recordNumber_; }

    // Header.
    bool IsBaseRecord() const { return BaseReference() == 0; }
    uint64_t BaseReference() const;
    uint16_t Flags() const;
    bool IsDirectory() const { return (Flags() & record::kFlagDirectory) != 0; }
    bool IsInUse() const { return (Flags() & record::kFlagInUse) != 0; }
    uint16_t SequenceNumber() const;
    const std::array<uint8_t, record::kHeaderSize>& Header() const { return header_; }

    // Names: the preferred slot is Win32, then Win32-and-DOS, then DOS, then POSIX.
    const FileNameSlot* PreferredName() const;
    std::u16string GetName() const;
    // Low 32 bits of the preferred name's parent record number; 0xFFFFFFFF without a name.
    uint32_t GetParent() const;
    // The whole parent reference (record number and sequence); 0 without a name.
    uint64_t GetParentReference() const;
    // Creation, modification and last access time of the preferred name; kErrNoFileName and
    // nothing filled when the record has no name.
    int GetTimes(CTime& created, CTime& modified, CTime& accessed) const;
    // The name of one namespace (an empty slot when the record has none).
    const FileNameSlot& Slot(FileNameSpace ns) const;

    // Streams. The file's content is its unnamed stream.
    size_t StreamCount() const { return streams_.size(); }
    const RunList* GetDataStream(size_t i) const;
    const RunList* FindStream(const std::u16string& name) const;
    const RunList* UnnamedStream() const { return FindStream(u""); }
    // Size of the unnamed stream (0 without one); named streams are not part of the content.
    uint64_t TotalDataSize(uint32_t clusterSize) const;

    // Attribute list entries of every list parsed, in order.
    size_t AttributeListCount() const { return attributeList_.size(); }
    const AttributeListEntry* GetAttributeListEntry(size_t i) const;

    // Attributes met by Parse (any type); a record with none was set up and never used.
    uint32_t AttributeCount() const { return attributeCount_; }
    bool Damaged() const { return damaged_; }

private:
    static uint16_t PrepareImage(MutableByteSpan image);
    void HandleAttribute(const AttributeHeader& attribute, uint32_t clusterSize,
                         VolumeReader* reader);
    void AddDataStream(const AttributeHeader& attribute);
    void ReadNonResidentList(const AttributeHeader& attribute, uint32_t clusterSize,
                             VolumeReader* reader);
    void StoreFileName(ByteSpan value);
    RunList* FindOrAddStream(const std::u16string& name);

    std::array<uint8_t, record::kHeaderSize> header_{};
    std::vector<FileNameSlot> names_;  // the namespaces present, one slot each (most files: 1-2)
    std::vector<std::unique_ptr<RunList>> streams_;
    std::vector<AttributeListEntry> attributeList_;
    std::vector<std::u16string> missingExtents_;  // names of the streams concerned
    uint64_t recordNumber_ = 0;
    uint32_t attributeCount_ = 0;
    bool damaged_ = false;
};

}  // namespace qv
