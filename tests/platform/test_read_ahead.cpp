// The read-ahead over a container device, on a fake container whose handles count their reads,
// can be slow and fail at a chosen byte: every read returns what the device itself returns
// (bytes, count, or error with its cause), whichever handle read it.
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "platform/ReadAhead.h"

namespace qv {
namespace {

constexpr uint64_t kBlock = 4096;

// The container's contents and what its handles did.
struct Container {
    std::vector<uint8_t> bytes;
    uint64_t damagedByte = UINT64_MAX;  // a read that covers it fails
    std::chrono::milliseconds readTime{0};
    bool othersOpen = true;
    std::atomic<int> directReads{0}, workerReads{0};
};

class Handle final : public BlockDevice {
public:
    // Counts its reads in *reads, if given.
    Handle(std::shared_ptr<Container> c, std::atomic<int>* reads)
        : c_(std::move(c)), reads_(reads) {}
    Result<size_t> ReadAt(uint64_t offset, void* buffer, size_t size) override {
        if (reads_) ++*reads_;
        std::this_thread::sleep_for(c_->readTime);
        if (offset >= c_->bytes.size()) return size_t{0};
        const size_t n = std::min<uint64_t>(size, c_->bytes.size() - offset);
        if (c_->damagedByte >= offset && c_->damagedByte < offset + n)
            return Error(kErrRead, "chunk at byte " + std::to_string(c_->damagedByte) + " is bad",
                         EIO);
        std::memcpy(buffer, c_->bytes.data() + offset, n);
        return n;
    }
    uint64_t Size() const override { return c_->bytes.size(); }

private:
    std::shared_ptr<Container> c_;
    std::atomic<int>* reads_;
};

std::shared_ptr<Container> MakeContainer(uint64_t size) {
    auto c = std::make_shared<Container>();
    for (uint64_t i = 0; i < size; ++i)
        c->bytes.push_back(static_cast<uint8_t>(i * 7 + i / 251));
    return c;
}

// Without readUnstarted, every streaming read waits for the workers: what they read is what the
// caller gets.
std::unique_ptr<BlockDevice> Open(const std::shared_ptr<Container>& c, int workers = 2,
                                  bool readUnstarted = false) {
    ReadAheadOptions options;
    options.blockBytes = kBlock;
    options.blocksAhead = 3;
    options.workers = workers;
    options.minStreamingRead = 1;
    options.nearBytes = 100;
    options.readUnstartedBlocks = readUnstarted;
    return WithReadAhead(
        std::make_unique<Handle>(c, &c->directReads),
        [c] {
            if (!c->othersOpen) return Result<std::unique_ptr<BlockDevice>>(Error(kErrOpenVolume));
            return Result<std::unique_ptr<BlockDevice>>(
                std::make_unique<Handle>(c, &c->workerReads));
        },
        options);
}

// What a read through the read-ahead returned, against the same read straight from a handle.
void ExpectSameRead(BlockDevice& device, const std::shared_ptr<Container>& c, uint64_t offset,
                    size_t size) {
    std::vector<uint8_t> got(size, 0xEE), want(size, 0xEE);
    const Result<size_t> read = device.ReadAt(offset, got.data(), size);
    const Result<size_t> expected = Handle(c, nullptr).ReadAt(offset, want.data(), size);
    ASSERT_EQ(read.ok(), expected.ok()) << "at " << offset << " size " << size;
    if (!expected) {
        EXPECT_EQ(read.error().code, expected.error().code);
        EXPECT_EQ(read.error().cause, expected.error().cause);
        EXPECT_EQ(read.error().osError, expected.error().osError);
        return;
    }
    ASSERT_EQ(*read, *expected) << "at " << offset << " size " << size;
    EXPECT_EQ(got, want) << "at " << offset << " size " << size;
}

TEST(ReadAhead, StreamingReadsReturnTheDevicesBytesFromTheWorkers) {
    const struct {
        const char* what;
        uint64_t start, size, gap;
        int workers;
        bool othersOpen, readUnstarted;
    } cases[] = {
        {"whole blocks", 0, kBlock, 0, 2, true, false},
        {"unaligned, crossing block ends", 7, 1000, 0, 2, true, false},
        {"each read spans blocks", 100, 3 * kBlock + 5, 0, 2, true, false},
        {"larger than the blocks ahead", 0, 5 * kBlock, 0, 2, true, false},
        {"gaps between reads", 3, 2000, 99, 2, true, false},
        {"one worker", 11, 3000, 0, 1, true, false},
        {"no worker can open", 11, 3000, 0, 2, false, false},
        {"the reader takes unstarted blocks", 7, 1000, 0, 2, true, true},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.what);
        // 10 blocks and a partial one: the last read is short, the one after it past the end.
        auto c = MakeContainer(10 * kBlock + 123);
        c->othersOpen = row.othersOpen;
        auto device = Open(c, row.workers, row.readUnstarted);
        int reads = 0;
        for (uint64_t at = row.start; at < c->bytes.size(); at += row.size + row.gap, ++reads)
            ExpectSameRead(*device, c, at, row.size);
        ExpectSameRead(*device, c, c->bytes.size() + 5, 10);
        // The first handle reads the stream's first read and the one past the end; the workers
        // all the rest, unless none of them could open its handle.
        if (row.readUnstarted) continue;  // who reads what depends on the threads' timing
        EXPECT_EQ(c->directReads, row.othersOpen ? 2 : reads + 1);
        EXPECT_EQ(c->workerReads > 0, row.othersOpen);
    }
}

TEST(ReadAhead, AJumpReadsTheRightBytesAndStreamingResumes) {
    const uint64_t jumps[] = {0, 30 * kBlock + 9, 2 * kBlock, 2 * kBlock + 1, 39 * kBlock, 17};
    for (const bool readUnstarted : {false, true}) {
        auto c = MakeContainer(40 * kBlock);
        auto device = Open(c, 2, readUnstarted);
        for (const uint64_t start : jumps) {
            SCOPED_TRACE(start);
            for (uint64_t at = start; at < start + 5 * kBlock; at += 1500)
                ExpectSameRead(*device, c, at, 1500);
        }
    }
}

TEST(ReadAhead, AFailedBlockFailsOnlyTheReadsThatCoverTheBadByteWithTheDevicesError) {
    const struct {
        uint64_t damaged, readSize;
    } cases[] = {
        {5 * kBlock + 2000, 1000},  // reads before the bad byte in its block succeed
        {5 * kBlock, kBlock},       // the block's first byte
        {10 * kBlock - 1, 3 * kBlock + 7},
        {10 * kBlock + 100, 600},  // in the partial last block
    };
    for (const auto& row : cases) {
        for (const bool readUnstarted : {false, true}) {
            SCOPED_TRACE(::testing::Message() << row.damaged << (readUnstarted ? " taken" : ""));
            auto c = MakeContainer(10 * kBlock + 123);
            c->damagedByte = row.damaged;
            auto device = Open(c, 2, readUnstarted);
            for (uint64_t at = 0; at < c->bytes.size(); at += row.readSize)
                ExpectSameRead(*device, c, at, row.readSize);
            if (!readUnstarted) {
                EXPECT_GT(c->workerReads, 0);
            }
        }
    }
}

TEST(ReadAhead, ClosingWhileWorkersReadDoesNotWait) {
    auto c = MakeContainer(64 * kBlock);
    c->readTime = std::chrono::milliseconds(30);
    const auto start = std::chrono::steady_clock::now();
    {
        auto device = Open(c);
        std::vector<uint8_t> buffer(kBlock);
        ASSERT_TRUE(device->ReadAt(0, buffer.data(), kBlock));
        ASSERT_TRUE(device->ReadAt(kBlock, buffer.data(), kBlock));  // streams: blocks queued
    }
    // Each worker finishes the block it is reading (30 ms) and reads no queued one.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
    EXPECT_LE(c->workerReads, 5);
}

}  // namespace
}  // namespace qv
