#include "support/Fixtures.h"

#include <sys/stat.h>

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace qv::test {

std::string FixtureDir() {
    if (const char* env = std::getenv("QUORVANE_FIXTURE_DIR"); env && *env) return env;
    return QUORVANE_FIXTURE_DIR;
}

std::optional<std::string> FindFixture(const std::string& relative) {
    const std::string path = FixtureDir() + "/" + relative;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    return path;
}

std::vector<ManifestRow> ReadManifest(const std::string& path) {
    std::vector<ManifestRow> rows;
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);  // the header
    while (std::getline(in, line)) {
        std::vector<std::string> cols;
        std::stringstream ss(line);
        std::string col;
        while (std::getline(ss, col, '\t'))
            cols.push_back(col);
        if (cols.size() < 5) continue;  // an empty line too
        rows.push_back({std::stoull(cols[0]), cols[1], cols[2], std::stoull(cols[3]), cols[4]});
    }
    return rows;
}

std::vector<uint8_t> ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::string ReadText(const std::string& path) {
    const std::vector<uint8_t> bytes = ReadWholeFile(path);
    return std::string(bytes.begin(), bytes.end());
}

std::string ParamName(std::string text) {
    for (char& c : text)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return text;
}

bool PathExists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

std::string MakeTempDir(const std::string& prefix) {
    const char* dir = std::getenv("TMPDIR");
    std::string pattern = std::string(dir && *dir ? dir : "/tmp") + "/" + prefix + "-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) return {};
    return pattern;
}

}  // namespace qv::test
