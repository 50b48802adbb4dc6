// A deleted file's state, judged from its runs against an allocation bitmap. Whole scans
// delivering the states are compared with ntfsundelete's on every fixture (tests/cli).
#include <gtest/gtest.h>

#include <set>

#include "base/LittleEndian.h"
#include "ntfs/FileRecord.h"
#include "scan/ClusterBitmap.h"
#include "scan/FileStates.h"
#include "support/MemoryDevice.h"
#include "support/RecordBuilder.h"

namespace qv {
namespace {

constexpr uint64_t kClusters = 2048;

// The bits of a bitmap in memory, or a bitmap whose every read fails.
std::unique_ptr<ByteSource> BitmapBytes(const std::set<uint64_t>& allocated, bool fails) {
    std::vector<uint8_t> bytes(kClusters / 8);
    for (uint64_t c : allocated)
        bytes[c / 8] = static_cast<uint8_t>(bytes[c / 8] | (1u << (c % 8)));
    auto device = std::make_unique<test::MemoryDevice>(std::move(bytes));
    if (fails) device->FailReadsFrom(0);
    return device;
}

std::set<uint64_t> Range(uint64_t first, uint64_t count, std::set<uint64_t> more = {}) {
    for (uint64_t c = first; c < first + count; ++c)
        more.insert(c);
    return more;
}

constexpr auto kIntact = FileState::kIntact, kPartly = FileState::kPartlyOverwritten,
               kOverwritten = FileState::kOverwritten, kUnknown = FileState::kUnknown;

TEST(FileStates, RunsAgainstTheBitmap) {
    using Runs = std::vector<test::RunSpec>;  // a run at cluster 0 is sparse
    using Clusters = std::set<uint64_t>;
    // The runs, the clusters allocated now, whether the bitmap cannot be read; the state judged.
    const std::tuple<const char*, Runs, Clusters, bool, FileState, uint8_t> cases[] = {
        {"none taken", {{10, 4}, {30, 2}}, Range(14, 16), false, kIntact, 0},
        {"all taken", {{10, 4}, {30, 2}}, Range(10, 4, {30, 31}), false, kOverwritten, 0},
        {"7 of 20", {{100, 20}}, Range(113, 7), false, kPartly, 35},
        {"7 of 8: 87.5 rounds up", {{60, 8}}, Range(60, 7), false, kPartly, 88},
        {"1 of 3", {{5, 1}, {9, 2}}, {9}, false, kPartly, 33},
        {"1 of 1000 shows 1, not 0", {{1000, 1000}}, {1999}, false, kPartly, 1},
        {"999 of 1000 shows 99, not 100", {{1000, 1000}}, Range(1001, 999), false, kPartly, 99},
        {"across chunks", {{50, 200}}, Range(120, 100), false, kPartly, 50},
        {"sparse runs do not count",
         {{0, 500}, {10, 4}, {0, 8}},
         Range(0, 4, {10, 11, 12, 13}),
         false,
         kOverwritten,
         0},
        {"all sparse", {{0, 64}}, Range(0, 100), false, kIntact, 0},
        {"no runs (empty)", {}, Range(0, 100), false, kIntact, 0},
        {"runs past the bitmap's end", {{10, 2}, {kClusters - 2, 4}}, {}, false, kUnknown, 0},
        {"a run starting past it", {{kClusters + 5, 1}}, {}, false, kUnknown, 0},
        {"bitmap unreadable", {{10, 4}}, {}, true, kUnknown, 0},
    };
    for (const auto& [what, runs, allocated, unreadable, state, percent] : cases) {
        SCOPED_TRACE(what);
        RunList stream;
        for (const test::RunSpec& r : runs)
            stream.AddRun(r.lcn, r.length);
        // Small chunks, two kept: the judge reads through the chunk cache's evictions.
        ClusterBitmap bitmap(BitmapBytes(allocated, unreadable), 0, 8, 2);
        const JudgedState judged = JudgeStream(stream, &bitmap);
        EXPECT_EQ(StateName(judged.state), StateName(state));
        EXPECT_EQ(judged.overwrittenPercent, percent);
    }
}

TEST(FileStates, RecordsAndBitmapsThatCannotTell) {
    using test::RecordBuilder;
    // An attribute whose length is 0 ends the walk: the record is damaged.
    std::vector<uint8_t> broken(24, 0);
    Store32(broken.data(), 0x40);
    const auto inRun = [] { return RecordBuilder().NonResidentData({{40, 3}}, 9000); };
    // The record, whether a bitmap is at hand, whether a part of the content lies in an extension
    // record that is gone; the state judged.
    const std::tuple<const char*, RecordBuilder, bool, bool, FileState> cases[] = {
        {"resident", RecordBuilder().ResidentData({'a', 'b'}), false, false, FileState::kResident},
        {"non-resident, intact", inRun(), true, false, kIntact},
        {"no bitmap", inRun(), false, false, kUnknown},
        {"damaged record", inRun().Raw(broken), true, false, kUnknown},
        {"no unnamed stream", RecordBuilder().ResidentData({'z'}, u"side"), true, false, kUnknown},
        {"extent missing", inRun(), true, true, kUnknown},
    };
    for (const auto& [what, builder, withBitmap, extentMissing, state] : cases) {
        SCOPED_TRACE(what);
        std::vector<uint8_t> image = builder.Build();
        FileRecord record;
        record.SetHeader(image);
        record.Parse(image, 4096);
        if (extentMissing) record.MarkExtentMissing(u"");
        ClusterBitmap bitmap(BitmapBytes(Range(0, 40), false));
        EXPECT_EQ(StateName(JudgeFile(record, withBitmap ? &bitmap : nullptr).state),
                  StateName(state));
    }
}

}  // namespace
}  // namespace qv
