#pragma once

#include <cstddef>
#include <cstdint>

namespace qv {

// A folder's index as it lies in its $INDEX_ROOT value (offsets in the value, in the index
// header and in an entry).
namespace index {
// $INDEX_ROOT value: the indexed attribute type, the collation rule, the index buffer size and
// clusters per buffer, then the index header.
constexpr size_t kRootHeader = 0x10;

// Index header (offsets from the header; the entry offsets too).
constexpr size_t kFirstEntry = 0x00;      // (32)
constexpr size_t kBytesInUse = 0x04;      // end of the last entry (32)
constexpr size_t kBytesAllocated = 0x08;  // (32)
constexpr size_t kHeaderSize = 0x10;

// Index entry.
constexpr size_t kDataOffset = 0x00;   // view indexes: where the entry's data lies (16)
constexpr size_t kDataLength = 0x02;   // view indexes (16)
constexpr size_t kEntryLength = 0x08;  // (16)
constexpr size_t kKeyLength = 0x0A;    // (16)
constexpr size_t kEntryFlags = 0x0C;   // kEntrySubNode, kEntryLast (16)
constexpr size_t kKey = 0x10;          // in a file name index, a $FILE_NAME value
constexpr size_t kEntryHeaderSize = 0x10;
// An entry with a sub-node ends in the sub-node's VCN (64).
constexpr size_t kSubNodeVcnSize = 8;

constexpr uint16_t kEntrySubNode = 1;
constexpr uint16_t kEntryLast = 2;
}  // namespace index

}  // namespace qv
