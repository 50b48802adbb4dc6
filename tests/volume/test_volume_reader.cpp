// The volume reader's two read-ahead windows (files' data, $MFT records), its errors, and opening.
#include <gtest/gtest.h>

#include <cerrno>
#include <ranges>

#include "support/MemoryDevice.h"
#include "support/VolumeImage.h"
#include "volume/VolumeReader.h"

namespace qv {
namespace {

using test::MemoryDevice;
using Stream = VolumeReader::Stream;
using Bytes = std::vector<uint8_t>;

// A failure with its code, a cause holding the given words and, unless -1, the errno.
void ExpectFailure(const Status& status, int32_t code, const std::string& cause, int osError = -1) {
    ASSERT_FALSE(status) << cause;
    EXPECT_EQ(status.error().code, code) << cause;
    EXPECT_NE(status.error().cause.find(cause), std::string::npos) << status.error().cause;
    EXPECT_TRUE(osError == -1 || status.error().osError == osError) << status.error().osError;
}

// A volume of 512-byte clusters: the data window is 5000 clusters = 2,560,000 bytes.
struct WindowTest : ::testing::Test {
    static constexpr uint32_t kCs = 512;
    static constexpr uint64_t kClusters = 12000;
    Bytes bytes;
    std::shared_ptr<MemoryDevice::Log> log;
    MemoryDevice* device = nullptr;
    VolumeReader reader;

