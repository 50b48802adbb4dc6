#include "ntfs/FileNameAttribute.h"

namespace qv {

std::optional<FileNameSlot> FileNameSlot::Parse(ByteSpan value) {
    if (value.size() < filename::kName) return std::nullopt;
    const uint8_t* v = value.data();
    FileNameSlot slot;
    slot.parentReference = Load64(v + filename::kParentReference);
    slot.creationTime = Load64(v + filename::kCreationTime);
    slot.modificationTime = Load64(v + filename::kModificationTime);
    slot.accessTime = Load64(v + filename::kAccessTime);
    slot.dataSize = Load64(v + filename::kDataSize);
    slot.flags = Load32(v + filename::kFlags);
    slot.nameSpace = v[filename::kNameSpace];
    size_t length = v[filename::kNameLength];
    const size_t available = (value.size() - filename::kName) / 2;
    if (length > available) length = available;
    slot.name.resize(length);
    for (size_t i = 0; i < length; ++i)
        slot.name[i] = static_cast<char16_t>(Load16(v + filename::kName + 2 * i));
    return slot;
}

}  // namespace qv
