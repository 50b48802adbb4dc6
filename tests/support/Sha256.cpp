#include "support/Sha256.h"

#include <openssl/evp.h>

#include <cstdio>

#include "support/Fixtures.h"

namespace qv::test {

std::string Sha256Hex(const std::vector<uint8_t>& bytes) {
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned int n = 0;
    EVP_Digest(bytes.data(), bytes.size(), md, &n, EVP_sha256(), nullptr);
    std::string out;
    char two[3];
    for (unsigned i = 0; i < n; ++i) {
        std::snprintf(two, sizeof two, "%02x", md[i]);
        out += two;
    }
    return out;
}

std::string Sha256OfFile(const std::string& path) {
    return PathExists(path) ? Sha256Hex(ReadWholeFile(path)) : std::string();
}

}  // namespace qv::test
