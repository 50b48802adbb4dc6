// Streams turned into bytes, copied (CopyRecordData) or read in place (StreamReader), on a volume
// whose every cluster holds bytes of its own, so what a stream's runs give can be written down.
#include <gtest/gtest.h>

#include "ntfs/DataCopy.h"
#include "ntfs/FileRecord.h"
#include "ntfs/StreamReader.h"
#include "support/Bytes.h"
#include "support/Lznt1Encoder.h"
#include "support/RecordBuilder.h"
#include "support/VolumeImage.h"

namespace qv {
namespace {

using test::Cat;
using test::RecordBuilder;
using test::RunSpec;
using Bytes = std::vector<uint8_t>;
constexpr uint32_t kCs = 4096;

Bytes Cluster(uint64_t lcn) {
    return test::PatternBytes(kCs, static_cast<uint32_t>(lcn));
}
Bytes Text(size_t n, char seed) {
    Bytes v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = static_cast<uint8_t>("abcdefgh"[(i / 7 + seed) % 8]);
    return v;
}
Bytes Zeros(size_t n) {
    return Bytes(n, 0);
}

// Compressed units from cluster 420 on (plain streams use those below): two of text, one that
// decodes short (4 KiB), and unit A again with its first cluster apart from the rest.
const Bytes kTextA = Text(16 * kCs, 1), kTextB = Text(16 * kCs, 5), kShort = Text(kCs, 7);
constexpr uint64_t kUnitA = 420, kUnitB = 440, kUnitShort = 460, kJunk = 480, kSplit = 490;

struct Volume {
    test::VolumeImage image{kCs, 600};
    uint64_t a = 0, b = 0, s = 0;  // clusters each compressed unit takes
    Volume() {
        for (uint64_t c = 1; c < 600; ++c)
            image.Put(c, Cluster(c));
        a = Put(kUnitA, kTextA), b = Put(kUnitB, kTextB), s = Put(kUnitShort, kShort);
        Bytes junk(kCs, 0);
        junk[0] = 0x10, junk[1] = 0xB0, junk[2] = 0x01;  // a token first: nothing to refer to
        image.Put(kJunk, junk);
        Bytes packed = test::Lznt1Compress(kTextA);
        packed.resize(a * kCs, 0);
        image.Put(kSplit, Bytes(packed.begin(), packed.begin() + kCs));
        image.Put(kSplit + 20, Bytes(packed.begin() + kCs, packed.end()));
    }
    uint64_t Put(uint64_t lcn, const Bytes& data) {
        Bytes packed = test::Lznt1Compress(data);
        const uint64_t clusters = (packed.size() + kCs - 1) / kCs;
        packed.resize(clusters * kCs, 0);
        image.Put(lcn, packed);
        return clusters;
    }
};
const Volume& TheVolume() {
    static const Volume volume;
    return volume;
}

// The bytes of a plain stream whose extents start at the given VCNs: each cluster its runs name,
// zeros where none does (sparse runs, missing extents), cut at the size.
Bytes Along(const std::vector<std::pair<uint64_t, std::vector<RunSpec>>>& extents, uint64_t size) {
    Bytes out;
    for (const auto& [vcn, runs] : extents) {
        out.resize(vcn * kCs, 0);
        for (const RunSpec& r : runs)
            for (uint64_t i = 0; i < r.length; ++i) {
                const Bytes c = r.lcn ? Cluster(r.lcn + i) : Zeros(kCs);
                out.insert(out.end(), c.begin(), c.end());
            }
    }
    out.resize(size, 0);
    return out;
}

std::unique_ptr<FileRecord> Parse(std::vector<Bytes> images) {
    auto r = std::make_unique<FileRecord>();
    r->SetHeader(images[0]);
    for (Bytes& image : images)
        EXPECT_EQ(r->Parse(image, kCs), Parsed::kFine);
    return r;
}

TEST(CopyRecordData, WritesWhatTheRunsGiveAndSaysHowTheCopyEnded) {
    const Volume& v = TheVolume();
    ASSERT_TRUE(v.a >= 2 && v.a <= 12) << "unit A must be splittable: " << v.a;
    const auto plain = [](std::vector<RunSpec> runs, uint64_t size, int64_t init = -1) {
        return RecordBuilder().NonResidentData(runs, size, u"", 0, 0, 0, init).Build();
    };
    const auto packed = [](std::vector<RunSpec> runs, uint64_t size) {
        return RecordBuilder().NonResidentData(runs, size, u"", 0, 4, 1).Build();
    };
    const struct {
        const char* what;
        std::vector<Bytes> images;  // the base record, then extension records
        Bytes written;
        Result<Copied> outcome;
        uint64_t stopAfter = UINT64_MAX, sinkLimit = UINT64_MAX;
    } cases[] = {
        {"cut at the size",
         {plain({{100, 3}}, 10000)},
         Along({{0, {{100, 3}}}}, 10000),
         Copied::kWhole},
        {"runs past the size",
         {plain({{100, 1}, {200, 1}}, 1000)},
         Along({{0, {{100, 1}}}}, 1000),
         Copied::kWhole},
        {"fragmented, backwards too",
         {plain({{300, 2}, {50, 1}, {400, 1}}, 4 * kCs)},
         Along({{0, {{300, 2}, {50, 1}, {400, 1}}}}, 4 * kCs),
         Copied::kWhole},
        {"sparse",
         {plain({{0, 300}, {100, 1}}, 301 * kCs)},
         Cat({Zeros(300 * kCs), Cluster(100)}),
         Copied::kWhole},
        // Windows and ntfs-3g give sparse files a compression unit; their data is plain.
        {"sparse with a unit",
         {RecordBuilder()
              .NonResidentData({{100, 2}, {0, 14}}, 16 * kCs, u"", 0, 4, 0x8000)
              .Build()},
         Along({{0, {{100, 2}}}}, 16 * kCs),
         Copied::kWhole},
        {"initialized 5000",
         {plain({{100, 3}}, 3 * kCs, 5000)},
         Cat({Along({{0, {{100, 2}}}}, 5000), Zeros(3 * kCs - 5000)}),
         Copied::kWhole},
        {"resident, the unnamed stream only",
         {RecordBuilder()
              .ResidentData(Text(37, 2))
              .ResidentData({'z'}, u"Zone.Identifier")
              .Build()},
         Text(37, 2),
         Copied::kWhole},
        {"no content", {RecordBuilder().FileName(5, u"empty").Build()}, {}, Copied::kWhole},
        {"runs end before the size",
         {plain({{100, 2}}, 5 * kCs)},
         Along({{0, {{100, 2}}}}, 2 * kCs),
         Copied::kIncomplete},
        {"an extent missing",
         {plain({{100, 1}}, 3 * kCs),
          RecordBuilder().BaseReference(9).NonResidentData({{200, 1}}, 0, u"", 2).Build()},
         Along({{0, {{100, 1}}}, {2, {{200, 1}}}}, 3 * kCs),
         Copied::kIncomplete},
        // A fuzzing find: for a size near 2^64 the piece size wrapped to 0 and the copy never
        // ended.
        {"size 2^64 - 1", {plain({{0, 1}}, UINT64_MAX)}, Zeros(kCs), Copied::kIncomplete},
        {"stopped before", {plain({{100, 1}}, kCs)}, {}, Copied::kStopped, 0},
        {"stopped after the first piece",
         {plain({{0, 300}, {100, 1}}, 301 * kCs)},
         Zeros(1u << 20),
         Copied::kStopped,
         1},
        {"past the volume", {plain({{100000, 1}}, kCs)}, {}, Error(kErrRead)},
        {"the sink refuses", {plain({{100, 4}}, 4 * kCs)}, {}, Error(kErrWrite), UINT64_MAX, kCs},
        // Compressed: units of 16 clusters.
        {"a unit of all data clusters is stored",
         {packed({{100, 16}}, 16 * kCs)},
         Along({{0, {{100, 16}}}}, 16 * kCs),
         Copied::kWhole},
        {"compressed, then a sparse unit",
         {packed({{kUnitA, v.a}, {0, 16 - v.a}, {0, 16}}, 17 * kCs)},
         Cat({kTextA, Zeros(kCs)}),
         Copied::kWhole},
        {"a long sparse run ends a unit and zeroes the next",
         {packed({{kUnitA, v.a}, {0, 32 - v.a}, {kUnitB, v.b}, {0, 16 - v.b}}, 48 * kCs)},
         Cat({kTextA, Zeros(16 * kCs), kTextB}),
         Copied::kWhole},
        {"a unit split over runs",
         {packed({{kSplit, 1}, {kSplit + 20, v.a - 1}, {0, 3}, {0, 13 - v.a}}, 16 * kCs)},
         kTextA,
         Copied::kWhole},
        {"a unit decoding short is zero-filled",
         {packed({{kUnitShort, v.s}, {0, 16 - v.s}, {kUnitB, v.b}, {0, 16 - v.b}}, 32 * kCs)},
         Cat({kShort, Zeros(15 * kCs), kTextB}),
         Copied::kWhole},
        // ntfs-3g stores an incompressible tail as is, without a sparse run after it.
        {"a last unit in just its clusters",
         {packed({{100, 2}}, 5000)},
         Along({{0, {{100, 2}}}}, 5000),
         Copied::kWhole},
        {"runs end inside a compressed unit",
         {packed({{kUnitA, v.a}}, 16 * kCs)},
         kTextA,
         Copied::kIncomplete},
        {"a damaged unit", {packed({{kJunk, 1}, {0, 15}}, 16 * kCs)}, {}, Error(kErrDecompress)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto record = Parse(c.images);
        MemorySink memory;
        LimitedSink sink(memory, c.sinkLimit);
        test::StepCounter progress;
        progress.stopAt = c.stopAfter;
        auto reader = v.image.Open();
        const Result<Copied> copied = CopyRecordData(sink, *record, *reader, progress);
        ASSERT_EQ(copied.ok(), c.outcome.ok()) << (copied ? "" : copied.error().Text());
        if (copied) {
            EXPECT_EQ(*copied, *c.outcome);
        } else {
            EXPECT_EQ(copied.error().code, c.outcome.error().code);
            EXPECT_FALSE(copied.error().cause.empty());
        }
        EXPECT_TRUE(memory.bytes == c.written) << memory.bytes.size() << " " << c.written.size();
        EXPECT_EQ(progress.steps, static_cast<int64_t>(record->TotalDataSize(kCs)));
        EXPECT_EQ(progress.stepped, memory.bytes.size());
    }
}

TEST(CopyRecordData, SparseRunsAreNotReadFromTheVolume) {
    auto reader = TheVolume().image.Open();
    const auto record =
        Parse({RecordBuilder().NonResidentData({{0, 300}, {100, 1}}, 301 * kCs).Build()});
    MemorySink sink;
    test::StepCounter progress;
    ASSERT_TRUE(CopyRecordData(sink, *record, *reader, progress));
    EXPECT_EQ(reader->GetStats().deviceReads, 2u);  // the boot sector, and cluster 100
}

TEST(StreamReader, ReadsAStreamWhereItLiesWithZerosForWhatNoClusterHolds) {
    const struct {
        const char* what;
        std::vector<Bytes> images;
        Bytes stream;  // what reading it whole gives
    } cases[] = {
        {"fragmented",
         {RecordBuilder().NonResidentData({{300, 2}, {50, 1}}, 3 * kCs - 123).Build()},
         Along({{0, {{300, 2}, {50, 1}}}}, 3 * kCs - 123)},
        {"sparse",
         {RecordBuilder().NonResidentData({{0, 2}, {60, 1}}, 3 * kCs).Build()},
         Along({{0, {{0, 2}, {60, 1}}}}, 3 * kCs)},
        {"holes between and after extents",
         {RecordBuilder().NonResidentData({{100, 1}}, 6 * kCs).Build(),
          RecordBuilder().BaseReference(9).NonResidentData({{200, 1}}, 0, u"", 3).Build()},
         Along({{0, {{100, 1}}}, {3, {{200, 1}}}}, 6 * kCs)},
        {"initialized 5000",
         {RecordBuilder().NonResidentData({{100, 2}}, 2 * kCs, u"", 0, 0, 0, 5000).Build()},
         Cat({Along({{0, {{100, 2}}}}, 5000), Zeros(2 * kCs - 5000)})},
        {"resident", {RecordBuilder().ResidentData(Text(700, 3)).Build()}, Text(700, 3)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto record = Parse(c.images);
        auto reader = TheVolume().image.Open();
        StreamReader in(*record->UnnamedStream(), *reader);
        ASSERT_EQ(in.Size(), c.stream.size());
        // Pieces of 1000 bytes, not aligned to anything, up to past the end.
        Bytes got;
        for (uint64_t at = 0; at <= c.stream.size(); at += 1000) {
            Bytes piece(1000, 0xCC);
            const Result<size_t> n = in.ReadAt(at, piece.data(), piece.size());
            ASSERT_TRUE(n) << n.error().Text();
            EXPECT_EQ(*n, std::min<uint64_t>(1000, c.stream.size() - at));
            got.insert(got.end(), piece.begin(), piece.begin() + *n);
        }
        EXPECT_TRUE(got == c.stream);
        EXPECT_EQ(*in.ReadAt(c.stream.size() + 5000, got.data(), 10), 0u);
    }
    // A compressed stream cannot be read in place; a read the volume refuses fails with its cause.
    const auto packed =
        Parse({RecordBuilder().NonResidentData({{100, 16}}, 16 * kCs, u"", 0, 4, 1).Build()});
    const auto outside = Parse({RecordBuilder().NonResidentData({{100000, 1}}, kCs).Build()});
    auto reader = TheVolume().image.Open();
    Bytes buffer(kCs);
    const auto refused =
        StreamReader(*packed->UnnamedStream(), *reader).ReadAt(0, buffer.data(), 10);
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error().code, kErrDecompress);
    const auto failed =
        StreamReader(*outside->UnnamedStream(), *reader).ReadAt(0, buffer.data(), 10);
    ASSERT_FALSE(failed);
    EXPECT_EQ(failed.error().code, kErrRead);
}

}  // namespace
}  // namespace qv
