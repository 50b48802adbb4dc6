#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "base/LittleEndian.h"

namespace qv {

// Attribute type codes the program reads.
enum AttributeType : uint32_t {
    kAttrStandardInformation = 0x10,
    kAttrAttributeList = 0x20,
    kAttrFileName = 0x30,
    kAttrData = 0x80,
    kAttrEnd = 0xFFFFFFFF,
};

// Attribute flags (header offset 0x0C).
enum AttributeFlags : uint16_t {
    kAttrFlagCompressed = 0x0001,
    kAttrFlagEncrypted = 0x4000,
    kAttrFlagSparse = 0x8000,
};

// One attribute record inside a FILE record, decoded and bounded by the record.
//
// Common header:       0x00 type, 0x04 record length, 0x08 non-resident flag, 0x09 name length
//                      (characters), 0x0A name offset, 0x0C flags, 0x0E attribute id.
// Resident:            0x10 value length, 0x14 value offset.
// Non-resident:        0x10 lowest VCN, 0x18 highest VCN, 0x20 mapping pairs offset,
//                      0x22 compression unit (exponent), 0x28 allocated size, 0x30 data size,
//                      0x38 initialized size.
struct AttributeHeader {
    uint32_t type = 0;
    uint32_t length = 0;
    bool nonResident = false;
    uint16_t flags = 0;
    uint16_t id = 0;
    std::u16string name;

    // Resident attributes: the value, clipped to the attribute (valueClipped tells).
    ByteSpan value;
    bool valueClipped = false;
    bool hasValue = false;  // false when the value starts at the attribute's end

    // Non-resident attributes.
    uint64_t lowestVcn = 0;
    uint64_t highestVcn = 0;
    uint16_t compressionUnit = 0;
    uint64_t allocatedSize = 0;
    uint64_t dataSize = 0;
    uint64_t initializedSize = 0;
    ByteSpan mappingPairs;  // from the mapping pairs offset to the attribute's end

    bool IsCompressed() const { return (flags & kAttrFlagCompressed) != 0; }
};

// Walks the attributes of a FILE record image, refusing to leave it. Ends at the end marker, at
// a type of 0, and at the first attribute whose length is 0, too short for its header, or not
// wholly inside the image (then Damaged() is true).
class AttributeWalker {
public:
    AttributeWalker(ByteSpan image, size_t firstOffset) : image_(image), offset_(firstOffset) {}
    // The next attribute, or nullopt at the end.
    std::optional<AttributeHeader> Next();
    bool Damaged() const { return damaged_; }
    // Offset of the attribute last returned.
    size_t Offset() const { return current_; }

private:
    ByteSpan image_;
    size_t offset_;
    size_t current_ = 0;
    bool done_ = false;
    bool damaged_ = false;
};

}  // namespace qv
