#include "ntfs/FileNameAttribute.h"

namespace qv {

std::optional<FileNameSlot> FileNameSlot::Parse(ByteSpan value) {
    constexpr size_t kNameOffset = 0x42;
    if (value.size() < kNameOffset) return std::nullopt;
    const uint8_t* v = value.data();
    FileNameSlot slot;
    slot.parentReference = Load64(v + 0x00);
    slot.creationTime = Load64(v + 0x08);
    slot.modificationTime = Load64(v + 0x10);
    slot.accessTime = Load64(v + 0x20);
    slot.dataSize = Load64(v + 0x30);
    slot.flags = Load32(v + 0x38);
    slot.nameSpace = v[0x41];
    size_t length = v[0x40];
    const size_t available = (value.size() - kNameOffset) / 2;
    if (length > available) length = available;
    slot.name.resize(length);
    for (size_t i = 0; i < length; ++i)
        slot.name[i] = static_cast<char16_t>(Load16(v + kNameOffset + 2 * i));
    return slot;
}

}  // namespace qv
