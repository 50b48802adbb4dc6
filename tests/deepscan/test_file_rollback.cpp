// Rolling deleted files' record images back: which image goes first, how a change reaches its
// image, and the pass over all deleted files that keeps a rollback only when it is no worse.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "app/Log.h"
#include "app/LogPane.h"
#include "deepscan/DeepScan.h"
#include "deepscan/DeletedFileScenario.h"
#include "deepscan/LogFormat.h"
#include "deepscan/LogRecordStore.h"
#include "deepscan/LogTestSupport.h"
#include "ntfs/FileRecord.h"
#include "platform/Text.h"

namespace qv {
namespace {

using test::CountingProgress;
using test::DeletedFileScenario;
using test::RecordBuilder;

class TextPane final : public LogPane {
public:
    void Append(const std::u16string& text) override { text_ += text; }
    void Clear() override { text_.clear(); }
    std::u16string Text() const override { return text_; }

private:
    std::u16string text_;
};

struct LogCapture {
    TextPane pane;
    LogPane* previous;
    LogCapture() : previous(Log::Global().Pane()) { Log::Global().Attach(&pane); }
    ~LogCapture() { Log::Global().Attach(previous); }
    std::string Text() const { return ToUtf8(pane.Text()); }
};

std::unique_ptr<DeletedFileImages> Images(const DeletedFileScenario& s) {
    auto file = std::make_unique<DeletedFileImages>();
    EXPECT_EQ(file->SetBaseImage(s.baseNumber, s.base), 0);
    EXPECT_EQ(file->AddExtension(s.extensionNumber, s.extensionAsFound), 0);
    return file;
}

TEST(PopNewest, TakesTheNewestImageFirstTheBaseOnTiesThenTheLowestNumber) {
    DeletedFileImages file;
    ASSERT_EQ(file.SetBaseImage(12, RecordBuilder().Lsn(500).Build()), 0);
    ASSERT_EQ(file.AddExtension(41, RecordBuilder().Lsn(700).Build()), 0);
    ASSERT_EQ(file.AddExtension(40, RecordBuilder().Lsn(700).Build()), 0);
    ASSERT_EQ(file.AddExtension(43, RecordBuilder().Lsn(500).Build()), 0);
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
    ASSERT_EQ(file.SetBaseImage(12, base), 0);
    ASSERT_EQ(file.AddExtension(40, base), 0);
    const std::vector<uint8_t> bytes(8, 0xAB);
    // A record the file does not hold.
    EXPECT_EQ(file.ApplyChange(41, 0x98, 0x18, bytes, 0), 0);
    EXPECT_EQ(file.Base()->image, base);
    EXPECT_EQ(file.Extensions()[40]->image, base);
    // The header is never written.
    EXPECT_EQ(file.ApplyChange(12, 0, 0, bytes, 0), 0);
    EXPECT_EQ(file.Base()->image, base);
    // Bytes of the resident $DATA value (the second attribute, value at 0x18).
    std::vector<uint8_t> fixed = base;
    ApplyFixups(fixed);
    const uint32_t data = 0x38 + Load32(fixed.data() + 0x38 + 4);
    EXPECT_EQ(file.ApplyChange(40, data, 0x18 + 8, bytes, 0), 1);
    std::vector<uint8_t> after = file.Extensions()[40]->image;
    ApplyFixups(after);
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), after.begin() + data + 0x18 + 8));
    EXPECT_EQ(after[data + 0x18 + 7], 1);
    EXPECT_EQ(after[data + 0x18 + 16], 1);
    EXPECT_EQ(file.Base()->image, base);
    // The image it reached counts as done: its header still carries its LSN.
    EXPECT_TRUE(file.Extensions()[40]->done);
    EXPECT_FALSE(file.Base()->done);
}

