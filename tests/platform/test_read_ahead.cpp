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
    explicit Container(uint64_t size) {
        for (uint64_t i = 0; i < size; ++i)
            bytes.push_back(static_cast<uint8_t>(i * 7 + i / 251));
    }
    std::vector<uint8_t> bytes;
    uint64_t damagedByte = UINT64_MAX;  // a read that covers it fails
    std::chrono::milliseconds readTime{0};
    bool othersOpen = true;
    std::atomic<int> directReads{0}, workerReads{0};
};

// A handle of the container; counts its reads in *reads, if given.
struct Handle final : BlockDevice {
    Handle(std::shared_ptr<Container> container, std::atomic<int>* counter)
        : c_(std::move(container)), reads_(counter) {}
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
    std::shared_ptr<Container> c_;
    std::atomic<int>* reads_;
};

// Without readUnstarted, every streaming read waits for the workers: what they read is what the
// caller gets.
std::unique_ptr<BlockDevice> Open(const std::shared_ptr<Container>& c, int workers = 2,
                                  bool readUnstarted = false) {
    return WithReadAhead(std::make_unique<Handle>(c, &c->directReads),
                         [c]() -> Result<std::unique_ptr<BlockDevice>> {
                             if (!c->othersOpen) return Error(kErrOpenVolume);
                             return {std::make_unique<Handle>(c, &c->workerReads)};
                         },
                         {.blockBytes = kBlock,
                          .blocksAhead = 3,
                          .workers = workers,
                          .minStreamingRead = 1,
                          .nearBytes = 100,
                          .readUnstartedBlocks = readUnstarted});
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
    // Where the reads start, their size and the gaps between them, the workers, whether they can
    // open handles, and whether the reader takes blocks no worker has started.
    const std::tuple<const char*, uint64_t, uint64_t, uint64_t, int, bool, bool> cases[] = {
        {"whole blocks", 0, kBlock, 0, 2, true, false},
        {"unaligned, crossing block ends", 7, 1000, 0, 2, true, false},
        {"each read spans blocks", 100, 3 * kBlock + 5, 0, 2, true, false},
        {"larger than the blocks ahead", 0, 5 * kBlock, 0, 2, true, false},
        {"gaps between reads", 3, 2000, 99, 2, true, false},
        {"one worker", 11, 3000, 0, 1, true, false},
        {"no worker can open", 11, 3000, 0, 2, false, false},
        {"the reader takes unstarted blocks", 7, 1000, 0, 2, true, true},
    };
    for (const auto& [what, start, size, gap, workers, othersOpen, readUnstarted] : cases) {
        SCOPED_TRACE(what);
        // 10 blocks and a partial one: the last read is short, the one after it past the end.
        auto c = std::make_shared<Container>(10 * kBlock + 123);
        c->othersOpen = othersOpen;
        auto device = Open(c, workers, readUnstarted);
        int reads = 0;
        for (uint64_t at = start; at < c->bytes.size(); at += size + gap, ++reads)
            ExpectSameRead(*device, c, at, size);
        ExpectSameRead(*device, c, c->bytes.size() + 5, 10);
        // The first handle reads the stream's first read and the one past the end; the workers
        // all the rest, unless none of them could open its handle.
        if (readUnstarted) continue;  // who reads what depends on the threads' timing
        EXPECT_EQ(c->directReads, othersOpen ? 2 : reads + 1);
        EXPECT_EQ(c->workerReads > 0, othersOpen);
    }
}

TEST(ReadAhead, ALaterStartLeavesShortStreamsToTheFirstHandle) {
    // Reading ahead from the third streaming read in a row: whole blocks read in order.
    const auto open = [](const std::shared_ptr<Container>& c) {
        return WithReadAhead(std::make_unique<Handle>(c, &c->directReads),
                             [c]() -> Result<std::unique_ptr<BlockDevice>> {
                                 return {std::make_unique<Handle>(c, &c->workerReads)};
                             },
                             {.blockBytes = kBlock,
                              .blocksAhead = 3,
                              .workers = 1,
                              .minStreamingRead = 1,
                              .nearBytes = 100,
                              .streakBeforeReadingAhead = 3,
                              .readUnstartedBlocks = false});
    };
    {
        // Streams of three reads (the first, then two that follow it), each after a jump: the
        // first handle reads them all, no worker reads anything.
        auto c = std::make_shared<Container>(40 * kBlock);
        auto device = open(c);
        for (const uint64_t start : {0, 20, 5, 30, 12})
            for (uint64_t block = start; block < start + 3; ++block)
                ExpectSameRead(*device, c, block * kBlock, kBlock);
        EXPECT_EQ(c->directReads, 15);
        EXPECT_EQ(c->workerReads, 0);
    }
    {
        // A long stream: the first handle reads its first three reads, the worker the rest.
        auto c = std::make_shared<Container>(10 * kBlock);
        auto device = open(c);
        for (uint64_t block = 0; block < 10; ++block)
            ExpectSameRead(*device, c, block * kBlock, kBlock);
        EXPECT_EQ(c->directReads, 3);
        EXPECT_EQ(c->workerReads, 7);
    }
}

TEST(ReadAhead, AJumpReadsTheRightBytesAndStreamingResumes) {
    const uint64_t jumps[] = {0, 30 * kBlock + 9, 2 * kBlock, 2 * kBlock + 1, 39 * kBlock, 17};
    for (const bool readUnstarted : {false, true}) {
        auto c = std::make_shared<Container>(40 * kBlock);
        auto device = Open(c, 2, readUnstarted);
        for (const uint64_t start : jumps) {
            SCOPED_TRACE(start);
            for (uint64_t at = start; at < start + 5 * kBlock; at += 1500)
                ExpectSameRead(*device, c, at, 1500);
        }
    }
}

TEST(ReadAhead, AFailedBlockFailsOnlyTheReadsThatCoverTheBadByteWithTheDevicesError) {
    const std::pair<uint64_t, uint64_t> cases[] = {
        // the bad byte, the size of each read
        {5 * kBlock + 2000, 1000},  // reads before the bad byte in its block succeed
        {5 * kBlock, kBlock},       // the block's first byte
        {10 * kBlock - 1, 3 * kBlock + 7},
        {10 * kBlock + 100, 600},  // in the partial last block
    };
    for (const auto& [damaged, readSize] : cases) {
        for (const bool readUnstarted : {false, true}) {
            SCOPED_TRACE(::testing::Message() << damaged << (readUnstarted ? " taken" : ""));
            auto c = std::make_shared<Container>(10 * kBlock + 123);
            c->damagedByte = damaged;
            auto device = Open(c, 2, readUnstarted);
            for (uint64_t at = 0; at < c->bytes.size(); at += readSize)
                ExpectSameRead(*device, c, at, readSize);
            EXPECT_TRUE(readUnstarted || c->workerReads > 0);
        }
    }
}

TEST(ReadAhead, ClosingWhileWorkersReadDoesNotWait) {
    auto c = std::make_shared<Container>(64 * kBlock);
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
