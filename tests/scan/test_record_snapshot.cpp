// The scan's private copy of the deleted files' records: every record reads back as it was kept,
// in whatever order it is asked for, across the pieces the copy is read in.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <thread>

#include "scan/RecordSnapshot.h"

namespace qv {
namespace {

// A record image of the given size whose bytes tell its number and offset, with its last
// `zeros` bytes zero (they are not stored, and must come back).
std::vector<uint8_t> Image(uint64_t number, size_t size, size_t zeros) {
    std::vector<uint8_t> image(size, 0);
    for (size_t i = 0; i + zeros < size; ++i)
        image[i] = static_cast<uint8_t>(1 + (number * 31 + i * 7) % 255);
    return image;
}

// 3,000 records of 1 KiB, 4 KiB and odd sizes, some mostly zero: about 4 MiB in all, so the
// copy is written out and read back in many pieces, and records straddle their edges.
std::vector<std::vector<uint8_t>> Images() {
    std::vector<std::vector<uint8_t>> images;
    for (uint64_t n = 0; n < 3000; ++n) {
        const size_t size = n % 5 == 0 ? 4096 : n % 7 == 0 ? 1000 + n % 97 : 1024;
        images.push_back(Image(n, size, (n * 13) % size));
    }
    return images;
}

std::vector<uint64_t> Order(const char* name, size_t count) {
    std::vector<uint64_t> order(count);
    std::iota(order.begin(), order.end(), 0);
    if (std::string(name) == "descending") std::reverse(order.begin(), order.end());
    if (std::string(name) == "shuffled") std::shuffle(order.begin(), order.end(), std::mt19937(7));
    if (std::string(name) == "every third, twice") {
        std::vector<uint64_t> picked;
        for (uint64_t n = 0; n < count; n += 3)
            picked.insert(picked.end(), {n, n});
        order = picked;
    }
    return order;
}

void KeepAll(RecordSnapshot& snapshot, const std::vector<std::vector<uint8_t>>& images) {
    ASSERT_TRUE(snapshot.Create());
    for (uint64_t n = 0; n < images.size(); ++n)
        ASSERT_TRUE(snapshot.Add(n, images[n]));
    ASSERT_TRUE(snapshot.Finish());
}

TEST(RecordSnapshot, EveryRecordReadsBackAsKeptInAnyOrder) {
    const auto images = Images();
    RecordSnapshot snapshot;
    ASSERT_NO_FATAL_FAILURE(KeepAll(snapshot, images));
    for (const char* order : {"ascending", "descending", "shuffled", "every third, twice"}) {
        SCOPED_TRACE(order);
        for (const uint64_t n : Order(order, images.size())) {
            std::vector<uint8_t> image;
            ASSERT_TRUE(snapshot.Read(n, image)) << n;
            ASSERT_EQ(image, images[n]) << n;
        }
    }
}

TEST(RecordSnapshot, RecordsAddedAfterAReadAreReadToo) {
    // The first read takes in the whole (short) copy; what is added later lies beyond it.
    const auto images = Images();
    RecordSnapshot snapshot;
    ASSERT_TRUE(snapshot.Create());
    std::vector<uint8_t> image;
    for (uint64_t n = 0; n < images.size(); ++n) {
        ASSERT_TRUE(snapshot.Add(n, images[n]));
        ASSERT_TRUE(snapshot.Read(n, image)) << n;
        ASSERT_EQ(image, images[n]) << n;
        ASSERT_TRUE(snapshot.Read(n / 2, image)) << n;
        ASSERT_EQ(image, images[n / 2]) << n;
    }
}

TEST(RecordSnapshot, KeepsARecordOnceAndRefusesOneNeverKept) {
    RecordSnapshot snapshot;
    ASSERT_TRUE(snapshot.Create());
    ASSERT_TRUE(snapshot.Add(5, Image(5, 1024, 10)));
    ASSERT_TRUE(snapshot.Add(5, Image(6, 1024, 10)));  // the first copy stays
    std::vector<uint8_t> image;
    ASSERT_TRUE(snapshot.Read(5, image));
    EXPECT_EQ(image, Image(5, 1024, 10));
    EXPECT_TRUE(snapshot.Has(5));
    EXPECT_FALSE(snapshot.Has(6));
    EXPECT_FALSE(snapshot.Read(6, image));
}

TEST(RecordSnapshot, TwoThreadsReadingAtOnceEachGetTheirRecords) {
    const auto images = Images();
    RecordSnapshot snapshot;
    ASSERT_NO_FATAL_FAILURE(KeepAll(snapshot, images));
    // One reads the first half, the other the second: each read takes the other's pieces away.
    auto readHalf = [&](uint64_t from, uint64_t to, int& wrong) {
        std::vector<uint8_t> image;
        for (uint64_t n = from; n < to; ++n)
            if (!snapshot.Read(n, image) || image != images[n]) ++wrong;
    };
    int wrongFirst = 0, wrongSecond = 0;
    std::thread first(readHalf, 0, images.size() / 2, std::ref(wrongFirst));
    std::thread second(readHalf, images.size() / 2, images.size(), std::ref(wrongSecond));
    first.join();
    second.join();
    EXPECT_EQ(wrongFirst, 0);
    EXPECT_EQ(wrongSecond, 0);
}

}  // namespace
}  // namespace qv
