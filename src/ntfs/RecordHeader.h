#pragma once

#include <cstdint>

namespace qv {

// FILE record header (offsets in the record):
//   0x00 "FILE", 0x04 update sequence array offset, 0x06 update sequence count,
//   0x08 $LogFile sequence number (LSN), 0x10 sequence number, 0x12 hard link count,
//   0x14 offset of the first attribute, 0x16 flags, 0x18 bytes in use, 0x1C bytes allocated,
//   0x20 base record reference (0 for a base record), 0x28 next attribute id,
//   0x2C this record's number (XP and later).
namespace record {
constexpr size_t kHeaderSize = 48;
constexpr size_t kLsn = 0x08;
constexpr size_t kSequence = 0x10;
constexpr size_t kFirstAttribute = 0x14;
constexpr size_t kFlags = 0x16;
constexpr size_t kBaseReference = 0x20;
constexpr size_t kRecordNumber = 0x2C;

constexpr uint16_t kFlagInUse = 0x0001;
constexpr uint16_t kFlagDirectory = 0x0002;
}  // namespace record

// True when the image begins with the "FILE" signature.
inline bool HasFileSignature(const uint8_t* image, size_t size) {
    return size >= 4 && image[0] == 'F' && image[1] == 'I' && image[2] == 'L' && image[3] == 'E';
}

}  // namespace qv
