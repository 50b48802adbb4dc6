#pragma once

#include <cstdint>
#include <vector>

namespace qv::test {

// An LZNT1 compressor (hash chains over each chunk): each 4096-byte chunk becomes a compressed
// chunk, or a stored one (whole 4096 bytes, zero-padded) when that is not smaller or forceStored.
std::vector<uint8_t> Lznt1Compress(const std::vector<uint8_t>& data, bool forceStored = false);

}  // namespace qv::test
