// A raw image or block device read through OpenDisk: its streaming reads are served by a
// read-ahead worker that reads through the same descriptor. Whatever the pattern of reads, and
// from however many threads, every read gives the file's bytes.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/DiskImage.h"
#include "platform/Source.h"
#include "platform/Text.h"
#include "support/Fixtures.h"
#include "support/VolumeImage.h"

namespace qv {
namespace {

namespace fs = std::filesystem;

constexpr uint64_t kMiB = 1u << 20;

struct RawFile {
    std::string dir = test::MakeTempDir("qv-raw");
    std::string path = dir + "/disk.img";
    std::vector<uint8_t> bytes = test::PatternBytes(11 * kMiB + 4321, 77);
    RawFile() {
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
    }
    ~RawFile() { fs::remove_all(dir); }
};

struct Read {
    uint64_t offset;
    size_t size;
};

TEST(RawImage, StreamingJumpingAndEndReadsGiveTheFilesBytes) {
    RawFile raw;
    ASSERT_FALSE(raw.dir.empty());
    auto device = OpenDisk(FromUtf8(raw.path));
    ASSERT_TRUE(device) << device.error().Text();
    ASSERT_EQ((*device)->Size(), raw.bytes.size());
    std::vector<Read> reads;
    // A stream of 1 MiB reads (the $MFT walk), a stream of 256 KiB reads beginning mid-block, a
    // stream that skips a little each time, then jumps back and forth and reads over the end.
    for (uint64_t at = 0; at < 6 * kMiB; at += kMiB)
        reads.push_back({at, kMiB});
    for (uint64_t at = 6 * kMiB + 12345; at < 9 * kMiB; at += 256 << 10)
        reads.push_back({at, 256 << 10});
    for (uint64_t at = 9 * kMiB; at < 11 * kMiB; at += 300 << 10)
        reads.push_back({at, 256 << 10});
    reads.insert(reads.end(), {{3 * kMiB + 5, 4096},
                               {10, 20},
                               {raw.bytes.size() - 100, 1000},
                               {raw.bytes.size(), 10},
                               {2 * kMiB - 7, 3 * kMiB},
                               {0, raw.bytes.size()}});
    for (const Read& read : reads) {
        std::vector<uint8_t> got(read.size, 0xEE);
        const auto n = (*device)->ReadAt(read.offset, got.data(), got.size());
        ASSERT_TRUE(n) << read.offset << ": " << n.error().Text();
        const size_t there = read.offset >= raw.bytes.size()
                                 ? 0
                                 : std::min<size_t>(read.size, raw.bytes.size() - read.offset);
        ASSERT_EQ(*n, there) << "read of " << read.size << " at " << read.offset;
        EXPECT_TRUE(std::equal(got.begin(), got.begin() + static_cast<long>(there),
                               raw.bytes.begin() + static_cast<long>(read.offset)))
            << "read of " << read.size << " at " << read.offset;
    }
}

TEST(RawImage, AnotherReaderReadsTheSameOpenDeviceAtOnce) {
    RawFile raw;
    ASSERT_FALSE(raw.dir.empty());
    auto file = DeviceFile::Open(FromUtf8(raw.path));
    ASSERT_TRUE(file) << file.error().Text();
    auto another = (*file)->AnotherReader();
    ASSERT_TRUE(another) << another.error().Text();
    const std::unique_ptr<BlockDevice> other = std::move(*another);
    ASSERT_EQ(other->Size(), raw.bytes.size());
    // Both read the whole file at once, in opposite directions, in pieces of odd sizes.
    const auto readAll = [&](BlockDevice& device, bool backwards, std::vector<uint8_t>& into) {
        constexpr uint64_t kPiece = 65536 + 513;
        into.assign(raw.bytes.size(), 0);
        const uint64_t pieces = (raw.bytes.size() + kPiece - 1) / kPiece;
        for (uint64_t i = 0; i < pieces; ++i) {
            const uint64_t at = (backwards ? pieces - 1 - i : i) * kPiece;
            const auto n = device.ReadAt(at, into.data() + at,
                                         std::min<uint64_t>(kPiece, raw.bytes.size() - at));
            if (!n) return;
        }
    };
    std::vector<uint8_t> first, second;
    std::thread other_thread([&] { readAll(*other, true, second); });
    readAll(**file, false, first);
    other_thread.join();
    EXPECT_EQ(first, raw.bytes);
    EXPECT_EQ(second, raw.bytes);
    // The second reader holds the device open on its own: it still reads once the first closed.
    file->reset();
    readAll(*other, false, second);
    EXPECT_EQ(second, raw.bytes);
}

}  // namespace
}  // namespace qv
