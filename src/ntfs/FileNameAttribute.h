#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "base/LittleEndian.h"
#include "ntfs/FileNameLayout.h"

namespace qv {

// The value of a $FILE_NAME attribute, decoded (its layout is in FileNameLayout.h).
struct FileNameSlot {
    uint64_t parentReference = 0;
    uint64_t creationTime = 0;
    uint64_t modificationTime = 0;
    uint64_t accessTime = 0;
    uint64_t dataSize = 0;
    uint32_t flags = 0;
    uint8_t nameSpace = 0;
    std::u16string name;

    // A slot counts as present when its name is not empty.
    bool IsPresent() const { return !name.empty(); }

    // Decodes a value; nullopt when it is too short for the fixed part. A name that runs past the
    // value is cut at the value's end.
    static std::optional<FileNameSlot> Parse(ByteSpan value);
};

}  // namespace qv
