#include <gtest/gtest.h>

#include "app/ErrorCodes.h"
#include "platform/DriveTable.h"
#include "platform/Text.h"
#include "support/MemoryDevice.h"
#include "support/VolumeImage.h"
#include "volume/VolumeReader.h"

namespace qv {
namespace {

using test::MemoryDevice;
using test::PatternBytes;

// A volume of 512-byte clusters: the window is 5000 clusters = 2,560,000 bytes.
struct WindowTest : ::testing::Test {
    static constexpr uint32_t kCs = 512;
    static constexpr uint64_t kClusters = 12000;
    std::vector<uint8_t> bytes;
    std::shared_ptr<MemoryDevice::Log> log;
    VolumeReader reader;

    void SetUp() override {
        test::VolumeImage image(kCs, kClusters, 4, 512, 0x02);
        bytes = image.Bytes();
        const auto pattern = PatternBytes(bytes.size() - 512, 42);
        std::copy(pattern.begin(), pattern.end(), bytes.begin() + 512);
        auto device = std::make_unique<MemoryDevice>(bytes);
        log = device->log();
        ASSERT_EQ(reader.Open(std::move(device), u'X'), 0);
        ASSERT_EQ(reader.WindowSize(), 5000u * kCs);
    }
    size_t DeviceReads() const { return log->reads.size(); }
    std::vector<uint8_t> Read(int64_t offset, uint32_t length, int64_t* result = nullptr) {
        std::vector<uint8_t> out(length + 16, 0xCC);
        const int64_t r = reader.ReadAt(offset, out.data(), length);
        if (result) *result = r;
        return out;
    }
    std::vector<uint8_t> Expected(int64_t offset, uint32_t length) {
        return std::vector<uint8_t>(bytes.begin() + offset, bytes.begin() + offset + length);
    }
};

TEST_F(WindowTest, AJumpReadsTheRequestRoundedToABlockAndHitsNeedNoDevice) {
    const size_t before = DeviceReads();
    auto out = Read(1000 * kCs + 100, kCs);
    EXPECT_EQ(DeviceReads(), before + 1);
    EXPECT_EQ(log->reads.back().first, 1000u * kCs + 100);
    // 512,100 + 512 = 512,612 is rounded up to the next 4 KiB boundary, 516,096.
    EXPECT_EQ(log->reads.back().second, 516096u - (1000u * kCs + 100));
    EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + kCs),
              Expected(1000 * kCs + 100, kCs));

    // Wholly inside, also ending exactly at the window's last byte: no device access.
    Read(1002 * kCs, kCs);
    Read(516096 - 100, 100);
    EXPECT_EQ(DeviceReads(), before + 1);
    EXPECT_EQ(reader.GetStats().hits, 2u);
}

TEST_F(WindowTest, SequentialRequestsReadAheadDoublingUpToTheWholeWindow) {
    // Cluster after cluster from 0, as the $MFT copy or a large file's runs are read.
    std::vector<uint64_t> fills;
    int64_t offset = 0;
    while (fills.size() < 11) {
        const size_t before = DeviceReads();
        int64_t r;
        auto out = Read(offset, kCs, &r);
        ASSERT_EQ(r, kCs);
        ASSERT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + kCs), Expected(offset, kCs));
        if (DeviceReads() != before) {
            EXPECT_EQ(log->reads.back().first, static_cast<uint64_t>(offset));
            fills.push_back(log->reads.back().second);
        }
        offset += kCs;
    }
    const std::vector<uint64_t> expected = {4096,   8192,   16384,   32768,   65536,  131072,
                                            262144, 524288, 1048576, 2097152, 2560000};
    EXPECT_EQ(fills, expected);
}

TEST_F(WindowTest, AJumpEndsTheReadAhead) {
    for (int64_t offset = 0; offset < 64 * kCs; offset += kCs)
        Read(offset, kCs);
    EXPECT_GT(log->reads.back().second, 4096u);
    Read(9000 * kCs, kCs);
    EXPECT_EQ(log->reads.back().second, 4096u);
}

TEST_F(WindowTest, OneBytePastTheWindowRefillsAtTheRequest) {
    Read(1000 * kCs, kCs);
    const size_t before = DeviceReads();
    Read(1000 * kCs + 4096 - 100, 101);
    EXPECT_EQ(DeviceReads(), before + 1);
    EXPECT_EQ(log->reads.back().first, 1000u * kCs + 4096 - 100);
    EXPECT_EQ(reader.WindowStart(), 1000 * int64_t{kCs} + 4096 - 100);
}

