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

// Compressed units from cluster 420 on (plain streams use those below): two of text, one that
// decodes short (4 KiB), and unit A again with its first cluster apart from the rest.
const Bytes kTextA = Text(16 * kCs, 1), kTextB = Text(16 * kCs, 5), kShort = Text(kCs, 7);
constexpr uint64_t kUnitA = 420, kUnitB = 440, kUnitShort = 460, kJunk = 480, kSplit = 490;

// LZNT1 units as stored: zero-filled to whole clusters.
Bytes Compressed(const Bytes& data) {
    Bytes packed = test::Lznt1Compress(data);
    packed.resize((packed.size() + kCs - 1) / kCs * kCs, 0);
    return packed;
}

struct Volume {
    test::VolumeImage image{kCs, 600};
    const Bytes unitA = Compressed(kTextA), unitB = Compressed(kTextB), unitS = Compressed(kShort);
    const uint64_t a = unitA.size() / kCs, b = unitB.size() / kCs, s = unitS.size() / kCs;
    Volume() {
        for (uint64_t c = 1; c < 600; ++c)
            image.Put(c, Cluster(c));
        image.Put(kUnitA, unitA);
        image.Put(kUnitB, unitB);
        image.Put(kUnitShort, unitS);
        image.Put(kJunk, Cat({{0x10, 0xB0, 0x01}, Bytes(kCs - 3)}));  // a token first: no history
        image.Put(kSplit, Bytes(unitA.begin(), unitA.begin() + kCs));
        image.Put(kSplit + 20, Bytes(unitA.begin() + kCs, unitA.end()));
    }
};
const Volume kVolume;

// The bytes of a plain stream: each cluster its runs name, zeros for sparse runs (and holes where
// an extent is missing), zeros from the initialized size on, cut or zero-filled to the size.
Bytes Clusters(const std::vector<RunSpec>& runs, uint64_t size, uint64_t initialized = UINT64_MAX) {
    Bytes out;
    for (const RunSpec& r : runs)
        for (uint64_t i = 0; i < r.length; ++i) {
            const Bytes c = r.lcn ? Cluster(r.lcn + i) : Bytes(kCs);
            out.insert(out.end(), c.begin(), c.end());
        }
    out.resize(std::min(size, initialized), 0);
    out.resize(size, 0);
    return out;
}

const std::vector<RunSpec> kScattered = {{300, 2}, {50, 1}, {400, 1}};  // backwards too

// Record images of one unnamed stream: plain, or flagged compressed (units of 2^unit clusters).
Bytes Plain(const std::vector<RunSpec>& runs, uint64_t size, int64_t initialized = -1) {
    return RecordBuilder().NonResidentData(runs, size, u"", 0, 0, 0, initialized).Build();
}
Bytes Packed(const std::vector<RunSpec>& runs, uint64_t size, uint16_t unit = 4) {
    return RecordBuilder().NonResidentData(runs, size, u"", 0, unit, 1).Build();
}
Bytes Extent(const std::vector<RunSpec>& runs, uint64_t vcn) {
    return RecordBuilder().BaseReference(9).NonResidentData(runs, 0, u"", vcn).Build();
}

std::unique_ptr<FileRecord> Parse(std::vector<Bytes> images) {
    auto r = std::make_unique<FileRecord>();
    r->SetHeader(images[0]);
    for (Bytes& image : images)
        EXPECT_EQ(r->Parse(image, kCs), Parsed::kFine);
    return r;
}

