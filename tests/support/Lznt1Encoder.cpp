#include "support/Lznt1Encoder.h"

#include <algorithm>

namespace qv::test {

namespace {

int DisplacementBits(size_t p) {
    int k = 4;
    while ((size_t{1} << k) < p)
        ++k;  // bits of p - 1, at least 4
    return k;
}

std::vector<uint8_t> CompressChunk(const uint8_t* in, size_t n) {
    std::vector<uint8_t> out;
    size_t p = 0;
    while (p < n) {
        const size_t flagAt = out.size();
        out.push_back(0);
        uint8_t flags = 0;
        for (int bit = 0; bit < 8 && p < n; ++bit) {
            size_t bestLength = 0, bestDisplacement = 0;
            if (p > 0) {
                const int k = DisplacementBits(p);
                const size_t maxLength = (0xFFFFu >> k) + 3;
                const size_t maxDisplacement = std::min<size_t>(p, size_t{1} << k);
                for (size_t d = 1; d <= maxDisplacement; ++d) {
                    size_t l = 0;
                    while (l < maxLength && p + l < n && in[p + l] == in[p + l - d])
                        ++l;
                    if (l > bestLength) bestLength = l, bestDisplacement = d;
                }
                if (bestLength >= 3) {
                    const uint16_t token = static_cast<uint16_t>(
                        ((bestDisplacement - 1) << (16 - k)) | (bestLength - 3));
                    out.push_back(static_cast<uint8_t>(token));
                    out.push_back(static_cast<uint8_t>(token >> 8));
                    flags |= static_cast<uint8_t>(1u << bit);
                    p += bestLength;
                    continue;
                }
            }
            out.push_back(in[p++]);
        }
        out[flagAt] = flags;
    }
    return out;
}

}  // namespace

std::vector<uint8_t> Lznt1Compress(const std::vector<uint8_t>& data, bool forceStored) {
    std::vector<uint8_t> out;
    for (size_t at = 0; at < data.size(); at += 4096) {
        const size_t n = std::min<size_t>(4096, data.size() - at);
        std::vector<uint8_t> packed = CompressChunk(data.data() + at, n);
        if (forceStored || (packed.size() >= n && n == 4096)) {
            // Stored chunks hold a whole 4096 bytes.
            std::vector<uint8_t> raw(data.begin() + at, data.begin() + at + n);
            raw.resize(4096, 0);
            const uint16_t header = 0x3000 | 0x0FFF;
            out.push_back(static_cast<uint8_t>(header));
            out.push_back(static_cast<uint8_t>(header >> 8));
            out.insert(out.end(), raw.begin(), raw.end());
        } else {
            const uint16_t header = static_cast<uint16_t>(0xB000 | (packed.size() - 1));
            out.push_back(static_cast<uint8_t>(header));
            out.push_back(static_cast<uint8_t>(header >> 8));
            out.insert(out.end(), packed.begin(), packed.end());
        }
    }
    return out;
}

}  // namespace qv::test
