#include "ntfs/AttributeHeader.h"

namespace qv {

namespace {
constexpr uint32_t kResidentHeaderSize = 0x18;
constexpr uint32_t kNonResidentHeaderSize = 0x40;
}  // namespace

std::optional<AttributeHeader> AttributeWalker::Next() {
    if (done_) return std::nullopt;
    const size_t a = offset_;
    auto stop = [this](bool damaged) -> std::optional<AttributeHeader> {
        done_ = true;
        damaged_ = damaged_ || damaged;
        return std::nullopt;
    };
    const auto type = Read32(image_, a);
    if (!type) return stop(true);
    if (*type == kAttrEnd || *type == 0) return stop(false);
    const auto length = Read32(image_, a + 4);
    if (!length || *length == 0 || !Fits(image_.size(), a, *length) || *length < 0x10)
        return stop(true);

    ByteSpan attr = image_.subspan(a, *length);
    AttributeHeader h;
    h.type = *type;
    h.length = *length;
    h.nonResident = (attr[8] & 1) != 0;
    const uint8_t nameLength = attr[9];
    const uint16_t nameOffset = Load16(attr.data() + 0x0A);
    h.flags = Load16(attr.data() + 0x0C);
    h.id = Load16(attr.data() + 0x0E);
    if (nameLength > 0) {
        if (!Fits(attr.size(), nameOffset, uint64_t{nameLength} * 2)) return stop(true);
        h.name.resize(nameLength);
        for (size_t i = 0; i < nameLength; ++i)
            h.name[i] = static_cast<char16_t>(Load16(attr.data() + nameOffset + 2 * i));
    }
    if (!h.nonResident) {
        if (attr.size() < kResidentHeaderSize) return stop(true);
        const uint32_t valueLength = Load32(attr.data() + 0x10);
        const uint16_t valueOffset = Load16(attr.data() + 0x14);
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
        if (attr.size() < kNonResidentHeaderSize) return stop(true);
        h.lowestVcn = Load64(attr.data() + 0x10);
        h.highestVcn = Load64(attr.data() + 0x18);
        const uint16_t pairsOffset = Load16(attr.data() + 0x20);
        h.compressionUnit = Load16(attr.data() + 0x22);
        h.allocatedSize = Load64(attr.data() + 0x28);
        h.dataSize = Load64(attr.data() + 0x30);
        h.initializedSize = Load64(attr.data() + 0x38);
        if (pairsOffset < attr.size()) h.mappingPairs = attr.subspan(pairsOffset);
    }
    current_ = a;
    offset_ = a + *length;
    return h;
}

}  // namespace qv
