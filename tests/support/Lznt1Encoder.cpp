#include "support/Lznt1Encoder.h"

#include <algorithm>
#include <array>
#include <bit>

#include "ntfs/Lznt1.h"
#include "support/Bytes.h"

namespace qv::test {

namespace {

// Displacement bits at position p of a chunk: the decoder's k (at least 4, and 2^k >= p).
int DisplacementBits(size_t p) {
    return std::max<int>(4, std::bit_width(p > 0 ? p - 1 : 0));
}

// Finds matches through chains of earlier positions with the same first three bytes, the newest
// first, and takes the longest of the first kMaxChain.
class ChunkPacker {
public:
    std::vector<uint8_t> Pack(const uint8_t* in, size_t n) {
        head_.fill(-1);
        std::vector<uint8_t> out;
        size_t p = 0;
        while (p < n) {
            const size_t flagAt = out.size();
            out.push_back(0);
            uint8_t flags = 0;
            for (int bit = 0; bit < 8 && p < n; ++bit) {
                size_t best = 0, bestDisplacement = 0;
                const int k = DisplacementBits(p);
                if (p > 0 && p + 3 <= n) {
                    const size_t maxLength = std::min<size_t>((0xFFFFu >> k) + 3, n - p);
                    int candidate = head_[Hash(in + p)];
                    for (int depth = 0; candidate >= 0 && depth < kMaxChain; ++depth) {
                        const size_t c = static_cast<size_t>(candidate);
                        size_t l = 0;
                        while (l < maxLength && in[c + l] == in[p + l])
                            ++l;
                        if (l > best) {
                            best = l;
                            bestDisplacement = p - c;
                            if (l == maxLength) break;
                        }
                        candidate = prev_[c];
                    }
                }
                if (best >= 3) {
                    const size_t token = ((bestDisplacement - 1) << (16 - k)) | (best - 3);
                    Put16(out, out.size(), static_cast<uint16_t>(token));
                    flags |= static_cast<uint8_t>(1u << bit);
                    for (size_t i = 0; i < best; ++i)
                        Insert(in, n, p + i);
                    p += best;
                } else {
                    out.push_back(in[p]);
                    Insert(in, n, p);
                    ++p;
                }
            }
            out[flagAt] = flags;
        }
        return out;
    }

private:
    static constexpr int kHashBits = 12;
    static constexpr int kMaxChain = 32;

    static uint32_t Hash(const uint8_t* p) {
        const uint32_t v = p[0] | (p[1] << 8) | (p[2] << 16);
        return (v * 2654435761u) >> (32 - kHashBits);
    }
    void Insert(const uint8_t* in, size_t n, size_t p) {
        if (p + 3 > n) return;
        const uint32_t h = Hash(in + p);
        prev_[p] = head_[h];
        head_[h] = static_cast<int16_t>(p);
    }

    std::array<int16_t, 1u << kHashBits> head_{};
    std::array<int16_t, kChunkSize> prev_{};
};

}  // namespace

std::vector<uint8_t> Lznt1Compress(const std::vector<uint8_t>& data, bool forceStored) {
    std::vector<uint8_t> out;
    ChunkPacker packer;
    for (size_t at = 0; at < data.size(); at += kChunkSize) {
        const size_t n = std::min<size_t>(kChunkSize, data.size() - at);
        std::vector<uint8_t> packed;
        if (!forceStored) packed = packer.Pack(data.data() + at, n);
        if (forceStored || (packed.size() >= n && n == kChunkSize)) {
            // Stored: a whole chunk, no signature bit.
            Put16(out, out.size(), static_cast<uint16_t>(0x3000 | (kChunkSize - 1)));
            out.insert(out.end(), data.begin() + at, data.begin() + at + n);
            out.resize(out.size() + (kChunkSize - n), 0);
        } else {
            Put16(out, out.size(), static_cast<uint16_t>(0xB000 | (packed.size() - 1)));
            out.insert(out.end(), packed.begin(), packed.end());
        }
    }
    return out;
}

}  // namespace qv::test
