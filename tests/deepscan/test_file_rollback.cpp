// Rolling deleted files' record images back: which image goes first, how a change reaches its
// image, and the pass over all deleted files that keeps a rollback only when it is no worse.
#include <gtest/gtest.h>

#include "app/Log.h"
#include "deepscan/DeepScan.h"
#include "deepscan/DeletedFileScenario.h"
#include "deepscan/LogBuilder.h"
#include "ntfs/FileRecord.h"
#include "support/FakeFrontEnd.h"

namespace qv {
namespace {

using test::DeletedFileScenario;
using test::RecordBuilder;

std::unique_ptr<DeletedFileImages> Images(const DeletedFileScenario& s) {
    auto file = std::make_unique<DeletedFileImages>();
    EXPECT_TRUE(file->SetBaseImage(s.baseNumber, s.base));
    EXPECT_TRUE(file->AddExtension(s.extensionNumber, s.extensionAsFound));
    return file;
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
    const std::vector<uint8_t> base =
        RecordBuilder().Lsn(9).FileName(5, u"a").ResidentData(std::vector<uint8_t>(32, 1)).Build();
    ASSERT_TRUE(file.SetBaseImage(12, base));
    ASSERT_TRUE(file.AddExtension(40, base));
    const std::vector<uint8_t> bytes(8, 0xAB);
    EXPECT_EQ(file.ApplyChange(41, 0x98, 0x18, bytes, 0), 0);  // a record the file does not hold
    EXPECT_EQ(file.ApplyChange(12, 0, 0, bytes, 0), 0);        // the header is never written
    EXPECT_EQ(file.Base()->image, base);
    EXPECT_EQ(file.Extensions()[40]->image, base);
    // Bytes of the resident $DATA value (the second attribute, value at 0x18).
    std::vector<uint8_t> fixed = base;
    ApplyFixups(fixed);
    const uint32_t data = 0x38 + Load32(fixed.data() + 0x38 + 4);
    EXPECT_EQ(file.ApplyChange(40, data, 0x18 + 8, bytes, 0), 1);
    std::vector<uint8_t> after = file.Extensions()[40]->image;
    ApplyFixups(after);
    std::vector<uint8_t> expected = fixed;
    std::copy(bytes.begin(), bytes.end(), expected.begin() + data + 0x18 + 8);
    EXPECT_EQ(after, expected);
    EXPECT_EQ(file.Base()->image, base);
    // The image it reached counts as done: its header still carries its LSN.
    EXPECT_TRUE(file.Extensions()[40]->done);
    EXPECT_FALSE(file.Base()->done);
}

TEST(RollBackDeletedFiles, RestoresTheAttributeTheDeletingTransactionRemoved) {
    for (auto [clusterSize, recordSize] :
         {std::pair{4096u, 1024u}, std::pair{512u, 1024u}, std::pair{4096u, 4096u},
          std::pair{1024u, 1024u}, std::pair{65536u, 4096u}}) {
        SCOPED_TRACE(testing::Message() << clusterSize << "/" << recordSize);
        DeletedFileScenario s;
        s.clusterSize = clusterSize;
        s.recordSize = recordSize;
        s.Make();
        LogRecordStore store;
        test::StepCounter loading;
        ASSERT_TRUE(test::LoadBytes(store, s.log, loading, clusterSize, recordSize));
        DeletedFileMap files;
        files[s.baseNumber] = Images(s);
        // As found, the file has no data.
        ASSERT_EQ(files[s.baseNumber]->BuildFileRecord(clusterSize, nullptr)->UnnamedStream(),
                  nullptr);
        LogCapture capture;
        test::StepCounter progress;
        std::set<uint64_t> kept;
        EXPECT_EQ(RollBackDeletedFiles(files, store, clusterSize, nullptr, progress, &kept), 1);
        EXPECT_EQ(kept, std::set<uint64_t>{s.baseNumber});
        EXPECT_EQ(progress.stepped, 2u);  // one file, stepped in both passes
        EXPECT_EQ(capture.pane.Messages(), std::vector<std::string>{});

        // The extension record has its $DATA back, byte for byte, and is still a deleted record
        // with its own LSN; the base record is untouched (its deallocation is not undone, nor
        // are the bitmap bits whose VCN would land on it).
        DeletedFileImages& file = *files[s.baseNumber];
        std::vector<uint8_t> ext = file.Extensions()[s.extensionNumber]->image;
        ApplyFixups(ext);
        std::vector<uint8_t> before = s.extensionBefore;
        ApplyFixups(before);
        const uint32_t inUse = Load32(before.data() + 0x18);
        EXPECT_EQ(Load32(ext.data() + 0x18), inUse);
        EXPECT_TRUE(std::equal(ext.begin() + 0x38, ext.begin() + inUse, before.begin() + 0x38));
        EXPECT_EQ(Load16(ext.data() + 0x16), 0);
        EXPECT_EQ(Load64(ext.data() + 8), s.freeExtension);
        EXPECT_EQ(file.Base()->image, s.base);

        const auto built = file.BuildFileRecord(clusterSize, nullptr);
        ASSERT_TRUE(built && built->UnnamedStream());
        const RunList& stream = *built->UnnamedStream();
        EXPECT_EQ(stream.DataSize(), s.dataSize);
        ASSERT_EQ(stream.Runs().size(), s.runs.size());
        for (size_t i = 0; i < s.runs.size(); ++i) {
            EXPECT_EQ(stream.Runs()[i].firstCluster, s.runs[i].lcn);
            EXPECT_EQ(stream.Runs()[i].clusterCount, s.runs[i].length);
        }
        EXPECT_EQ(built->GetName(), s.name);
    }
}

TEST(RollBackDeletedFiles, KeepsTheRecordsAsFoundWhenTheLogWouldMakeThemWorse) {
    // The extension record as found still has its $DATA; the deleting transaction's (damaged)
    // undo would give it mapping pairs of one run only.
    DeletedFileScenario s;
    s.Make();
    test::LogBuilder b;
    test::LogRecordSpec shrink = s.For(s.extensionNumber);
    shrink.redoOp = logfmt::kUpdateMappingPairs;
    shrink.undoOp = logfmt::kUpdateMappingPairs;
    shrink.recordOff = 0x38;
    shrink.attrOff = 0x40;
    shrink.redo = test::EncodeMappingPairs(s.runs);
    shrink.undo = test::EncodeMappingPairs({{300, 1}});
    test::LogRecordSpec free = s.For(s.extensionNumber);
    free.previous = b.Add(shrink);
    free.redoOp = logfmt::kDeallocateFileRecordSegment;
    free.undoOp = logfmt::kInitializeFileRecordSegment;
    std::vector<uint8_t> ext = s.Extension(b.Add(free)).NonResidentData(s.runs, s.dataSize).Build();
    LogRecordStore store;
    ASSERT_TRUE(test::LoadBytes(store, b.Build()));

    DeletedFileMap files;
    files[s.baseNumber] = std::make_unique<DeletedFileImages>();
    ASSERT_TRUE(files[s.baseNumber]->SetBaseImage(s.baseNumber, s.Base(1).Build()));
    ASSERT_TRUE(files[s.baseNumber]->AddExtension(s.extensionNumber, ext));
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
    const std::vector<uint8_t> single =
        RecordBuilder().Lsn(s.freeExtension).FileName(5, u"one").Build();
    const struct {
        const char* what;
        bool logGone, stop;
        int kept;
        std::vector<uint64_t> files;  // left in the map
        uint64_t stepped;
    } cases[] = {
        {"rolled back", false, false, 1, {30, s.baseNumber}, 3 + 2},
        {"the log no longer holds the transaction", true, false, 0, {30, s.baseNumber}, 3 + 2},
        {"stopped", false, true, 0, {30, s.baseNumber, 7000}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        LogRecordStore store;
        ASSERT_TRUE(test::LoadBytes(store, c.logGone ? test::LogBuilder().Build() : s.log));
        DeletedFileMap files;
        // A file of one record whose number the log's changes name: never rolled back.
        files[30] = std::make_unique<DeletedFileImages>();
        ASSERT_TRUE(files[30]->SetBaseImage(s.extensionNumber, single));
        // An extension whose base record was not collected: dropped.
        files[7000] = std::make_unique<DeletedFileImages>();
        ASSERT_TRUE(files[7000]->AddExtension(7001, s.extensionAsFound));
        files[s.baseNumber] = Images(s);
        test::StepCounter progress;
        progress.stopAt = c.stop ? 0 : UINT64_MAX;
        EXPECT_EQ(RollBackDeletedFiles(files, store, s.clusterSize, nullptr, progress), c.kept);
        std::vector<uint64_t> left;
        for (const auto& [number, file] : files)
            left.push_back(number);
        EXPECT_EQ(left, c.files);
        EXPECT_EQ(progress.stepped, c.stepped);
        EXPECT_EQ(files[30]->Base()->image, single);
        if (c.kept == 0) {
            EXPECT_EQ(files[s.baseNumber]->Extensions()[s.extensionNumber]->image,
                      s.extensionAsFound);
        }
        EXPECT_EQ(files[s.baseNumber]->Base()->image, s.base);
    }
}

}  // namespace
}  // namespace qv
