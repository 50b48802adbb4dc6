#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qv::test {

// Test images are unpacked by the unpack_fixtures step into QUORVANE_FIXTURE_DIR: our own
// images as <name>.img beside their manifests, the shared Windows-made volumes under real/.
std::string FixtureDir();
// The path of a fixture file when it exists.
std::optional<std::string> FindFixture(const std::string& relative);

// A row of a deleted-files manifest (The Sleuth Kit's view of the volume).
struct ManifestRow {
    uint64_t record = 0;
    std::string name;  // "file:stream" for a named stream
    std::string path;  // with '/', no leading slash, including the name
    uint64_t size = 0;
    std::string sha256;

    bool IsNamedStream() const { return name.find(':') != std::string::npos; }
    bool IsOrphan() const { return path.rfind("$OrphanFiles/", 0) == 0; }
};
std::vector<ManifestRow> ReadManifest(const std::string& path);

std::vector<uint8_t> ReadWholeFile(const std::string& path);
// A file's bytes as text ("" when it cannot be read).
std::string ReadText(const std::string& path);
// A test parameter's name made of the letters and digits of text, '_' for everything else.
std::string ParamName(std::string text);
// Whether anything (a link included) is at path.
bool PathExists(const std::string& path);
// A fresh folder under $TMPDIR whose name begins with prefix.
std::string MakeTempDir(const std::string& prefix);

}  // namespace qv::test

// Skips the test, saying why, when a fixture is missing (the shared test data lives outside the
// repository and may be absent in another checkout).
#define QV_REQUIRE_FIXTURE(var, relative)                                      \
    const auto var##_found = ::qv::test::FindFixture(relative);                \
    if (!var##_found)                                                          \
        GTEST_SKIP() << "test image " << (relative) << " is not available in " \
                     << ::qv::test::FixtureDir();                              \
    const std::string var = *var##_found
