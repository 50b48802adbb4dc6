#include "ntfs/AttributeList.h"

namespace qv {

bool ParseAttributeList(ByteSpan value, std::vector<AttributeListEntry>& out) {
    size_t p = 0;
    while (p < value.size()) {
        if (!Fits(value.size(), p, attrlist::kHeadSize)) return false;
        const uint8_t* e = value.data() + p;
        AttributeListEntry entry;
        entry.type = Load32(e + attrlist::kType);
        entry.length = Load16(e + attrlist::kLength);
        if (entry.length < attrlist::kHeadSize || !Fits(value.size(), p, entry.length))
            return false;
        const uint8_t nameLength = e[attrlist::kNameLength];
        const uint8_t nameOffset = e[attrlist::kNameOffset];
        entry.startingVcn = Load64(e + attrlist::kStartingVcn);
        entry.segmentReference = Load64(e + attrlist::kSegmentReference);
        entry.attributeId = Load16(e + attrlist::kAttributeId);
        if (nameLength > 0 && Fits(entry.length, nameOffset, uint64_t{nameLength} * 2)) {
            entry.name.resize(nameLength);
            for (size_t i = 0; i < nameLength; ++i)
                entry.name[i] = static_cast<char16_t>(Load16(e + nameOffset + 2 * i));
        }
        out.push_back(std::move(entry));
        p += out.back().length;
    }
    return true;
}

}  // namespace qv
