// EWF images read through OpenEwf: compressed chunks are inflated by the program, stored ones and
// damaged ones go through libewf. Images are made with ewfacquire from a disk of chunks that
// compress well, not at all (stored as they are) and to nothing, with a last chunk cut short.
// Whatever the image, every read must give the disk's bytes; on a damaged image, exactly what
// libewf's own read gives (the same bytes, or an error both ways).
#include <gtest/gtest.h>
#include <libewf.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

#include "platform/ImageLibraries.h"
#include "support/Fixtures.h"

namespace qv {
namespace {

namespace fs = std::filesystem;

constexpr size_t kChunk = 32768;  // ewfacquire's default: 64 sectors
constexpr size_t kChunks = 96;
constexpr size_t kDiskBytes = kChunks * kChunk + 7 * 512;  // the last chunk holds 7 sectors

bool HaveEwfacquire() {
    return std::system("command -v ewfacquire >/dev/null 2>&1") == 0;
}

// Chunk i: text-like bytes (inflated by the program), random bytes (stored: they do not shrink),
// or zeros, in turn.
std::vector<uint8_t> MakeDisk() {
    std::vector<uint8_t> disk(kDiskBytes);
    std::mt19937 random(12345);
    for (size_t at = 0; at < kDiskBytes; ++at) {
        switch (at / kChunk % 3) {
            case 0:
                disk[at] = static_cast<uint8_t>("quorvane chunk "[at % 15] + at / 4096 % 7);
                break;
            case 1: disk[at] = static_cast<uint8_t>(random()); break;
            default: disk[at] = 0;
        }
    }
    return disk;
}

struct Scratch {
    std::string dir = test::MakeTempDir("qv-ewf");
    std::vector<uint8_t> disk = MakeDisk();
    Scratch() {
        std::ofstream(dir + "/disk.raw", std::ios::binary)
            .write(reinterpret_cast<const char*>(disk.data()),
                   static_cast<std::streamsize>(disk.size()));
    }
    ~Scratch() { fs::remove_all(dir); }
    // The disk acquired as dir/name.E01 (and .E02, ... when split).
    std::string Acquire(const std::string& name, const std::string& options) {
        const std::string command = "ewfacquire -u -q -t '" + dir + "/" + name + "' " + options +
                                    " '" + dir + "/disk.raw' >/dev/null 2>&1";
        if (std::system(command.c_str()) != 0) return {};
        return dir + "/" + name + ".E01";
    }
};

struct Read {
    uint64_t offset;
    size_t size;
};

// Whole chunks, parts of one, reads across two and three chunks, the short last chunk, the end.
const std::vector<Read> kReads = {
    {0, kDiskBytes},  // everything at once
    {0, 1},
    {kChunk - 1, 2},                 // compressed into stored
    {2 * kChunk - 10, 20},           // stored into zeros
    {3 * kChunk, kChunk},            // one whole compressed chunk
    {4 * kChunk, kChunk},            // one whole stored chunk
    {3 * kChunk + 100, 2 * kChunk},  // three chunks, partly
    {5 * kChunk + 4096, 4096},
    {5 * kChunk + 512, 4096},       // the same chunk again, another part
    {3 * kChunk + 7, 9},            // back to an earlier chunk
    {kChunks * kChunk - 100, 300},  // into the short last chunk
    {kChunks * kChunk, 7 * 512},    // the short last chunk, whole
    {kDiskBytes - 5, 100},          // over the end: only what is there
    {kDiskBytes, 10},               // at the end: nothing
    {40 * kChunk, 20 * kChunk + 12345},
};

void ExpectDiskBytes(const std::string& image, const std::vector<uint8_t>& disk) {
    auto device = OpenEwf(image);
    ASSERT_TRUE(device) << device.error().Text();
    ASSERT_EQ((*device)->Size(), disk.size());
    for (const Read& read : kReads) {
        std::vector<uint8_t> got(read.size, 0xEE);
        const auto n = (*device)->ReadAt(read.offset, got.data(), got.size());
        ASSERT_TRUE(n) << read.offset << ": " << n.error().Text();
        const size_t there =
            read.offset >= disk.size() ? 0 : std::min<size_t>(read.size, disk.size() - read.offset);
        ASSERT_EQ(*n, there) << "read of " << read.size << " at " << read.offset;
        EXPECT_TRUE(std::equal(got.begin(), got.begin() + static_cast<long>(there),
                               disk.begin() + static_cast<long>(read.offset)))
            << "read of " << read.size << " at " << read.offset;
    }
    // Sector by sector through the whole disk, as a scan's small reads go.
    std::vector<uint8_t> all(disk.size());
    for (uint64_t at = 0; at < disk.size(); at += 4096) {
        const size_t want = std::min<size_t>(4096, disk.size() - at);
        const auto n = (*device)->ReadAt(at, all.data() + at, want);
        ASSERT_TRUE(n && *n == want) << at;
    }
    EXPECT_EQ(all, disk);
}

TEST(EwfImage, EveryCompressionReadsAsTheDisk) {
    if (!HaveEwfacquire()) GTEST_SKIP() << "needs ewfacquire (ewf-tools) to make EWF images";
    Scratch s;
    ASSERT_FALSE(s.dir.empty());
    const struct {
        const char* name;
        const char* options;
    } kImages[] = {
        {"fast", "-c deflate:fast"},
        {"best", "-c deflate:best"},
        {"empty", "-c empty-block"},  // only chunks of zeros compressed
        {"stored", "-c none"},
        {"split", "-c deflate:fast -S 1MiB"},  // segments .E01, .E02, ...
        {"wide", "-c deflate:fast -b 256"},    // chunks of 128 KiB: reads fall inside them
    };
    for (const auto& image : kImages) {
        SCOPED_TRACE(image.name);
        const std::string path = s.Acquire(image.name, image.options);
        ASSERT_FALSE(path.empty()) << "ewfacquire " << image.options;
        ExpectDiskBytes(path, s.disk);
    }
    EXPECT_TRUE(fs::exists(s.dir + "/split.E02")) << "the split image has one segment";
}

// What libewf's own read gives for each chunk of the image: its bytes, or nothing on an error.
std::vector<std::optional<std::vector<uint8_t>>> LibraryChunks(const std::string& path,
                                                               uint64_t size) {
    std::vector<std::optional<std::vector<uint8_t>>> chunks;
    libewf_handle_t* handle = nullptr;
    char* segments[] = {const_cast<char*>(path.c_str())};
    if (libewf_handle_initialize(&handle, nullptr) != 1) return chunks;
    if (libewf_handle_open(handle, segments, 1, LIBEWF_OPEN_READ, nullptr) == 1) {
        for (uint64_t at = 0; at < size; at += kChunk) {
            std::vector<uint8_t> bytes(std::min<uint64_t>(kChunk, size - at));
            libewf_error_t* error = nullptr;
            const ssize_t n = libewf_handle_read_random(handle, bytes.data(), bytes.size(),
                                                        static_cast<off64_t>(at), &error);
            libewf_error_free(&error);
            if (n < 0) {
                chunks.emplace_back();
            } else {
                bytes.resize(static_cast<size_t>(n));
                chunks.emplace_back(std::move(bytes));
            }
        }
        libewf_handle_close(handle, nullptr);
    }
    libewf_handle_free(&handle, nullptr);
    return chunks;
}

TEST(EwfImage, ADamagedChunkReadsAsLibewfReadsIt) {
    if (!HaveEwfacquire()) GTEST_SKIP() << "needs ewfacquire (ewf-tools) to make EWF images";
    Scratch s;
    ASSERT_FALSE(s.dir.empty());
    const std::string path = s.Acquire("damaged", "-c deflate:fast");
    ASSERT_FALSE(path.empty());
    // Bytes changed inside the chunks' data, which fills most of the file between the headers
    // before it and the tables after it.
    {
        std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
        const auto size = static_cast<std::streamoff>(fs::file_size(path));
        for (const double where : {0.2, 0.35, 0.5, 0.65}) {
            file.seekp(static_cast<std::streamoff>(static_cast<double>(size) * where));
            file.write("\x5a\xa5\x5a\xa5", 4);
        }
    }
    const auto library = LibraryChunks(path, s.disk.size());
    ASSERT_EQ(library.size(), (kDiskBytes + kChunk - 1) / kChunk);
    auto device = OpenEwf(path);
    ASSERT_TRUE(device) << device.error().Text();
    size_t damaged = 0;
    for (size_t i = 0; i < library.size(); ++i) {
        const uint64_t at = i * kChunk;
        std::vector<uint8_t> got(std::min<uint64_t>(kChunk, s.disk.size() - at));
        // Each chunk whole (inflated straight into the buffer) and in two halves (through the
        // program's one-chunk cache).
        const auto whole = (*device)->ReadAt(at, got.data(), got.size());
        if (!library[i]) {
            EXPECT_FALSE(whole) << "chunk " << i << ": libewf fails to read it, we did not";
            ++damaged;
            continue;
        }
        ASSERT_TRUE(whole) << "chunk " << i << ": " << whole.error().Text();
        got.resize(*whole);
        EXPECT_EQ(got, *library[i]) << "chunk " << i;
        std::vector<uint8_t> halves(library[i]->size());
        const size_t half = halves.size() / 2;
        ASSERT_TRUE((*device)->ReadAt(at, halves.data(), half));
        ASSERT_TRUE((*device)->ReadAt(at + half, halves.data() + half, halves.size() - half));
        EXPECT_EQ(halves, *library[i]) << "chunk " << i << " in halves";
        if (*library[i] !=
            std::vector<uint8_t>(s.disk.begin() + static_cast<long>(at),
                                 s.disk.begin() + static_cast<long>(at + library[i]->size())))
            ++damaged;
    }
    EXPECT_GT(damaged, 0u) << "the changed bytes hit no chunk: the test proves nothing";
}

}  // namespace
}  // namespace qv
