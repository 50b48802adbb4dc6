#include "ntfs/AttributeHeader.h"

namespace qv {

std::optional<AttributeHeader> AttributeWalker::Next() {
    if (done_) return std::nullopt;
    const size_t a = offset_;
    auto stop = [this](bool damaged) -> std::optional<AttributeHeader> {
        done_ = true;
        damaged_ = damaged_ || damaged;
        return std::nullopt;
    };
    const auto type = Read32(image_, a + attribute::kType);
    if (!type) return stop(true);
    if (*type == kAttrEnd || *type == 0) return stop(false);
    const auto length = Read32(image_, a + attribute::kLength);
    if (!length || *length == 0 || !Fits(image_.size(), a, *length) ||
        *length < attribute::kCommonHeaderSize)
        return stop(true);

    ByteSpan attr = image_.subspan(a, *length);
    AttributeHeader h;
    h.type = *type;
    h.length = *length;
    h.nonResident = (attr[attribute::kNonResident] & 1) != 0;
    const uint8_t nameLength = attr[attribute::kNameLength];
    const uint16_t nameOffset = Load16(attr.data() + attribute::kNameOffset);
    h.flags = Load16(attr.data() + attribute::kFlags);
    h.id = Load16(attr.data() + attribute::kId);
    if (nameLength > 0) {
        if (!Fits(attr.size(), nameOffset, uint64_t{nameLength} * 2)) return stop(true);
        h.name.resize(nameLength);
        for (size_t i = 0; i < nameLength; ++i)
            h.name[i] = static_cast<char16_t>(Load16(attr.data() + nameOffset + 2 * i));
    }
    if (!h.nonResident) {
        if (attr.size() < attribute::kResidentHeaderSize) return stop(true);
        const uint32_t valueLength = Load32(attr.data() + attribute::kValueLength);
        const uint16_t valueOffset = Load16(attr.data() + attribute::kValueOffset);
        if (valueOffset >= attr.size()) {
            h.hasValue = false;  // the value starts at (or past) the attribute's end
            h.valueClipped = valueOffset > attr.size();
        } else {
            h.hasValue = true;
            const size_t available = attr.size() - valueOffset;
            h.valueClipped = valueLength > available;
            h.value = attr.subspan(valueOffset, h.valueClipped ? available : valueLength);
        }
    } else {
        if (attr.size() < attribute::kNonResidentHeaderSize) return stop(true);
        h.lowestVcn = Load64(attr.data() + attribute::kLowestVcn);
        h.highestVcn = Load64(attr.data() + attribute::kHighestVcn);
        const uint16_t pairsOffset = Load16(attr.data() + attribute::kPairsOffset);
        h.compressionUnit = Load16(attr.data() + attribute::kCompressionUnit);
        h.allocatedSize = Load64(attr.data() + attribute::kAllocatedSize);
        h.dataSize = Load64(attr.data() + attribute::kDataSize);
        h.initializedSize = Load64(attr.data() + attribute::kInitializedSize);
        if (pairsOffset < attr.size()) h.mappingPairs = attr.subspan(pairsOffset);
    }
    current_ = a;
    offset_ = a + *length;
    return h;
}

}  // namespace qv
