#pragma once

#include <cstddef>
#include <cstdint>

namespace qv {

// Attribute type codes the program reads.
enum AttributeType : uint32_t {
    kAttrStandardInformation = 0x10,
    kAttrAttributeList = 0x20,
    kAttrFileName = 0x30,
    kAttrData = 0x80,
    kAttrIndexRoot = 0x90,
    kAttrEnd = 0xFFFFFFFF,  // the marker after a record's last attribute
};

// Attribute flags (header offset 0x0C).
enum AttributeFlags : uint16_t {
    kAttrFlagCompressed = 0x0001,
    kAttrFlagEncrypted = 0x4000,
    kAttrFlagSparse = 0x8000,
};

// An attribute record inside a FILE record (offsets in the attribute). Every attribute is
// 8-byte aligned and begins with the common header; a resident or a non-resident part follows.
namespace attribute {
// Common header.
constexpr size_t kType = 0x00;         // AttributeType (32)
constexpr size_t kLength = 0x04;       // of the whole attribute record (32)
constexpr size_t kNonResident = 0x08;  // 0 resident, 1 non-resident (8)
constexpr size_t kNameLength = 0x09;   // in characters (8)
constexpr size_t kNameOffset = 0x0A;   // (16)
constexpr size_t kFlags = 0x0C;        // AttributeFlags (16)
constexpr size_t kId = 0x0E;           // attribute id, unique in the record (16)
constexpr size_t kCommonHeaderSize = 0x10;

// Resident part.
constexpr size_t kValueLength = 0x10;         // (32)
constexpr size_t kValueOffset = 0x14;         // (16)
constexpr size_t kResidentHeaderSize = 0x18;  // also the smallest attribute there is

// Non-resident part.
constexpr size_t kLowestVcn = 0x10;        // first VCN this extent maps (64)
constexpr size_t kHighestVcn = 0x18;       // last VCN this extent maps (64)
constexpr size_t kPairsOffset = 0x20;      // mapping pairs offset (16)
constexpr size_t kCompressionUnit = 0x22;  // log2 of clusters per compression unit (16)
constexpr size_t kAllocatedSize = 0x28;    // sizes: in the extent of lowest VCN 0 only (64)
constexpr size_t kDataSize = 0x30;
constexpr size_t kInitializedSize = 0x38;  // valid data length
constexpr size_t kNonResidentHeaderSize = 0x40;
constexpr size_t kTotalAllocated = 0x40;  // compressed and sparse attributes only (64)
constexpr size_t kCompressedHeaderSize = 0x48;
}  // namespace attribute

}  // namespace qv