TEST(CopyRecordData, WritesWhatTheRunsGiveAndSaysHowTheCopyEnded) {
    const Volume& v = kVolume;
    ASSERT_TRUE(v.a >= 2 && v.a <= 12) << "unit A must be splittable: " << v.a;
    using enum Copied;
    const RunSpec a{kUnitA, v.a}, b{kUnitB, v.b}, s{kUnitShort, v.s};  // compressed units
    const Bytes sparseUnit =
        RecordBuilder().NonResidentData({{100, 2}, {0, 14}}, 16 * kCs, u"", 0, 4, 0x8000).Build();
    const Bytes holeFirst = Plain({{0, 300}, {100, 1}}, 301 * kCs);
    const Bytes twoStreams =
        RecordBuilder().ResidentData(Text(37, 2)).ResidentData({'z'}, u"Zone.Identifier").Build();
    const struct {
        const char* what;
        std::vector<Bytes> images;  // the base record, then extension records
        Bytes written;
        Result<Copied> outcome = kWhole;
        uint64_t deviceReads = 0;  // 0: not counted
        uint64_t stopAfter = UINT64_MAX, sinkLimit = UINT64_MAX;
    } cases[] = {
        {"fragmented, backwards too", {Plain(kScattered, 4 * kCs)}, Clusters(kScattered, 4 * kCs)},
        // Sparse runs are not read: the boot sector and cluster 100 are all the device gives.
        {"sparse", {holeFirst}, Cat({Bytes(300 * kCs), Cluster(100)}), kWhole, 2},
        // Windows and ntfs-3g give sparse files a compression unit; their data is plain.
        {"sparse with a unit", {sparseUnit}, Clusters({{100, 2}}, 16 * kCs)},
        {"initialized", {Plain({{100, 3}}, 3 * kCs, 5000)}, Clusters({{100, 3}}, 3 * kCs, 5000)},
        {"resident, the unnamed stream only", {twoStreams}, Text(37, 2)},
        {"no content", {RecordBuilder().FileName(5, u"empty").Build()}, {}},
        {"too few runs", {Plain({{100, 2}}, 5 * kCs)}, Clusters({{100, 2}}, 2 * kCs), kIncomplete},
        {"an extent missing",
         {Plain({{100, 1}}, 3 * kCs), Extent({{200, 1}}, 2)},
         Clusters({{100, 1}, {0, 1}, {200, 1}}, 3 * kCs),
         kIncomplete},
        // A fuzzing find: near 2^64 the piece size wrapped to 0 and the copy never ended.
        {"size 2^64 - 1", {Plain({{0, 1}}, UINT64_MAX)}, Bytes(kCs), kIncomplete},
        {"stopped before", {Plain({{100, 1}}, kCs)}, {}, kStopped, 0, 0},
        {"stopped after a piece", {holeFirst}, Bytes(1u << 20), kStopped, 0, 1},
        {"past the volume", {Plain({{100000, 1}}, kCs)}, {}, Error(kErrRead)},
        {"sink refuses", {Plain({{100, 4}}, 4 * kCs)}, {}, Error(kErrWrite), 0, UINT64_MAX, kCs},
        // Without a unit the compressed flag means nothing: unit A's clusters are copied as is.
        {"flagged, no unit",
         {Packed({a, {0, 16 - v.a}}, 16 * kCs, 0)},
         Cat({v.unitA, Bytes((16 - v.a) * kCs)})},
        // Compressed: units of 16 clusters.
        {"all data: stored", {Packed({{100, 16}}, 16 * kCs)}, Clusters({{100, 16}}, 16 * kCs)},
        {"then a hole", {Packed({a, {0, 16 - v.a}, {0, 16}}, 17 * kCs)}, Cat({kTextA, Bytes(kCs)})},
        {"a long sparse run ends a unit and zeroes the next",
         {Packed({a, {0, 32 - v.a}, b, {0, 16 - v.b}}, 48 * kCs)},
         Cat({kTextA, Bytes(16 * kCs), kTextB})},
        {"a unit split over runs",
         {Packed({{kSplit, 1}, {kSplit + 20, v.a - 1}, {0, 3}, {0, 13 - v.a}}, 16 * kCs)},
         kTextA},
        {"a unit decoding short is zero-filled",
         {Packed({s, {0, 16 - v.s}, b, {0, 16 - v.b}}, 32 * kCs)},
         Cat({kShort, Bytes(15 * kCs), kTextB})},
        // ntfs-3g stores an incompressible tail as is, without a sparse run after it.
        {"a last unit in its clusters", {Packed({{100, 2}}, 5000)}, Clusters({{100, 2}}, 5000)},
        {"runs end inside a unit", {Packed({a}, 16 * kCs)}, kTextA, kIncomplete},
        {"a damaged unit", {Packed({{kJunk, 1}, {0, 15}}, 16 * kCs)}, {}, Error(kErrDecompress)},
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
        EXPECT_EQ(c.deviceReads ? reader->GetStats().deviceReads : 0, c.deviceReads);
    }
}

TEST(StreamReader, ReadsAStreamWhereItLiesWithZerosForWhatNoClusterHolds) {
    // The records; what reading the stream whole gives, or what reading its first bytes fails with.
    const std::tuple<const char*, std::vector<Bytes>, Bytes, int32_t> cases[] = {
        {"fragmented", {Plain(kScattered, 4 * kCs - 123)}, Clusters(kScattered, 4 * kCs - 123), 0},
        {"sparse", {Plain({{0, 2}, {60, 1}}, 3 * kCs)}, Clusters({{0, 2}, {60, 1}}, 3 * kCs), 0},
        {"holes between and after extents",
         {Plain({{100, 1}}, 6 * kCs), Extent({{200, 1}}, 3)},
         Clusters({{100, 1}, {0, 2}, {200, 1}}, 6 * kCs),
         0},
        {"initialized", {Plain({{100, 2}}, 2 * kCs, 5000)}, Clusters({{100, 2}}, 2 * kCs, 5000), 0},
        {"resident", {RecordBuilder().ResidentData(Text(700, 3)).Build()}, Text(700, 3), 0},
        // A compressed stream cannot be read in place; a read the volume refuses fails.
        {"compressed", {Packed({{100, 16}}, 16 * kCs)}, {}, kErrDecompress},
        {"past the volume", {Plain({{100000, 1}}, kCs)}, {}, kErrRead},
    };
    for (const auto& [what, images, stream, error] : cases) {
        SCOPED_TRACE(what);
        const auto record = Parse(images);
        auto reader = kVolume.image.Open();
        StreamReader in(*record->UnnamedStream(), *reader);
        if (error) {
            Bytes buffer(10);
            const Result<size_t> failed = in.ReadAt(0, buffer.data(), 10);
            ASSERT_FALSE(failed);
            EXPECT_EQ(failed.error().code, error);
            continue;
        }
        ASSERT_EQ(in.Size(), stream.size());
        // Pieces of 1000 bytes, not aligned to anything, up to past the end.
        Bytes got;
        for (uint64_t at = 0; at <= stream.size(); at += 1000) {
            Bytes piece(1000, 0xCC);
            const Result<size_t> n = in.ReadAt(at, piece.data(), piece.size());
            ASSERT_TRUE(n) << n.error().Text();
            EXPECT_EQ(*n, std::min<uint64_t>(1000, stream.size() - at));
            got.insert(got.end(), piece.begin(), piece.begin() + *n);
        }
        EXPECT_TRUE(got == stream);
        EXPECT_EQ(*in.ReadAt(stream.size() + 5000, got.data(), 10), 0u);
    }
}

}  // namespace
}  // namespace qv
