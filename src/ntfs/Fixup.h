#pragma once

#include <cstdint>

#include "base/LittleEndian.h"

namespace qv {

// Multi-sector protection of FILE records (and log pages): before writing a record NTFS saves
// the last two bytes of every 512-byte block in the update sequence array and puts the update
// sequence number there instead. Reading it back means putting the saved words back.
//
// The header says where the update sequence array lies and its count of words (the number
// itself plus one saved word per block): record::kUsaOffset and record::kUsaCount.
struct FixupResult {
    uint32_t applied = 0;       // blocks whose last word was restored
    uint32_t mismatches = 0;    // blocks whose last word was not the update sequence number
    bool arrayOutside = false;  // the array, or part of it, lies outside the record
};

// NTFS protects every 512-byte block, whatever the sector size.
constexpr uint32_t kFixupStride = 512;

// Restores the saved words of a record image in place: one per 512-byte block, bounded by the
// update sequence count and by the record. A block whose last word is not the update sequence
// number (a torn or stale write) is restored all the same: an undelete tool reads damaged records
// as they are; the count of such blocks is reported for whoever wants to flag it.
FixupResult ApplyFixups(MutableByteSpan record, uint32_t stride = kFixupStride);

}  // namespace qv
