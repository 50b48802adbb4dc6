#include "support/Sha256.h"

#include <openssl/evp.h>

#include <cstdio>
#include <fstream>
#include <memory>

namespace qv::test {

namespace {

struct Digest {
    Digest() : ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free) {
        EVP_DigestInit_ex(ctx.get(), EVP_sha256(), nullptr);
    }
    void Update(const void* data, size_t size) { EVP_DigestUpdate(ctx.get(), data, size); }
    std::string Hex() {
        unsigned char md[EVP_MAX_MD_SIZE];
        unsigned int n = 0;
        EVP_DigestFinal_ex(ctx.get(), md, &n);
        std::string out;
        char two[3];
        for (unsigned i = 0; i < n; ++i) {
            std::snprintf(two, sizeof two, "%02x", md[i]);
            out += two;
        }
        return out;
    }
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx;
};

}  // namespace

std::string Sha256Hex(const std::vector<uint8_t>& bytes) {
    Digest d;
    d.Update(bytes.data(), bytes.size());
    return d.Hex();
}

std::string Sha256OfFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    Digest d;
    std::vector<char> buffer(1 << 20);
    while (in) {
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        d.Update(buffer.data(), static_cast<size_t>(in.gcount()));
    }
    return d.Hex();
}

}  // namespace qv::test
