#pragma once

#include <cstddef>
#include <cstdint>

namespace qv {

// FILE record header (offsets in the record). The first eight bytes are the multi-sector header
// that index buffers and log pages share: the signature and where the update sequence array is.
namespace record {
constexpr size_t kSignature = 0x00;        // "FILE"
constexpr size_t kUsaOffset = 0x04;        // update sequence array offset (16 bits)
constexpr size_t kUsaCount = 0x06;         // its count of words: the number and one per block
constexpr size_t kLsn = 0x08;              // $LogFile sequence number of the last change (64)
constexpr size_t kSequence = 0x10;         // sequence number, raised each time it is freed (16)
constexpr size_t kLinkCount = 0x12;        // hard link count (16)
constexpr size_t kFirstAttribute = 0x14;   // offset of the first attribute (16)
constexpr size_t kFlags = 0x16;            // kFlagInUse, kFlagDirectory (16)
constexpr size_t kBytesInUse = 0x18;       // up to and including the end marker (32)
constexpr size_t kBytesAllocated = 0x1C;   // the record size (32)
constexpr size_t kBaseReference = 0x20;    // base record reference, 0 for a base record (64)
constexpr size_t kNextAttributeId = 0x28;  // the id the next attribute gets (16)
constexpr size_t kRecordNumber = 0x2C;     // this record's number (32; XP and later)
constexpr size_t kHeaderSize = 48;         // the update sequence array follows (at 0x30)

constexpr uint16_t kFlagInUse = 0x0001;
constexpr uint16_t kFlagDirectory = 0x0002;
}  // namespace record

// True when the image begins with the "FILE" signature.
inline bool HasFileSignature(const uint8_t* image, size_t size) {
    return size >= 4 && image[0] == 'F' && image[1] == 'I' && image[2] == 'L' && image[3] == 'E';
}

}  // namespace qv
