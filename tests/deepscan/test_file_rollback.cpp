// Rolling deleted files' record images back: which image goes first, how a change reaches its
// image, and the pass over all deleted files that keeps a rollback only when it is no worse.
#include <gtest/gtest.h>

#include <ranges>

#include "app/Log.h"
#include "deepscan/DeepScan.h"
#include "deepscan/DeletedFileScenario.h"
#include "ntfs/FileRecord.h"
#include "support/FakeFrontEnd.h"

namespace qv {
namespace {

using namespace logfmt;
using test::DeletedFileScenario;
using test::Fixed;
using test::RecordBuilder;
using Bytes = std::vector<uint8_t>;

// A deleted file of a base record and one extension; an empty image is left out.
std::unique_ptr<DeletedFileImages> Images(uint64_t base, const Bytes& baseImage,
                                          uint64_t extension = 0,
                                          const Bytes& extensionImage = {}) {
    auto file = std::make_unique<DeletedFileImages>();
    EXPECT_TRUE(baseImage.empty() || file->SetBaseImage(base, baseImage));
    EXPECT_TRUE(extensionImage.empty() || file->AddExtension(extension, extensionImage));
    return file;
}
std::unique_ptr<DeletedFileImages> Images(const DeletedFileScenario& s) {
    return Images(s.baseNumber, s.base, s.extensionNumber, s.extensionAsFound);
}

// The log's lines while it lives, without their time stamps.
struct LogCapture {
    test::MemoryLogPane pane;
    LogCapture() { Log::Global().Attach(&pane); }
    ~LogCapture() { Log::Global().Attach(nullptr); }
};

TEST(PopNewest, TakesTheNewestImageFirstTheBaseOnTiesThenTheLowestNumber) {
    DeletedFileImages file;
    ASSERT_TRUE(file.SetBaseImage(12, RecordBuilder().Lsn(500).Build()));
    ASSERT_TRUE(file.AddExtension(41, RecordBuilder().Lsn(700).Build()));
    ASSERT_TRUE(file.AddExtension(40, RecordBuilder().Lsn(700).Build()));
    ASSERT_TRUE(file.AddExtension(43, RecordBuilder().Lsn(500).Build()));
    std::vector<std::pair<uint64_t, uint64_t>> order;
    for (int i = 0; i < 6; ++i) {
        uint64_t lsn = 1, number = 1;
        file.PopNewest(lsn, number);
        order.emplace_back(lsn, number);
    }
    EXPECT_EQ(order, (std::vector<std::pair<uint64_t, uint64_t>>{
                         {700, 40}, {700, 41}, {500, 12}, {500, 43}, {0, 0}, {0, 0}}));
}

TEST(ApplyChange, WritesIntoTheImageItIsForAndNowhereElse) {
    DeletedFileImages file;
    const Bytes base = RecordBuilder().Lsn(9).FileName(5, u"a").ResidentData(Bytes(32, 1)).Build();
    ASSERT_TRUE(file.SetBaseImage(12, base));
    ASSERT_TRUE(file.AddExtension(40, base));
    const Bytes bytes(8, 0xAB);
    EXPECT_EQ(file.ApplyChange(41, 0x98, 0x18, bytes, 0), 0);  // a record the file does not hold
    EXPECT_EQ(file.ApplyChange(12, 0, 0, bytes, 0), 0);        // the header is never written
    EXPECT_EQ(file.Extensions()[40]->image, base);
    // Bytes of the resident $DATA value (the second attribute, value at 0x18).
    Bytes expected = Fixed(base);
    const uint32_t data = 0x38 + Load32(expected.data() + 0x38 + 4);
    EXPECT_EQ(file.ApplyChange(40, data, 0x18 + 8, bytes, 0), 1);
    std::copy(bytes.begin(), bytes.end(), expected.begin() + data + 0x18 + 8);
    EXPECT_EQ(Fixed(file.Extensions()[40]->image), expected);
    EXPECT_EQ(file.Base()->image, base);
    // The image it reached counts as done: its header still carries its LSN.
    EXPECT_TRUE(file.Extensions()[40]->done);
    EXPECT_FALSE(file.Base()->done);
}

TEST(RollBackDeletedFiles, RestoresTheAttributeTheDeletingTransactionRemoved) {
    const std::pair<uint32_t, uint32_t> geometries[] = {
        {4096, 1024}, {512, 1024}, {4096, 4096}, {1024, 1024}, {65536, 4096}};
    for (const auto& [clusterSize, recordSize] : geometries) {
        SCOPED_TRACE(testing::Message() << clusterSize << "/" << recordSize);
        DeletedFileScenario s{.clusterSize = clusterSize, .recordSize = recordSize};
        s.Make();
        LogRecordStore store;
        ASSERT_TRUE(test::LoadBytes(store, s.log, nullptr, clusterSize, recordSize));
        DeletedFileMap files;
        files[s.baseNumber] = Images(s);
        DeletedFileImages& file = *files[s.baseNumber];
        LogCapture capture;
        test::StepCounter progress;
        std::set<uint64_t> kept;
        EXPECT_EQ(RollBackDeletedFiles(files, store, clusterSize, nullptr, progress, &kept), 1);
        EXPECT_EQ(kept, std::set<uint64_t>{s.baseNumber});
        EXPECT_EQ(progress.stepped, 2u);  // one file, stepped in both passes
        EXPECT_EQ(capture.pane.Messages(), std::vector<std::string>{});

        // The extension record has its $DATA back byte for byte, still deleted with its own LSN;
        // the base record is untouched (neither its deallocation nor the bitmap bits on its VCN
        // are undone). SyntheticAdvancedScan lists and copies the file built from these.
        const Bytes ext = Fixed(file.Extensions()[s.extensionNumber]->image);
        const Bytes before = Fixed(s.extensionBefore);
        const uint32_t inUse = Load32(before.data() + 0x18);
        EXPECT_EQ(Load32(ext.data() + 0x18), inUse);
        EXPECT_TRUE(std::equal(ext.begin() + 0x38, ext.begin() + inUse, before.begin() + 0x38));
        EXPECT_EQ(Load16(ext.data() + 0x16), 0);
        EXPECT_EQ(Load64(ext.data() + 8), s.freeExtension);
        EXPECT_EQ(file.Base()->image, s.base);
    }
}

TEST(RollBackDeletedFiles, KeepsTheRecordsAsFoundWhenTheLogWouldMakeThemWorse) {
    // The extension record as found still has its $DATA; the deleting transaction's (damaged)
    // undo would give it mapping pairs of one run only.
    DeletedFileScenario s;
    s.Make();
    test::LogBuilder b;
    test::LogRecordSpec shrink =
        s.For(s.extensionNumber, 0, kUpdateMappingPairs, kUpdateMappingPairs,
              test::EncodeMappingPairs({{300, 1}}), 0x38, 0x40);
    shrink.redo = test::EncodeMappingPairs(s.runs);
    const uint64_t free = b.Add(s.For(s.extensionNumber, b.Add(shrink),
                                      kDeallocateFileRecordSegment, kInitializeFileRecordSegment));
    const Bytes ext = s.Extension(free).NonResidentData(s.runs, s.dataSize).Build();
    LogRecordStore store;
    ASSERT_TRUE(test::LoadBytes(store, b.Build()));

    DeletedFileMap files;
    files[s.baseNumber] = Images(s.baseNumber, s.Base(1).Build(), s.extensionNumber, ext);
    LogCapture capture;
    test::StepCounter progress;
    EXPECT_EQ(RollBackDeletedFiles(files, store, s.clusterSize, nullptr, progress), 0);
    EXPECT_EQ(files[s.baseNumber]->Extensions()[s.extensionNumber]->image, ext);
    EXPECT_EQ(capture.pane.Messages(),
              std::vector<std::string>{"Advanced scan: the log would make deleted file record 40 "
                                       "worse; it is built from its records as found"});
    const auto built = files[s.baseNumber]->BuildFileRecord(s.clusterSize, nullptr);
    ASSERT_TRUE(built && built->UnnamedStream());
    EXPECT_EQ(built->UnnamedStream()->Runs().size(), s.runs.size());
}

TEST(RollBackDeletedFiles, WhatIsLeftAloneDroppedOrStopped) {
    DeletedFileScenario s;
    s.Make();
    const Bytes single = RecordBuilder().Lsn(s.freeExtension).FileName(5, u"one").Build();
    // Whether the log is gone, whether Stop is pressed; files kept, left in the map, stepped.
    const std::tuple<const char*, bool, bool, int, std::vector<uint64_t>, uint64_t> cases[] = {
        {"rolled back", false, false, 1, {30, s.baseNumber}, 3 + 2},
        {"the log no longer holds the transaction", true, false, 0, {30, s.baseNumber}, 3 + 2},
        {"stopped", false, true, 0, {30, s.baseNumber, 7000}, 0},
    };
    for (const auto& [what, logGone, stop, kept, left, stepped] : cases) {
        SCOPED_TRACE(what);
        LogRecordStore store;
        ASSERT_TRUE(test::LoadBytes(store, logGone ? test::LogBuilder().Build() : s.log));
        DeletedFileMap files;
        // A file of one record whose number the log's changes name: never rolled back; an
        // extension whose base record was not collected: dropped.
        files[30] = Images(s.extensionNumber, single);
        files[7000] = Images(0, {}, 7001, s.extensionAsFound);
        files[s.baseNumber] = Images(s);
        test::StepCounter progress;
        progress.stopAt = stop ? 0 : UINT64_MAX;
        EXPECT_EQ(RollBackDeletedFiles(files, store, s.clusterSize, nullptr, progress), kept);
        const auto numbers = std::views::keys(files);
        EXPECT_EQ(std::vector<uint64_t>(numbers.begin(), numbers.end()), left);
        EXPECT_EQ(progress.stepped, stepped);
        EXPECT_EQ(files[30]->Base()->image, single);
        const Bytes& extension = files[s.baseNumber]->Extensions()[s.extensionNumber]->image;
        EXPECT_EQ(extension == s.extensionAsFound, kept == 0);  // rolled back or left as found
        EXPECT_EQ(files[s.baseNumber]->Base()->image, s.base);
    }
}

}  // namespace
}  // namespace qv
