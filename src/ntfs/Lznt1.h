#pragma once

#include <cstdint>

#include "base/LittleEndian.h"

namespace qv {

// LZNT1, the compression of NTFS. A compression unit (usually 16 clusters) is a sequence of
// chunks, each with a 16-bit header: low 12 bits = chunk size - 3 (header included), bit 15 =
// compressed, bit 12 = the signature bit the format always sets. A compressed chunk decodes to
// at most 4096 bytes; a stored chunk holds its bytes as they are.
//
// Both functions are pure: they read only input and write only output, never past either.

// Decodes one unit into output. Returns the bytes produced, or kErrDecompress when the unit is
// damaged: a chunk overrunning the unit by one or two bytes, output past the end, a
// back-reference before the chunk's first byte, a chunk of more than kMaxChunkOutput bytes.
int32_t DecompressUnit(ByteSpan input, MutableByteSpan output);

// Decodes the data of one compressed chunk (without its header) into output. Returns the bytes
// produced, or kErrDecompress.
int32_t DecompressChunk(ByteSpan data, MutableByteSpan output);

// A valid chunk produces at most 4096 bytes; a chunk that would produce more than this fails.
constexpr uint32_t kMaxChunkOutput = 10000;
constexpr uint32_t kChunkSize = 4096;

}  // namespace qv