TEST(ApplyChange, LeavesATraceLineOnlyInAnExistingTraceFolder) {
    const std::string dir = ToUtf8(TempDirectory()) + "/qv-trace-" + std::to_string(::getpid());
    ::mkdir(dir.c_str(), 0700);
    const std::string trace = dir + "/lsn.r";
    std::remove(trace.c_str());
    const char* before = std::getenv("QUORVANE_TRACE_DIR");
    const std::string saved = before ? before : "";

    DeletedFileScenario s;
    s.Make();
    auto run = [&](const char* traceDir) {
        if (traceDir) {
            ::setenv("QUORVANE_TRACE_DIR", traceDir, 1);
        } else {
            ::unsetenv("QUORVANE_TRACE_DIR");
        }
        auto file = Images(s);
        LogRecordStore store;
        EXPECT_EQ(test::LoadBytes(store, s.log), 0);
        DeletedFileMap files;
        files[s.baseNumber] = std::move(file);
        CountingProgress progress;
        EXPECT_EQ(RollBackDeletedFiles(files, store, s.clusterSize, nullptr, progress.dialog), 1);
        return files[s.baseNumber]->Extensions()[s.extensionNumber]->image;
    };
    const std::vector<uint8_t> traced = run(dir.c_str());
    std::ifstream in(trace);
    std::string line;
    int lines = 0;
    bool creation = false;
    while (std::getline(in, line)) {
        ++lines;
        EXPECT_EQ(line.rfind("buf = ", 0), 0u) << line;
        creation |= line.find("recordOff =38  attrOff = 0   dataLen = 50") != std::string::npos;
    }
    in.close();
    // The two deallocations and the attribute's creation reach the file's images.
    EXPECT_EQ(lines, 3);
    EXPECT_TRUE(creation);
    // A missing folder, or a link in place of the trace file: no line, the same result.
    const std::string missing = dir + "/absent";
    EXPECT_EQ(run(missing.c_str()), traced);
    std::remove(trace.c_str());
    const std::string elsewhere = dir + "/elsewhere";
    ASSERT_EQ(::symlink(elsewhere.c_str(), trace.c_str()), 0);
    EXPECT_EQ(run(dir.c_str()), traced);
    struct stat st {};
    EXPECT_NE(::stat(elsewhere.c_str(), &st), 0);
    EXPECT_EQ(run(nullptr), traced);

    std::remove(trace.c_str());
    ::rmdir(dir.c_str());
    if (before) {
        ::setenv("QUORVANE_TRACE_DIR", saved.c_str(), 1);
    } else {
        ::unsetenv("QUORVANE_TRACE_DIR");
    }
}

TEST(RollBackDeletedFiles, RestoresTheAttributeTheDeletingTransactionRemoved) {
    DeletedFileScenario s;
    s.Make();
    LogRecordStore store;
    ASSERT_EQ(test::LoadBytes(store, s.log), 0);
    DeletedFileMap files;
    files[s.baseNumber] = Images(s);
    // As found, the file has no data.
    {
        const auto found = files[s.baseNumber]->BuildFileRecord(s.clusterSize, nullptr);
        ASSERT_TRUE(found);
        EXPECT_EQ(found->UnnamedStream(), nullptr);
    }
    LogCapture capture;
    CountingProgress progress;
    EXPECT_EQ(RollBackDeletedFiles(files, store, s.clusterSize, nullptr, progress.dialog), 1);
    EXPECT_EQ(progress.Stepped(), 2u);  // one file, stepped in both passes
    EXPECT_EQ(capture.Text(), "");

    DeletedFileImages& file = *files[s.baseNumber];
    // The extension record has its $DATA back, byte for byte, and is still a deleted record
    // with its own LSN; the base record is untouched (its deallocation is not undone, nor are
    // the bitmap bits whose VCN would land on it).
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

    const auto built = file.BuildFileRecord(s.clusterSize, nullptr);
    ASSERT_TRUE(built);
    ASSERT_TRUE(built->UnnamedStream());
    const RunList& stream = *built->UnnamedStream();
    EXPECT_EQ(stream.DataSize(), s.dataSize);
    ASSERT_EQ(stream.Runs().size(), s.runs.size());
    for (size_t i = 0; i < s.runs.size(); ++i) {
        EXPECT_EQ(stream.Runs()[i].firstCluster, s.runs[i].lcn);
        EXPECT_EQ(stream.Runs()[i].clusterCount, s.runs[i].length);
    }
    EXPECT_EQ(built->GetName(), s.name);
}

TEST(RollBackDeletedFiles, WorksOnFourKilobyteRecordsAndSmallClusters) {
    for (auto [clusterSize, recordSize] : {std::pair{512u, 1024u}, std::pair{4096u, 4096u},
                                           std::pair{1024u, 1024u}, std::pair{65536u, 4096u}}) {
        SCOPED_TRACE(clusterSize);
        DeletedFileScenario s;
        s.clusterSize = clusterSize;
        s.recordSize = recordSize;
        s.Make();
        LogRecordStore store;
        CountingProgress loading;
        ASSERT_EQ(test::LoadBytes(store, s.log, loading.dialog, clusterSize, recordSize), 0);
        DeletedFileMap files;
        files[s.baseNumber] = Images(s);
        CountingProgress progress;
        EXPECT_EQ(RollBackDeletedFiles(files, store, clusterSize, nullptr, progress.dialog), 1);
        const auto built = files[s.baseNumber]->BuildFileRecord(clusterSize, nullptr);
        ASSERT_TRUE(built);
        ASSERT_TRUE(built->UnnamedStream());
        EXPECT_EQ(built->UnnamedStream()->Runs().size(), s.runs.size());
    }
}

