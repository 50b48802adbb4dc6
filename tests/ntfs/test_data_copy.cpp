#include <gtest/gtest.h>

#include "app/ErrorCodes.h"
#include "app/ProgressDialog.h"
#include "ntfs/DataCopy.h"
#include "ntfs/FileRecord.h"
#include "support/Lznt1Encoder.h"
#include "support/RecordBuilder.h"
#include "support/VolumeImage.h"

namespace qv {
namespace {

using test::PatternBytes;
using test::RecordBuilder;
using test::RunSpec;
using test::VolumeImage;

constexpr uint32_t kCs = 4096;

// Records every write, so tests can check sizes and order.
class RecordingSink final : public ByteSink {
public:
    bool Write(const void* data, size_t size) override {
        if (failAfter != SIZE_MAX && bytes.size() + size > failAfter) return false;
        const auto* p = static_cast<const uint8_t*>(data);
        bytes.insert(bytes.end(), p, p + size);
        writes.push_back(size);
        return true;
    }
    std::vector<uint8_t> bytes;
    std::vector<size_t> writes;
    size_t failAfter = SIZE_MAX;
};

FileRecord Parse(const std::vector<uint8_t>& built) {
    auto image = built;
    FileRecord r;
    r.SetHeader(image);
    EXPECT_EQ(r.Parse(image, kCs), 0);
    return r;
}

std::vector<uint8_t> Slice(const std::vector<uint8_t>& v, size_t from, size_t n) {
    return std::vector<uint8_t>(v.begin() + from, v.begin() + from + n);
}

struct CopyTest : ::testing::Test {
    VolumeImage volume{kCs, 512};
    ProgressDialog progress;
    RecordingSink sink;

