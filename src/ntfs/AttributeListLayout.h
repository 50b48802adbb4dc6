#pragma once

#include <cstddef>

namespace qv {

// One entry of an $ATTRIBUTE_LIST value: which FILE record holds which attribute of the file
// (offsets in the entry).
namespace attrlist {
constexpr size_t kType = 0x00;              // attribute type (32)
constexpr size_t kLength = 0x04;            // entry length (16)
constexpr size_t kNameLength = 0x06;        // in characters (8)
constexpr size_t kNameOffset = 0x07;        // (8)
constexpr size_t kStartingVcn = 0x08;       // (64)
constexpr size_t kSegmentReference = 0x10;  // the record holding the attribute (64)
constexpr size_t kAttributeId = 0x18;       // (16)
constexpr size_t kHeadSize = 0x1A;          // the name follows
}  // namespace attrlist

}  // namespace qv