    void SetUp() override {
        bytes = test::PatternBytes(kClusters * kCs, 42);
        const auto boot = test::VolumeImage(kCs, 1, 4, 512, 0x02).Bytes();
        std::copy(boot.begin(), boot.end(), bytes.begin());
        auto owned = std::make_unique<MemoryDevice>(bytes);
        device = owned.get();
        log = owned->log();
        ASSERT_TRUE(reader.Open(std::move(owned)));
        ASSERT_EQ(reader.WindowSize(), 5000u * kCs);
    }
    // Reads and checks the bytes (and that none past them is written); returns the read sizes.
    std::vector<size_t> Read(int64_t offset, uint32_t length, Stream stream = Stream::kData) {
        const size_t before = log->reads.size();
        Bytes out(length + 16, 0xCC);
        const Status read = reader.ReadAt(offset, out.data(), length, stream);
        EXPECT_TRUE(read) << read.error().Text();
        EXPECT_TRUE(std::equal(out.begin(), out.begin() + length, bytes.begin() + offset));
        EXPECT_EQ(Bytes(out.begin() + length, out.end()), Bytes(16, 0xCC));
        const uint64_t at = uint64_t(offset);  // where a device read starts, if one is made
        EXPECT_EQ(log->reads.size() > before ? log->reads[before].first : at, at);
        const auto sizes = std::views::values(log->reads) | std::views::drop(before);
        return {sizes.begin(), sizes.end()};
    }
};

TEST_F(WindowTest, AJumpReadsTheRequestRoundedToABlockAndHitsNeedNoDevice) {
    // 512,100 + 512 = 512,612 is rounded up to the next 4 KiB boundary, 516,096.
    EXPECT_EQ(Read(1000 * kCs + 100, kCs), std::vector<size_t>{516096 - (1000 * kCs + 100)});
    // Wholly inside, also ending exactly at the window's last byte: no device access.
    EXPECT_TRUE(Read(1002 * kCs, kCs).empty());
    EXPECT_TRUE(Read(516096 - 100, 100).empty());
    EXPECT_EQ(reader.GetStats().hits, 2u);
}

TEST_F(WindowTest, SequentialRequestsReadAheadDoublingUpToTheWholeWindow) {
    // Cluster after cluster from 0, as a large file's runs are read.
    std::vector<size_t> fills;
    for (int64_t offset = 0; fills.size() < 11; offset += kCs)
        for (size_t fill : Read(offset, kCs))
            fills.push_back(fill);
    EXPECT_EQ(fills, (std::vector<size_t>{4096, 8192, 16384, 32768, 65536, 131072, 262144, 524288,
                                          1048576, 2097152, 2560000}));
    // A jump ends the read-ahead.
    EXPECT_EQ(Read(96 * kCs, kCs), std::vector<size_t>{4096});
}

TEST_F(WindowTest, DataReadsAheadOnlyOnExactContinuationRecordsAlsoAcrossSmallGaps) {
    // Each stream follows on from its own last request, whatever the other one reads between.
    // The last column is what the device is asked for; 0: served from the window.
    const std::tuple<Stream, int64_t, uint32_t, size_t> steps[] = {
        {Stream::kData, 0, 4096, 4096},                    // a first read is a jump
        {Stream::kRecords, 1'000'000, 1024, 3520},         // a jump: up to the 4 KiB boundary
        {Stream::kData, 4096, 4096, 8192},                 // goes on exactly: twice the last fill
        {Stream::kData, 8192, 4096, 0},                    // inside the window
        {Stream::kData, 12288, 16384, 16384},              // goes on: the window now ends at 28672
        {Stream::kData, 28673, 512, 4095},                 // one byte past the last end: a jump
        {Stream::kRecords, 1'003'620, 1024, 7040},         // 2,596 bytes past the last record read
        {Stream::kRecords, 1'070'181, 1024, 2971},         // 65,537 bytes past it: a jump
        {Stream::kRecords, 1'071'205 + 65536, 512, 5942},  // exactly 64 KiB past: goes on
    };
    for (const auto& [stream, offset, length, fill] : steps) {
        SCOPED_TRACE(offset);
        EXPECT_EQ(Read(offset, length, stream),
                  fill ? std::vector<size_t>{fill} : std::vector<size_t>{});
    }
}

TEST_F(WindowTest, AMissRefillsFromTheRequestWhereverTheWindowStood) {
    // The request, the device reads it makes and where the window starts then.
    const std::tuple<int64_t, uint32_t, size_t, int64_t> cases[] = {
        {7000 * kCs, 0, 0, 1000 * kCs},                              // nothing asked: nothing read
        {1000 * kCs + 4096 - 100, 101, 1, 1000 * kCs + 4096 - 100},  // one byte past the window
        {999 * kCs, 2 * kCs, 1, 999 * kCs},  // before the window, overlapping it
    };
    for (const auto& [offset, length, deviceReads, windowStart] : cases) {
        SCOPED_TRACE(offset);
        Read(1000 * kCs, kCs);
        EXPECT_EQ(Read(offset, length).size(), deviceReads);
        EXPECT_EQ(reader.WindowStart(), windowStart);
    }
}

TEST_F(WindowTest, ALongRequestGoesStraightToTheCallerInWindowSizedReads) {
    Read(0, kCs);
    // Exactly the bytes asked for, not rounded to a block: the window is not in between.
    EXPECT_EQ(Read(kCs, 11000 * kCs - 100),
              (std::vector<size_t>{5000u * kCs, 5000u * kCs, 1000u * kCs - 100}));
    // The window kept what it held.
    EXPECT_TRUE(Read(100, 100).empty());
    EXPECT_EQ(Read(3 * kCs, 64 * 1024), std::vector<size_t>{64 * 1024});
    // One byte less is a refill, rounded up to a block: 2,560 + 65,535 → 69,632.
    EXPECT_EQ(Read(5 * kCs, 64 * 1024 - 1), std::vector<size_t>{69632 - 5 * kCs});
    EXPECT_EQ(reader.WindowStart(), int64_t{5 * kCs});
}

TEST_F(WindowTest, ReadsPastTheEndOrBeforeTheStartFailWithTheirCause) {
    Read((kClusters - 10) * kCs, 10 * kCs);  // a short refill at the end is accepted
    EXPECT_EQ(reader.WindowLength(), 10u * kCs);
    Bytes out(kCs);
    ExpectFailure(reader.ReadAt(kClusters * kCs, out.data(), kCs), kErrRead,
                  "ends before byte 6144000");
    ExpectFailure(reader.ReadAt(-int64_t{kCs}, out.data(), kCs), kErrSeek, "no volume byte -512");
    // Cluster numbers are 64-bit: far beyond 2^32 clusters is asked for, not wrapped.
    ExpectFailure(reader.ReadClusters(uint64_t{1} << 33, out.data(), kCs), kErrRead,
                  "ends before byte");
    EXPECT_EQ(log->reads.back().first, (uint64_t{1} << 33) * kCs);
    ExpectFailure(reader.ReadClusters(UINT64_MAX / 2, out.data(), kCs), kErrSeek,
                  "no volume cluster");
}

TEST_F(WindowTest, AFailedDeviceReadCarriesItsErrnoAndLeavesNothingTrusted) {
    Read(0, 8 * kCs);
    device->FailReadsFrom(0);
    Bytes out(kCs);
    ExpectFailure(reader.ReadAt(9000 * kCs, out.data(), kCs), kErrRead, "", EIO);
    // What the window held before is read again, not served from a half-overwritten buffer.
    const size_t before = log->reads.size();
    EXPECT_FALSE(reader.ReadAt(0, out.data(), kCs));
    EXPECT_EQ(log->reads.size(), before + 1);
}

TEST(VolumeReaderGeometry, TheDataWindowIsCappedAtSixteenMebibytes) {
    // 5000 clusters would be 20 MB (512-byte clusters: WindowTest; 2 MiB: LargeClusters).
    EXPECT_EQ(test::VolumeImage(4096, 16, 1).Open()->WindowSize(), 16u << 20);
}

TEST(VolumeReaderOpen, FailuresNameTheirCauseAndErrno) {
    const auto zeros = [](size_t n) { return std::make_unique<MemoryDevice>(Bytes(n, 0)); };
    auto failing = zeros(4096);
    failing->FailReadsFrom(0);
    ExpectFailure(VolumeReader().Open(Source{u"/nonexistent/quorvane.img"}), kErrOpenVolume,
                  "cannot open /nonexistent/quorvane.img: No such file", ENOENT);
    ExpectFailure(VolumeReader().Open(zeros(4096)), kErrBootSector,
                  "not an NTFS volume: no NTFS signature", 0);
    ExpectFailure(VolumeReader().Open(zeros(100)), kErrBootSector, "smaller than one sector", 0);
    ExpectFailure(VolumeReader().Open(std::move(failing)), kErrBootSector,
                  "read error in the boot sector", EIO);
}

}  // namespace
}  // namespace qv
