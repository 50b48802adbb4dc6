#pragma once

#include <cstdint>
#include <vector>

namespace qv::test {

// A plain LZNT1 compressor for tests: each 4096-byte chunk of data becomes a compressed chunk,
// or a stored one when compressing would not make it smaller (or when forceStored is set).
std::vector<uint8_t> Lznt1Compress(const std::vector<uint8_t>& data, bool forceStored = false);

}  // namespace qv::test
