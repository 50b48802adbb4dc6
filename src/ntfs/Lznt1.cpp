#include "ntfs/Lznt1.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "base/Error.h"

namespace qv {

int32_t DecompressChunk(ByteSpan data, MutableByteSpan output) {
    const uint8_t* in = data.data();
    const size_t inSize = data.size();
    uint8_t* out = output.data();
    const size_t outSize = output.size();
    // Output past this fails: the room given, and never more than kMaxChunkOutput.
    const size_t limit = std::min<size_t>(outSize, kMaxChunkOutput);
    size_t i = 0;  // consumed input
    size_t p = 0;  // produced output

    // The split between length and displacement bits grows with the position in the chunk:
    // k = max(4, significant bits of p - 1) displacement bits.
    int k = 4;
    size_t nextGrowth = 17;  // p at which p - 1 first needs k + 1 bits

    while (i < inSize) {
        const uint8_t flags = in[i++];
        for (int bit = 0; bit < 8 && i < inSize; ++bit) {
            if ((flags & (1u << bit)) == 0) {
                if (p >= limit) return kErrDecompress;
                out[p++] = in[i++];
                continue;
            }
            if (i + 2 > inSize) return kErrDecompress;  // a token cut in half
            const uint16_t token = Load16(in + i);
            i += 2;
            while (p >= nextGrowth) {
                ++k;
                nextGrowth = (nextGrowth - 1) * 2 + 1;
            }
            const size_t length = (token & (0xFFFFu >> k)) + 3;
            const size_t displacement = (static_cast<size_t>(token) >> (16 - k)) + 1;
            if (displacement > p) return kErrDecompress;  // before the chunk's output
            if (length > limit - p) return kErrDecompress;
            uint8_t* dst = out + p;
            const uint8_t* src = dst - displacement;
            if (displacement >= 8 && outSize - p >= length + 8) {
                // Eight bytes at a time: each block reads only bytes already written. May write
                // up to 7 bytes past the match, inside output (scratch, overwritten or ignored).
                for (size_t n = 0; n < length; n += 8)
                    std::memcpy(dst + n, src + n, 8);
            } else {
                // Overlapping (each byte may repeat one just written), or at the output's end.
                for (size_t n = 0; n < length; ++n)
                    dst[n] = src[n];
            }
            p += length;
        }
    }
    return static_cast<int32_t>(p);
}

int32_t DecompressUnit(ByteSpan input, MutableByteSpan output) {
    const size_t inSize = input.size();
    const size_t capacity = output.size();
    size_t pos = 0;
    size_t out = 0;
    while (true) {
        if (inSize - pos < 2) return static_cast<int32_t>(out);
        const uint16_t header = Load16(input.data() + pos);
        const size_t size = header & 0x0FFF;
        if (size == 0) return static_cast<int32_t>(out);
        // A chunk running three or more bytes past the unit lies beyond its data (the rest of
        // the unit's last cluster); one that overruns by one or two bytes is damaged.
        if (pos + size + 1 > inSize) return static_cast<int32_t>(out);
        if (pos + size + 3 > inSize) return kErrDecompress;
        const ByteSpan data = input.subspan(pos + 2, size + 1);
        if (header & 0x8000) {
            const size_t room = std::min<size_t>(capacity - out, kMaxChunkOutput);
            const int32_t n = DecompressChunk(data, output.subspan(out, room));
            if (n < 0) return n;
            out += static_cast<size_t>(n);
        } else {
            // A stored chunk: its bytes as they are. The output advances by a whole chunk when
            // the signature bit is set (as the format always has it), zero-filled behind short
            // data, and not at all when it is clear.
            const size_t advance = header & 0x1000;
            if (data.size() > capacity - out || advance > capacity - out) return kErrDecompress;
            std::memcpy(output.data() + out, data.data(), data.size());
            if (advance > data.size())
                std::memset(output.data() + out + data.size(), 0, advance - data.size());
            out += advance;
        }
        pos += size + 3;
    }
}

}  // namespace qv
