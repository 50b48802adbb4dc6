#pragma once

#include <cstdint>
#include <vector>

namespace qv::test {

// An LZNT1 compressor (hash chains over each chunk): each 4096-byte chunk of data becomes a
// compressed chunk, or a stored one when compressing would not make it smaller (or when
// forceStored is set; a stored chunk holds a whole 4096 bytes, a short last one padded with
// zeros).
std::vector<uint8_t> Lznt1Compress(const std::vector<uint8_t>& data, bool forceStored = false);

}  // namespace qv::test
