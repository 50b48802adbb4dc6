#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace qv {

using ByteSpan = std::span<const uint8_t>;
using MutableByteSpan = std::span<uint8_t>;

// True when [offset, offset + size) lies inside a buffer of `length` bytes, without overflow.
constexpr bool Fits(size_t length, uint64_t offset, uint64_t size) {
    return offset <= length && size <= length - offset;
}

// Little-endian loads of n <= 8 bytes. Callers check bounds first (Fits); these only assert the
// width. All on-disk integers of NTFS are little-endian.
inline uint64_t LoadLE(const uint8_t* p, size_t n) {
    uint64_t v = 0;
    for (size_t i = n; i-- > 0;)
        v = (v << 8) | p[i];
    return v;
}
inline uint16_t Load16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t Load32(const uint8_t* p) {
    return static_cast<uint32_t>(LoadLE(p, 4));
}
inline uint64_t Load64(const uint8_t* p) {
    return LoadLE(p, 8);
}

inline void Store16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline void Store32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// Bounded reads from a span: nullopt when the field does not lie wholly inside.
inline std::optional<uint16_t> Read16(ByteSpan s, size_t off) {
    if (!Fits(s.size(), off, 2)) return std::nullopt;
    return Load16(s.data() + off);
}
inline std::optional<uint32_t> Read32(ByteSpan s, size_t off) {
    if (!Fits(s.size(), off, 4)) return std::nullopt;
    return Load32(s.data() + off);
}
inline std::optional<uint64_t> Read64(ByteSpan s, size_t off) {
    if (!Fits(s.size(), off, 8)) return std::nullopt;
    return Load64(s.data() + off);
}

// The 48-bit record number of a file reference (low 32 bits and the next 16); the top 16 bits
// are the sequence number.
constexpr uint64_t kRecordNumberMask = 0x0000'FFFF'FFFF'FFFFull;
constexpr uint64_t RecordNumberOf(uint64_t reference) {
    return reference & kRecordNumberMask;
}
constexpr uint16_t SequenceOf(uint64_t reference) {
    return static_cast<uint16_t>(reference >> 48);
}

}  // namespace qv
