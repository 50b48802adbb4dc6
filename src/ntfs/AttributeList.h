#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/LittleEndian.h"
#include "ntfs/AttributeListLayout.h"

namespace qv {

// One entry of an $ATTRIBUTE_LIST value, decoded (its layout is in AttributeListLayout.h).
struct AttributeListEntry {
    static constexpr size_t kHeadSize = attrlist::kHeadSize;

    uint32_t type = 0;
    uint16_t length = 0;
    uint64_t startingVcn = 0;
    uint64_t segmentReference = 0;
    uint16_t attributeId = 0;
    std::u16string name;

    uint64_t SegmentRecordNumber() const { return RecordNumberOf(segmentReference); }
};

// Appends one entry per entry of a list value to out. Stops, without reading past the value, at
// an entry whose length is smaller than its head or that does not lie wholly inside the value.
// Returns false when it stopped at such a damaged entry.
bool ParseAttributeList(ByteSpan value, std::vector<AttributeListEntry>& out);

}  // namespace qv
