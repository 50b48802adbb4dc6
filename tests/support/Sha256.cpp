#include "support/Sha256.h"

#include <openssl/evp.h>

#include "support/Fixtures.h"

namespace qv::test {

std::string Sha256Hex(const std::vector<uint8_t>& bytes) {
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned int n = 0;
    EVP_Digest(bytes.data(), bytes.size(), md, &n, EVP_sha256(), nullptr);
    const char* const hex = "0123456789abcdef";
    std::string out;
    for (unsigned i = 0; i < n; ++i)
        out += {hex[md[i] >> 4], hex[md[i] & 15]};
    return out;
}

std::string Sha256OfFile(const std::string& path) {
    return PathExists(path) ? Sha256Hex(ReadWholeFile(path)) : std::string();
}

}  // namespace qv::test
