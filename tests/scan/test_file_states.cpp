// A deleted file's state, judged from its runs against an allocation bitmap.
#include <gtest/gtest.h>

#include <cstring>
#include <set>

#include "base/LittleEndian.h"
#include "ntfs/FileRecord.h"
#include "scan/ClusterBitmap.h"
#include "scan/FileStates.h"
#include "support/NtfsBuilder.h"
#include "support/RecordBuilder.h"
#include "support/ScanHarness.h"

namespace qv {
namespace {

constexpr uint64_t kClusters = 2048;

// The bits of a bitmap in memory, or a source whose every read fails.
class BitmapBytes final : public ByteSource {
public:
    BitmapBytes(const std::set<uint64_t>& allocated, bool fails)
        : bytes_(kClusters / 8), fails_(fails) {
        for (uint64_t c : allocated)
            bytes_[c / 8] = static_cast<uint8_t>(bytes_[c / 8] | (1u << (c % 8)));
    }
    Result<size_t> ReadAt(uint64_t offset, void* buffer, size_t size) override {
        if (fails_) return Error(kErrRead, "sector 9 unreadable");
        if (offset >= bytes_.size()) return size_t{0};
        size = std::min<size_t>(size, bytes_.size() - offset);
        std::memcpy(buffer, bytes_.data() + offset, size);
        return size;
    }
    uint64_t Size() const override { return bytes_.size(); }

private:
    std::vector<uint8_t> bytes_;
    bool fails_;
};

std::set<uint64_t> Range(uint64_t first, uint64_t count, std::set<uint64_t> more = {}) {
    for (uint64_t c = first; c < first + count; ++c)
        more.insert(c);
    return more;
}

// A run of first cluster 0 is sparse.
struct RunSpan {
    uint64_t first, count;
};

TEST(FileStates, RunsAgainstTheBitmap) {
    const struct {
        const char* what;
        std::vector<RunSpan> runs;
        std::set<uint64_t> allocated;
        FileState state;
        uint8_t percent;
        bool bitmapFails = false;
    } cases[] = {
        {"none taken", {{10, 4}, {30, 2}}, Range(14, 16), FileState::kIntact, 0},
        {"all taken", {{10, 4}, {30, 2}}, Range(10, 4, {30, 31}), FileState::kOverwritten, 0},
        {"7 of 20", {{100, 20}}, Range(113, 7), FileState::kPartlyOverwritten, 35},
        {"7 of 8: 87.5 rounds up", {{60, 8}}, Range(60, 7), FileState::kPartlyOverwritten, 88},
        {"1 of 3", {{5, 1}, {9, 2}}, {9}, FileState::kPartlyOverwritten, 33},
        {"1 of 1000 shows 1, not 0", {{1000, 1000}}, {1999}, FileState::kPartlyOverwritten, 1},
        {"999 of 1000 shows 99, not 100",
         {{1000, 1000}},
         Range(1001, 999),
         FileState::kPartlyOverwritten,
         99},
        {"across chunks", {{50, 200}}, Range(120, 100), FileState::kPartlyOverwritten, 50},
        {"sparse runs do not count",
         {{0, 500}, {10, 4}, {0, 8}},
         Range(0, 4, {10, 11, 12, 13}),
         FileState::kOverwritten,
         0},
        {"all sparse", {{0, 64}}, Range(0, 100), FileState::kIntact, 0},
        {"no runs (empty)", {}, Range(0, 100), FileState::kIntact, 0},
        {"runs past the bitmap's end", {{10, 2}, {kClusters - 2, 4}}, {}, FileState::kUnknown, 0},
        {"a run starting past it", {{kClusters + 5, 1}}, {}, FileState::kUnknown, 0},
        {"bitmap unreadable", {{10, 4}}, {}, FileState::kUnknown, 0, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        RunList stream;
        for (const RunSpan& r : c.runs)
            stream.AddRun(r.first, r.count);
        // Small chunks, two kept: the judge reads through the chunk cache's evictions.
        ClusterBitmap bitmap(std::make_unique<BitmapBytes>(c.allocated, c.bitmapFails), 0, 8, 2);
        const JudgedState judged = JudgeStream(stream, &bitmap);
        EXPECT_EQ(StateName(judged.state), StateName(c.state));
        EXPECT_EQ(judged.overwrittenPercent, c.percent);
    }
}

TEST(FileStates, RecordsAndBitmapsThatCannotTell) {
    using test::RecordBuilder;
    // An attribute whose length is 0 ends the walk: the record is damaged.
    std::vector<uint8_t> broken(24, 0);
    Store32(broken.data(), 0x40);
    const struct {
        const char* what;
        std::vector<uint8_t> image;
        bool bitmap;
        FileState state;
    } cases[] = {
        {"resident", RecordBuilder().ResidentData({'a', 'b'}).Build(), false, FileState::kResident},
        {"non-resident, intact", RecordBuilder().NonResidentData({{40, 3}}, 9000).Build(), true,
         FileState::kIntact},
        {"no bitmap", RecordBuilder().NonResidentData({{40, 3}}, 9000).Build(), false,
         FileState::kUnknown},
        {"damaged record", RecordBuilder().NonResidentData({{40, 3}}, 9000).Raw(broken).Build(),
         true, FileState::kUnknown},
        {"no unnamed stream", RecordBuilder().ResidentData({'z'}, u"side").Build(), true,
         FileState::kUnknown},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> image = c.image;
        FileRecord record;
        record.SetHeader(image);
        record.Parse(image, 4096);
        ClusterBitmap bitmap(std::make_unique<BitmapBytes>(Range(0, 40), false));
        EXPECT_EQ(StateName(JudgeFile(record, c.bitmap ? &bitmap : nullptr).state),
                  StateName(c.state));
    }
    // A part of the content in an extension record that is gone.
    std::vector<uint8_t> image = RecordBuilder().NonResidentData({{40, 3}}, 9000).Build();
    FileRecord record;
    record.SetHeader(image);
    record.Parse(image, 4096);
    record.MarkExtentMissing(u"");
    ClusterBitmap bitmap(std::make_unique<BitmapBytes>(std::set<uint64_t>{}, false));
    EXPECT_EQ(JudgeFile(record, &bitmap).state, FileState::kUnknown);
}

// A scan judges every listed file against the volume's $Bitmap as it is now.
TEST(FileStates, AScanDeliversEachFilesState) {
    using test::RecordBuilder;
    test::NtfsBuilder volume;
    const uint64_t a = volume.Allocate(4), b = volume.Allocate(4), c = volume.Allocate(4);
    volume.MarkAllocated(b + 1, 1);  // another file took one of b's clusters
    volume.MarkAllocated(c, 4);      // and all of c's
    auto file = [&](uint32_t n, const std::u16string& name, std::vector<test::RunSpec> runs) {
        volume.SetRecord(n, RecordBuilder()
                                .RecordNumber(n)
                                .FileName(test::NtfsBuilder::kRootReference, name)
                                .NonResidentData(runs, 4 * 4096)
                                .Build());
    };
    file(30, u"a", {{a, 4}});
    file(31, u"b", {{b, 4}});
    file(32, u"c", {{c, 4}});
    file(33, u"past-the-end", {{2046, 4}});
    volume.SetRecord(
        34, RecordBuilder().RecordNumber(34).FileName(5, u"r").ResidentData({'r'}).Build());
    auto session = test::OpenSession(volume.Open());
    ASSERT_TRUE(session);
    const std::vector<DeletedFile> files = test::FindAll(*session);
    ASSERT_EQ(files.size(), 5u);
    const FileState want[] = {FileState::kIntact, FileState::kPartlyOverwritten,
                              FileState::kOverwritten, FileState::kUnknown, FileState::kResident};
    for (size_t i = 0; i < files.size(); ++i)
        EXPECT_EQ(StateName(files[i].state), StateName(want[i])) << files[i].record;
    EXPECT_EQ(files[1].overwrittenPercent, 25);
}

}  // namespace
}  // namespace qv
