#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "base/LittleEndian.h"
#include "ntfs/AttributeLayout.h"

namespace qv {

// One attribute record inside a FILE record, decoded and bounded by the record (its layout is
// in AttributeLayout.h).
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
