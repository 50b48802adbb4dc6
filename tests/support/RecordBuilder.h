#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ntfs/Fixup.h"
#include "ntfs/RecordHeader.h"

namespace qv::test {

// A file reference: the record number, and its sequence number in the top 16 bits.
constexpr uint64_t Ref(uint64_t record, uint16_t sequence) {
    return record | (uint64_t{sequence} << 48);
}

// A record image with its fixups undone, as a reader sees it once it is off the disk.
inline std::vector<uint8_t> Fixed(std::vector<uint8_t> image) {
    ApplyFixups(image);
    return image;
}

// One run for EncodeMappingPairs: lcn 0 is a sparse run (no offset field).
struct RunSpec {
    uint64_t lcn;
    uint64_t length;
};
// Encodes runs as NTFS mapping pairs (smallest fields, relative signed offsets, a 0 at the end).
std::vector<uint8_t> EncodeMappingPairs(const std::vector<RunSpec>& runs);

struct ListEntrySpec {
    uint32_t type;
    uint64_t startingVcn;
    uint64_t segmentReference;
    uint16_t attributeId;
    std::u16string name;
};
// Encodes an $ATTRIBUTE_LIST value.
std::vector<uint8_t> EncodeAttributeList(const std::vector<ListEntrySpec>& entries);

// Builds FILE record images the way NTFS writes them: header, attributes, end marker, and the
// update sequence array with every 512-byte block's last word saved and replaced.
class RecordBuilder {
public:
    explicit RecordBuilder(uint32_t recordSize = 1024) : recordSize_(recordSize) {}

    RecordBuilder& InUse(bool inUse = true) {
        flags_ = static_cast<uint16_t>(inUse ? flags_ | record::kFlagInUse
                                             : flags_ & ~record::kFlagInUse);
        return *this;
    }
    RecordBuilder& Directory() {
        flags_ |= record::kFlagDirectory;
        return *this;
    }
    RecordBuilder& Sequence(uint16_t sequence) {
        sequence_ = sequence;
        return *this;
    }
    RecordBuilder& BaseReference(uint64_t reference) {
        base_ = reference;
        return *this;
    }
    RecordBuilder& Lsn(uint64_t lsn) {
        lsn_ = lsn;
        return *this;
    }
    RecordBuilder& RecordNumber(uint32_t number) {
        number_ = number;
        return *this;
    }

    RecordBuilder& FileName(uint64_t parentReference, const std::u16string& name,
                            uint8_t nameSpace = 1, uint64_t created = 0, uint64_t modified = 0,
                            uint64_t accessed = 0);
    RecordBuilder& ResidentData(const std::vector<uint8_t>& value, const std::u16string& name = u"",
                                uint16_t flags = 0);
    // A non-resident $DATA extent. Sizes are written only for the first extent (lowestVcn 0),
    // as NTFS does; initialized defaults to dataSize.
    RecordBuilder& NonResidentData(const std::vector<RunSpec>& runs, uint64_t dataSize,
                                   const std::u16string& name = u"", uint64_t lowestVcn = 0,
                                   uint16_t compressionUnit = 0, uint16_t flags = 0,
                                   int64_t initialized = -1);
    RecordBuilder& ResidentAttributeList(const std::vector<ListEntrySpec>& entries);
    // Any attribute record, given whole (header included); its length field is used as is.
    RecordBuilder& Raw(const std::vector<uint8_t>& attribute);
    RecordBuilder& Resident(uint32_t type, const std::vector<uint8_t>& value,
                            const std::u16string& name = u"", uint16_t flags = 0);

    // The next attribute id Build will give.
    uint16_t NextId() const { return nextId_; }
    // The bytes of the i-th attribute added, as Build places them (for a log's undo data).
    const std::vector<uint8_t>& Attribute(size_t i) const { return attributes_.at(i); }

    std::vector<uint8_t> Build() const;

private:
    uint32_t recordSize_, number_ = 0;
    uint16_t flags_ = 0, sequence_ = 1, usn_ = 0x0007, nextId_ = 0;
    uint64_t base_ = 0, lsn_ = 0;
    std::vector<std::vector<uint8_t>> attributes_;
};

}  // namespace qv::test
