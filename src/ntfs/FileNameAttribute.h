#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "base/LittleEndian.h"

namespace qv {

// $FILE_NAME namespaces (value offset 0x41).
enum FileNameSpace : uint8_t {
    kNameSpacePosix = 0,
    kNameSpaceWin32 = 1,
    kNameSpaceDos = 2,
    kNameSpaceWin32AndDos = 3,
};

// The value of a $FILE_NAME attribute:
//   0x00 parent directory reference, 0x08 creation time, 0x10 modification time,
//   0x18 MFT change time, 0x20 last access time (FILETIMEs), 0x28 allocated size,
//   0x30 data size, 0x38 flags, 0x40 name length (characters), 0x41 namespace, 0x42 name.
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
