#pragma once

#include <cstddef>
#include <cstdint>

namespace qv {

// $FILE_NAME namespaces (value offset 0x41).
enum FileNameSpace : uint8_t {
    kNameSpacePosix = 0,
    kNameSpaceWin32 = 1,
    kNameSpaceDos = 2,
    kNameSpaceWin32AndDos = 3,
};

// The value of a $FILE_NAME attribute, also the key of a file name index entry (offsets in the
// value). Times are FILETIMEs; the times, sizes and flags are the "duplicated information" that
// the folder's index entry repeats.
namespace filename {
constexpr size_t kParentReference = 0x00;  // (64)
constexpr size_t kCreationTime = 0x08;
constexpr size_t kModificationTime = 0x10;
constexpr size_t kChangeTime = 0x18;  // of the MFT record
constexpr size_t kAccessTime = 0x20;
constexpr size_t kAllocatedSize = 0x28;
constexpr size_t kDataSize = 0x30;
constexpr size_t kFlags = 0x38;       // (32)
constexpr size_t kReparse = 0x3C;     // (32)
constexpr size_t kNameLength = 0x40;  // in characters (8)
constexpr size_t kNameSpace = 0x41;   // FileNameSpace (8)
constexpr size_t kName = 0x42;        // UTF-16LE, the value's fixed part ends here
constexpr size_t kDuplicated = kCreationTime;
constexpr size_t kDuplicatedSize = kNameLength - kCreationTime;
}  // namespace filename

}  // namespace qv
