#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qv::test {

// Lower-case hex sha256, as sha256sum prints it.
std::string Sha256Hex(const std::vector<uint8_t>& bytes);
std::string Sha256OfFile(const std::string& path);

}  // namespace qv::test