TEST(RollBackDeletedFiles, KeepsTheRecordsAsFoundWhenTheLogWouldMakeThemWorse) {
    // The deleting transaction's undo would cut the stream: the records as found are kept and
    // the log says so once.
    DeletedFileScenario s;
    s.Make();
    // The extension record as found still has its $DATA; the transaction's (damaged) undo
    // would give it mapping pairs of one run only.
    const std::vector<uint8_t> asFound = s.Extension(0).NonResidentData(s.runs, s.dataSize).Build();
    test::LogBuilder b;
    test::LogRecordSpec shrink = s.For(s.extensionNumber);
    shrink.redoOp = logfmt::kUpdateMappingPairs;
    shrink.undoOp = logfmt::kUpdateMappingPairs;
    shrink.recordOff = 0x38;
    shrink.attrOff = 0x40;
    shrink.redo = test::EncodeMappingPairs(s.runs);
    shrink.undo = test::EncodeMappingPairs({{300, 1}});
    const uint64_t t1 = b.Add(shrink);
    test::LogRecordSpec free = s.For(s.extensionNumber);
    free.previous = t1;
    free.redoOp = logfmt::kDeallocateFileRecordSegment;
    free.undoOp = logfmt::kInitializeFileRecordSegment;
    const uint64_t t2 = b.Add(free);
    std::vector<uint8_t> ext = asFound;
    test::Put64(ext, 8, t2);
    LogRecordStore store;
    ASSERT_EQ(test::LoadBytes(store, b.Build()), 0);

    DeletedFileMap files;
    files[s.baseNumber] = std::make_unique<DeletedFileImages>();
    ASSERT_EQ(files[s.baseNumber]->SetBaseImage(s.baseNumber, s.Base(1).Build()), 0);
    ASSERT_EQ(files[s.baseNumber]->AddExtension(s.extensionNumber, ext), 0);
    LogCapture capture;
    CountingProgress progress;
    EXPECT_EQ(RollBackDeletedFiles(files, store, s.clusterSize, nullptr, progress.dialog), 0);
    EXPECT_EQ(files[s.baseNumber]->Extensions()[s.extensionNumber]->image, ext);
    EXPECT_EQ(capture.Text().substr(21),
              "Advanced scan: the log would make deleted file record 40 worse; it is built from "
              "its records as found\n");
    const auto built = files[s.baseNumber]->BuildFileRecord(s.clusterSize, nullptr);
    ASSERT_TRUE(built && built->UnnamedStream());
    EXPECT_EQ(built->UnnamedStream()->Runs().size(), s.runs.size());
}

TEST(RollBackDeletedFiles, LeavesFilesWithoutExtensionsAloneAndDropsThoseWithoutABase) {
    DeletedFileScenario s;
    s.Make();
    LogRecordStore store;
    ASSERT_EQ(test::LoadBytes(store, s.log), 0);
    DeletedFileMap files;
    // A file of one record whose number the log's changes name: not rolled back.
    files[30] = std::make_unique<DeletedFileImages>();
    const std::vector<uint8_t> single =
        RecordBuilder().Lsn(s.freeExtension).FileName(5, u"one").Build();
    ASSERT_EQ(files[30]->SetBaseImage(s.extensionNumber, single), 0);
    // An extension whose base record was not collected.
    files[7000] = std::make_unique<DeletedFileImages>();
    ASSERT_EQ(files[7000]->AddExtension(7001, s.extensionAsFound), 0);
    files[s.baseNumber] = Images(s);
    CountingProgress progress;
    EXPECT_EQ(RollBackDeletedFiles(files, store, s.clusterSize, nullptr, progress.dialog), 1);
    EXPECT_EQ(files.size(), 2u);
    EXPECT_FALSE(files.count(7000));
    EXPECT_EQ(files[30]->Base()->image, single);
    EXPECT_EQ(progress.Stepped(), 3u + 2u);
}

TEST(RollBackDeletedFiles, AFileWhoseLogIsGoneOrOlderIsLeftAsFound) {
    DeletedFileScenario s;
    s.Make();
    // The log no longer holds the transaction: the images' LSNs are not indexed.
    LogRecordStore store;
    test::LogBuilder empty;
    ASSERT_EQ(test::LoadBytes(store, empty.Build()), 0);
    DeletedFileMap files;
    files[s.baseNumber] = Images(s);
    CountingProgress progress;
    EXPECT_EQ(RollBackDeletedFiles(files, store, s.clusterSize, nullptr, progress.dialog), 0);
    EXPECT_EQ(files[s.baseNumber]->Extensions()[s.extensionNumber]->image, s.extensionAsFound);
    EXPECT_EQ(files[s.baseNumber]->Base()->image, s.base);
}

TEST(RollBackDeletedFiles, StopEndsBothPasses) {
    DeletedFileScenario s;
    s.Make();
    LogRecordStore store;
    ASSERT_EQ(test::LoadBytes(store, s.log), 0);
    DeletedFileMap files;
    files[s.baseNumber] = Images(s);
    files[9000] = std::make_unique<DeletedFileImages>();
    ASSERT_EQ(files[9000]->AddExtension(9001, s.extensionAsFound), 0);
    ProgressDialog progress;
    progress.Stop();
    EXPECT_EQ(RollBackDeletedFiles(files, store, s.clusterSize, nullptr, progress), 0);
    EXPECT_EQ(files.size(), 2u);
    EXPECT_EQ(files[s.baseNumber]->Extensions()[s.extensionNumber]->image, s.extensionAsFound);
}

}  // namespace
}  // namespace qv