    int Copy(const std::vector<uint8_t>& record) {
        auto reader = volume.Open();
        FileRecord r = Parse(record);
        return CopyRecordData(sink, r, *reader, progress);
    }
};

TEST_F(CopyTest, PlainStreamIsCutAtItsSize) {
    const auto data = PatternBytes(3 * kCs, 1);
    volume.Put(100, data);
    ASSERT_EQ(Copy(RecordBuilder().NonResidentData({{100, 3}}, 10000).Build()), 0);
    EXPECT_EQ(sink.bytes, Slice(data, 0, 10000));
}

TEST_F(CopyTest, RunsBeyondTheSizeAreNotWritten) {
    volume.Put(100, PatternBytes(kCs, 1));
    volume.Put(200, PatternBytes(kCs, 2));
    ASSERT_EQ(Copy(RecordBuilder().NonResidentData({{100, 1}, {200, 1}}, 1000).Build()), 0);
    EXPECT_EQ(sink.bytes, Slice(PatternBytes(kCs, 1), 0, 1000));
}

TEST_F(CopyTest, FragmentedStreamFollowsItsRunsIncludingBackwards) {
    const auto a = PatternBytes(2 * kCs, 1), b = PatternBytes(kCs, 2), c = PatternBytes(kCs, 3);
    volume.Put(300, a);
    volume.Put(50, b);  // a negative offset
    volume.Put(400, c);
    ASSERT_EQ(Copy(RecordBuilder().NonResidentData({{300, 2}, {50, 1}, {400, 1}}, 4 * kCs).Build()),
              0);
    std::vector<uint8_t> expected = a;
    expected.insert(expected.end(), b.begin(), b.end());
    expected.insert(expected.end(), c.begin(), c.end());
    EXPECT_EQ(sink.bytes, expected);
}

TEST_F(CopyTest, SparseRunsAreZerosWithoutReadingTheVolume) {
    const auto a = PatternBytes(kCs, 1);
    volume.Put(100, a);
    auto reader = volume.Open();
    FileRecord r = Parse(RecordBuilder().NonResidentData({{0, 300}, {100, 1}}, 301 * kCs).Build());
    ASSERT_EQ(CopyRecordData(sink, r, *reader, progress), 0);
    ASSERT_EQ(sink.bytes.size(), 301u * kCs);
    EXPECT_EQ(Slice(sink.bytes, 0, 300 * kCs), std::vector<uint8_t>(300 * kCs, 0));
    EXPECT_EQ(Slice(sink.bytes, 300 * kCs, kCs), a);
    // Only the boot sector and the one window refill for cluster 100 touched the device.
    EXPECT_EQ(reader->GetStats().deviceReads, 2u);
}

TEST_F(CopyTest, SparseStreamWithACompressionUnitButNoCompressedFlagIsPlain) {
    // ntfs-3g and Windows give sparse files a compression unit; their data is not LZNT1.
    const auto a = PatternBytes(2 * kCs, 7);
    volume.Put(100, a);
    ASSERT_EQ(Copy(RecordBuilder()
                       .NonResidentData({{100, 2}, {0, 14}}, 16 * kCs, u"", 0, 4, 0x8000)
                       .Build()),
              0);
    ASSERT_EQ(sink.bytes.size(), 16u * kCs);
    EXPECT_EQ(Slice(sink.bytes, 0, 2 * kCs), a);
}

TEST_F(CopyTest, BytesPastTheInitializedSizeAreZeros) {
    volume.Put(100, PatternBytes(3 * kCs, 5));
    ASSERT_EQ(
        Copy(RecordBuilder().NonResidentData({{100, 3}}, 3 * kCs, u"", 0, 0, 0, 5000).Build()), 0);
    ASSERT_EQ(sink.bytes.size(), 3u * kCs);
    EXPECT_EQ(Slice(sink.bytes, 0, 5000), Slice(PatternBytes(3 * kCs, 5), 0, 5000));
    EXPECT_EQ(Slice(sink.bytes, 5000, 3 * kCs - 5000), std::vector<uint8_t>(3 * kCs - 5000, 0));
}

TEST_F(CopyTest, ResidentStreamIsWrittenInOneWrite) {
    const auto value = PatternBytes(37, 2);
    ASSERT_EQ(Copy(RecordBuilder().ResidentData(value).Build()), 0);
    EXPECT_EQ(sink.bytes, value);
    EXPECT_EQ(sink.writes.size(), 1u);
}

TEST_F(CopyTest, ContentIsTheUnnamedStreamOnly) {
    ASSERT_EQ(Copy(RecordBuilder()
                       .ResidentData(std::vector<uint8_t>(10, 'a'))
                       .ResidentData(std::vector<uint8_t>(5, 'z'), u"Zone.Identifier")
                       .Build()),
              0);
    EXPECT_EQ(sink.bytes, std::vector<uint8_t>(10, 'a'));
}

TEST_F(CopyTest, RunsEndingBeforeTheSizeAreIncomplete) {
    volume.Put(100, PatternBytes(2 * kCs, 1));
    EXPECT_EQ(Copy(RecordBuilder().NonResidentData({{100, 2}}, 5 * kCs).Build()),
              kErrCopyIncomplete);
    EXPECT_EQ(sink.bytes, PatternBytes(2 * kCs, 1));  // what the runs give is written
}

TEST_F(CopyTest, AMissingExtentKeepsTheOffsetsOfWhatFollowsAndIsIncomplete) {
    volume.Put(100, PatternBytes(kCs, 1));
    volume.Put(200, PatternBytes(kCs, 2));
    auto base = RecordBuilder().NonResidentData({{100, 1}}, 3 * kCs).Build();
    auto ext = RecordBuilder().BaseReference(9).NonResidentData({{200, 1}}, 0, u"", 2).Build();
    FileRecord r;
    r.SetHeader(base);
    ASSERT_EQ(r.Parse(base, kCs), 0);
    ASSERT_EQ(r.Parse(ext, kCs), 0);
    auto reader = volume.Open();
    EXPECT_EQ(CopyRecordData(sink, r, *reader, progress), kErrCopyIncomplete);
    ASSERT_EQ(sink.bytes.size(), 3u * kCs);
    EXPECT_EQ(Slice(sink.bytes, kCs, kCs), std::vector<uint8_t>(kCs, 0));
    EXPECT_EQ(Slice(sink.bytes, 2 * kCs, kCs), PatternBytes(kCs, 2));
}

TEST_F(CopyTest, ReadFailureAndWriteFailureAreReported) {
    auto reader = volume.Open();
    FileRecord past = Parse(RecordBuilder().NonResidentData({{100000, 1}}, kCs).Build());
    EXPECT_EQ(CopyRecordData(sink, past, *reader, progress), kErrRead);

    volume.Put(100, PatternBytes(4 * kCs, 1));
    sink.failAfter = kCs;
    EXPECT_EQ(Copy(RecordBuilder().NonResidentData({{100, 4}}, 4 * kCs).Build()), kErrWrite);
}

TEST_F(CopyTest, CancelledBeforeTheStartWritesNothing) {
    volume.Put(100, PatternBytes(kCs, 1));
    progress.Stop();
    EXPECT_EQ(Copy(RecordBuilder().NonResidentData({{100, 1}}, kCs).Build()), 0);
    EXPECT_TRUE(sink.bytes.empty());
}

TEST_F(CopyTest, ProgressIsAnnouncedAsTheContentSize) {
    volume.Put(100, PatternBytes(3 * kCs, 1));
    ASSERT_EQ(Copy(RecordBuilder().NonResidentData({{100, 3}}, 10000).Build()), 0);
    EXPECT_EQ(progress.Threshold(), 10000);
    EXPECT_GE(progress.BarAdvances(), 1);
}

// Compressed streams: units of 16 clusters.
struct CompressedCopy : CopyTest {
    std::vector<uint8_t> TextBytes(size_t n, char seed) {
        std::vector<uint8_t> v(n);
        for (size_t i = 0; i < n; ++i)
            v[i] = static_cast<uint8_t>("abcdefgh"[(i / 7 + seed) % 8]);
        return v;
    }
    // Writes a compressed unit at lcn and returns the clusters it takes.
    uint64_t PutUnit(uint64_t lcn, const std::vector<uint8_t>& data) {
        auto packed = test::Lznt1Compress(data);
        const uint64_t clusters = (packed.size() + kCs - 1) / kCs;
        packed.resize(clusters * kCs, 0);
        volume.Put(lcn, packed);
        return clusters;
    }
};

TEST_F(CompressedCopy, UnitOfAllDataClustersIsStoredAsIs) {
    const auto raw = PatternBytes(16 * kCs, 3);
    volume.Put(100, raw);
    ASSERT_EQ(Copy(RecordBuilder().NonResidentData({{100, 16}}, 16 * kCs, u"", 0, 4, 1).Build()),
              0);
    EXPECT_EQ(sink.bytes, raw);
}

TEST_F(CompressedCopy, CompressedUnitThenSparseUnitCutAtTheSize) {
    const auto text = TextBytes(16 * kCs, 1);
    const uint64_t c = PutUnit(100, text);
    ASSERT_LT(c, 16u);
    const uint64_t size = 16 * kCs + 5000;
    ASSERT_EQ(Copy(RecordBuilder()
                       .NonResidentData({{100, c}, {0, 16 - c}, {0, 16}}, size, u"", 0, 4, 1)
                       .Build()),
              0);
    ASSERT_EQ(sink.bytes.size(), size);
    EXPECT_EQ(Slice(sink.bytes, 0, 16 * kCs), text);
    EXPECT_EQ(Slice(sink.bytes, 16 * kCs, 5000), std::vector<uint8_t>(5000, 0));
}

TEST_F(CompressedCopy, LongSparseRunCompletesTheUnitAndZeroesTheNext) {
    const auto text = TextBytes(16 * kCs, 2);
    const auto next = TextBytes(16 * kCs, 5);
    const uint64_t c = PutUnit(100, text);
    const uint64_t d = PutUnit(200, next);
    ASSERT_EQ(Copy(RecordBuilder()
                       .NonResidentData({{100, c}, {0, 16 - c + 16}, {200, d}, {0, 16 - d}},
                                        48 * kCs, u"", 0, 4, 1)
                       .Build()),
              0);
    ASSERT_EQ(sink.bytes.size(), 48u * kCs);
    EXPECT_EQ(Slice(sink.bytes, 0, 16 * kCs), text);
    EXPECT_EQ(Slice(sink.bytes, 16 * kCs, 16 * kCs), std::vector<uint8_t>(16 * kCs, 0));
    EXPECT_EQ(Slice(sink.bytes, 32 * kCs, 16 * kCs), next);
}

TEST_F(CompressedCopy, UnitSplitOverRunsAndExtents) {
    const auto text = TextBytes(16 * kCs, 3);
    auto packed = test::Lznt1Compress(text);
    const uint64_t c = (packed.size() + kCs - 1) / kCs;
    ASSERT_GE(c, 2u);
    packed.resize(c * kCs, 0);
    // The compressed clusters lie in two places, and the sparse tail is split in two runs.
    volume.Put(100, Slice(packed, 0, kCs));
    volume.Put(300, Slice(packed, kCs, (c - 1) * kCs));
    ASSERT_EQ(Copy(RecordBuilder()
                       .NonResidentData({{100, 1}, {300, c - 1}, {0, 3}, {0, 13 - c}}, 16 * kCs,
                                        u"", 0, 4, 1)
                       .Build()),
              0);
    EXPECT_EQ(sink.bytes, text);
}

TEST_F(CompressedCopy, LastUnitStoredInJustTheClustersItNeeds) {
    // ntfs-3g stores an incompressible tail as is, without a sparse run after it.
    const auto raw = PatternBytes(5000, 4);
    volume.Put(100, raw);
    ASSERT_EQ(Copy(RecordBuilder().NonResidentData({{100, 2}}, 5000, u"", 0, 4, 1).Build()), 0);
    EXPECT_EQ(sink.bytes, raw);
}

TEST_F(CompressedCopy, RunsEndingInsideACompressedUnitAreIncomplete) {
    const auto text = TextBytes(16 * kCs, 6);
    const uint64_t c = PutUnit(100, text);
    EXPECT_EQ(Copy(RecordBuilder().NonResidentData({{100, c}}, 16 * kCs, u"", 0, 4, 1).Build()),
              kErrCopyIncomplete);
    EXPECT_EQ(sink.bytes, text);  // what the clusters decode to is still written
}

TEST_F(CompressedCopy, DamagedUnitFails) {
    std::vector<uint8_t> junk(kCs, 0);
    junk[0] = 0x10, junk[1] = 0xB0, junk[2] = 0x01;  // a token first: nothing to refer back to
    volume.Put(100, junk);
    EXPECT_EQ(
        Copy(RecordBuilder().NonResidentData({{100, 1}, {0, 15}}, 16 * kCs, u"", 0, 4, 1).Build()),
        kErrDecompress);
}

TEST_F(CompressedCopy, UnitDecodingShortIsFilledWithZeros) {
    // A unit whose chunks end early still stands for 16 clusters of the stream.
    const auto part = TextBytes(4096, 7);
    const uint64_t c = PutUnit(100, part);
    const auto text = TextBytes(16 * kCs, 1);
    const uint64_t d = PutUnit(200, text);
    ASSERT_EQ(Copy(RecordBuilder()
                       .NonResidentData({{100, c}, {0, 16 - c}, {200, d}, {0, 16 - d}}, 32 * kCs,
                                        u"", 0, 4, 1)
                       .Build()),
              0);
    ASSERT_EQ(sink.bytes.size(), 32u * kCs);
    EXPECT_EQ(Slice(sink.bytes, 0, 4096), part);
    EXPECT_EQ(Slice(sink.bytes, 4096, 15 * kCs), std::vector<uint8_t>(15 * kCs, 0));
    EXPECT_EQ(Slice(sink.bytes, 16 * kCs, 16 * kCs), text);
}

TEST(DataCopyClusters, LargeClustersUseOneClusterBuffers) {
    // 64 KiB clusters: the copy must still be exact.
    VolumeImage volume(65536, 64, 4);
    const auto data = PatternBytes(3 * 65536, 11);
    volume.Put(10, data);
    auto reader = volume.Open();
    auto image = RecordBuilder().NonResidentData({{10, 3}}, 3 * 65536 - 123).Build();
    FileRecord r;
    r.SetHeader(image);
    ASSERT_EQ(r.Parse(image, 65536), 0);
    ProgressDialog progress;
    RecordingSink sink;
    ASSERT_EQ(CopyRecordData(sink, r, *reader, progress), 0);
    EXPECT_EQ(sink.bytes, Slice(data, 0, 3 * 65536 - 123));
}

}  // namespace
}  // namespace qv
