#include "support/PrivateTemp.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "support/Fixtures.h"

namespace qv::test {

PrivateTemp::PrivateTemp() : dir_(MakeTempDir("qv-temp")) {
    const char* old = std::getenv("TMPDIR");
    saved_ = old ? old : "";
    had_ = old != nullptr;
    ::setenv("TMPDIR", dir_.c_str(), 1);
}

PrivateTemp::~PrivateTemp() {
    std::filesystem::remove_all(dir_);
    had_ ? ::setenv("TMPDIR", saved_.c_str(), 1) : ::unsetenv("TMPDIR");
}

std::vector<std::string> PrivateTemp::Files() const {
    std::vector<std::string> out;
    for (const auto& entry : std::filesystem::directory_iterator(dir_))
        out.push_back(entry.path().filename().string());
    return out;
}

size_t PrivateTemp::Count(const std::string& prefix) const {
    const std::vector<std::string> files = Files();
    return std::count_if(files.begin(), files.end(),
                         [&](const std::string& f) { return f.rfind(prefix, 0) == 0; });
}

}  // namespace qv::test