TEST_F(WindowTest, RequestBeforeTheWindowRefillsEvenWhenOverlapping) {
    Read(1000 * kCs, kCs);
    const size_t before = DeviceReads();
    auto out = Read(999 * kCs, 2 * kCs);
    EXPECT_EQ(DeviceReads(), before + 1);
    EXPECT_EQ(reader.WindowStart(), 999 * int64_t{kCs});
    EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + 2 * kCs),
              Expected(999 * kCs, 2 * kCs));
}

TEST_F(WindowTest, ZeroLengthOutsideTheWindowReadsNothing) {
    const size_t before = DeviceReads();
    int64_t r;
    Read(7000 * kCs, 0, &r);
    EXPECT_EQ(r, 0);
    EXPECT_EQ(DeviceReads(), before);
}

TEST_F(WindowTest, LongRequestIsServedBySuccessiveRefillsAndNothingMore) {
    const uint32_t length = 11000 * kCs;
    int64_t r;
    auto out = Read(kCs, length, &r);
    EXPECT_EQ(r, length);
    EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + length), Expected(kCs, length));
    EXPECT_EQ(std::vector<uint8_t>(out.begin() + length, out.end()),
              std::vector<uint8_t>(16, 0xCC));
    // Window-sized pieces; the window now holds the last one.
    EXPECT_EQ(reader.WindowStart(), int64_t{kCs} + 2 * 5000 * kCs);
    EXPECT_EQ(log->reads.back().second, 5000u * kCs);
}

TEST_F(WindowTest, ShortRefillAtTheEndIsAcceptedAndPastItFails) {
    int64_t r;
    const int64_t last = (kClusters - 10) * kCs;
    auto out = Read(last, 10 * kCs, &r);
    EXPECT_EQ(r, 10 * kCs);
    EXPECT_EQ(reader.WindowLength(), 10u * kCs);
    Read(kClusters * kCs, kCs, &r);
    EXPECT_EQ(r, kErrRead);
    Read(-int64_t{kCs}, kCs, &r);
    EXPECT_EQ(r, kErrSeek);
}

TEST_F(WindowTest, ClusterReadsAre64Bit) {
    int64_t r;
    std::vector<uint8_t> out(kCs);
    r = reader.ReadClusters(uint64_t{1} << 33, out.data(), kCs);  // far beyond 2^32 clusters
    EXPECT_EQ(r, kErrRead);
    EXPECT_EQ(log->reads.back().first, (uint64_t{1} << 33) * kCs);
}

TEST(VolumeReaderGeometry, WindowIsCappedAtSixteenMebibytes) {
    test::VolumeImage small(4096, 16);
    EXPECT_EQ(small.Open()->WindowSize(), 16u << 20);  // 5000 clusters would be 20 MB
    test::VolumeImage big(2u << 20, 2, 1);
    EXPECT_EQ(big.Open()->WindowSize(), 16u << 20);
    test::VolumeImage tiny(512, 16);
    EXPECT_EQ(tiny.Open()->WindowSize(), 512u * 5000);
}

TEST(VolumeReaderOpen, ThroughTheDriveTableAndWithTheRealCause) {
    DriveTable::Global().Clear();
    VolumeReader noDrive;
    EXPECT_EQ(noDrive.Open(u'Q'), kErrOpenVolume);

    DriveTable::Global().Set(u'Q', u"/nonexistent/quorvane.img");
    VolumeReader missing;
    EXPECT_EQ(missing.Open(u'Q'), kErrOpenVolume);
    EXPECT_NE(missing.FailureReason().find("No such file"), std::string::npos);

    VolumeReader notNtfs;
    EXPECT_EQ(notNtfs.Open(std::make_unique<MemoryDevice>(std::vector<uint8_t>(4096, 0)), u'Q'),
              kErrBootSector);
    EXPECT_NE(notNtfs.FailureReason().find("not an NTFS volume"), std::string::npos);

    VolumeReader tooSmall;
    EXPECT_EQ(tooSmall.Open(std::make_unique<MemoryDevice>(std::vector<uint8_t>(100, 0)), u'Q'),
              kErrBootSector);
    DriveTable::Global().Clear();
}

}  // namespace
}  // namespace qv
