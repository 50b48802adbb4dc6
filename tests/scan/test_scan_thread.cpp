// A whole scan through the worker, as a front end sees it: log lines, list operations, prompts.
#include <gtest/gtest.h>
#include <unistd.h>

#include "app/ErrorCodes.h"
#include "platform/DriveTable.h"
#include "platform/TempFile.h"
#include "platform/Text.h"
#include "support/NtfsBuilder.h"
#include "support/PrivateTemp.h"
#include "support/RecordBuilder.h"
#include "support/ScanHarness.h"

namespace qv {
namespace {

using test::NtfsBuilder;
using test::RecordBuilder;
using Messages = std::vector<std::string>;

constexpr uint64_t kRoot = NtfsBuilder::kRootReference;

NtfsBuilder VolumeWithFiles(int files) {
    NtfsBuilder volume;
    for (int i = 0; i < files; ++i)
        volume.SetRecord(30 + i,
                         RecordBuilder()
                             .RecordNumber(30 + i)
                             .FileName(kRoot, u"file" + FromUtf8(std::to_string(i)) + u".txt")
                             .ResidentData({'a', 'b'})
                             .Build());
    return volume;
}

TEST(ScanThread, SuccessListsTheFilesNewestRecordOnTop) {
    const std::string image = VolumeWithFiles(3).WriteImage("scan-success.img");
    test::ScanHarness h;
    h.Scan(image);
    const char letter = static_cast<char>(h.context.driveLetter);
    EXPECT_EQ(
        h.LogMessages(),
        (Messages{std::string("Searching deleted files on ") + letter + ": ...", "Scan finished"}));
    ASSERT_EQ(h.list.Count(), 3);
    EXPECT_EQ(h.list.GetItemText(0, 0), u"file2.txt");  // inserted last, at the top
    EXPECT_EQ(h.list.GetItemText(0, 1), u"txt");
    EXPECT_EQ(h.list.GetItemText(0, 2), u"1 KB");
    EXPECT_EQ(h.list.GetItemText(0, 5), FromUtf8(std::string(1, letter) + ":\\"));
    EXPECT_EQ(h.context.results.size(), 3u);
    EXPECT_NE(h.context.session, nullptr);
    EXPECT_TRUE(h.prompts.asked.empty());
    EXPECT_EQ(h.view.statuses.front(), u"Searching deleted files, please wait...");
    EXPECT_EQ(h.view.titles.front(), u"Please wait");
    EXPECT_EQ(h.view.closed, (std::vector<int>{1}));
    EXPECT_EQ(h.progress->StageCount(), 3);
}

TEST(ScanThread, NothingFoundIsAFinishedScan) {
    const std::string image = VolumeWithFiles(0).WriteImage("scan-empty.img");
    test::ScanHarness h;
    h.Scan(image);
    EXPECT_EQ(h.LogMessages().back(), "Scan finished");
    EXPECT_EQ(h.list.Count(), 0);
    EXPECT_NE(h.context.session, nullptr);
}

TEST(ScanThread, CannotOpenNamesTheCauseThenShowsTheAdministratorMessage) {
    test::ScanHarness h;
    h.Scan("/nonexistent/disk.img");
    const char letter = static_cast<char>(h.context.driveLetter);
    const Messages log = h.LogMessages();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_NE(log[1].find("No such file or directory"), std::string::npos) << log[1];
    EXPECT_EQ(log[2], std::string("open disk ") + letter + ": failed.");
    ASSERT_EQ(h.prompts.asked.size(), 1u);
    EXPECT_EQ(ToUtf8(h.prompts.asked[0].text),
              std::string("Open disk ") + letter +
                  ": failed.\nYou must be an administrator to run this software.");
    EXPECT_EQ(h.prompts.asked[0].caption, u"Error");
    EXPECT_EQ(h.prompts.asked[0].buttons, PromptButtons::kOk);
    EXPECT_EQ(h.context.session, nullptr);
    EXPECT_EQ(h.list.Count(), 0);
    EXPECT_EQ(h.view.closed, (std::vector<int>{1}));
}

TEST(ScanThread, NotAnNtfsVolumeSaysSo) {
    const std::string path = VolumeWithFiles(1).WriteImage("scan-notntfs.img");
    {  // spoil the signature
        FILE* f = std::fopen(path.c_str(), "r+b");
        std::fseek(f, 3, SEEK_SET);
        std::fputs("FAT32   ", f);
        std::fclose(f);
    }
    test::ScanHarness h;
    h.Scan(path);
    EXPECT_NE(h.LogMessages()[1].find("not an NTFS volume"), std::string::npos);
    EXPECT_EQ(h.prompts.asked.size(), 1u);
}

TEST(ScanThread, StopBeforeTheCopyEndsCanceledWithoutAMessage) {
    const std::string image = VolumeWithFiles(3).WriteImage("scan-stop.img");
    test::PrivateTemp temp;
    test::ScanHarness h;
    h.beforeRun = [](ProgressDialog& p) { p.Stop(); };
    h.Scan(image);
    EXPECT_EQ(h.LogMessages().back(), "Canceled by user");
    EXPECT_TRUE(h.prompts.asked.empty());
    EXPECT_EQ(h.list.Count(), 0);
    EXPECT_TRUE(h.context.results.empty());
    EXPECT_EQ(h.context.session, nullptr);
    EXPECT_EQ(temp.Count("NR"), 0u);
}

// Presses Stop while the rows are being inserted.
class StoppingList final : public MemoryListControl {
public:
    int InsertItem(int index, const std::u16string& text, DeletedFileEntry* data) override {
        if (++inserted == 2 && progress) progress->Stop();
        return MemoryListControl::InsertItem(index, text, data);
    }
    ProgressDialog* progress = nullptr;
    int inserted = 0;
};

TEST(ScanThread, StopDuringTheRowsTakesEffectAtTheirEnd) {
    const std::string image = VolumeWithFiles(4).WriteImage("scan-stop-rows.img");
    test::ScanHarness h;
    StoppingList list;
    h.context.list = &list;
    h.beforeRun = [&](ProgressDialog& p) { list.progress = &p; };
    h.Scan(image);
    EXPECT_EQ(list.inserted, 4);  // all rows appear...
    EXPECT_EQ(list.Count(), 0);   // ...and are removed again
    EXPECT_EQ(h.LogMessages().back(), "Canceled by user");
    EXPECT_EQ(h.context.session, nullptr);
}

TEST(ScanThread, ASecondScanReplacesTheFirstAndItsTemporaryFiles) {
    const std::string first = VolumeWithFiles(2).WriteImage("scan-first.img");
    const std::string second = VolumeWithFiles(5).WriteImage("scan-second.img");
    test::PrivateTemp temp;
    test::ScanHarness h;
    h.Scan(first);
    ASSERT_EQ(h.list.Count(), 2);
    const std::u16string firstCopy = h.context.session->MftCopyPath();
    EXPECT_EQ(temp.Count("NR"), 1u);  // the $MFT copy lives as long as the session
    h.Scan(second);
    EXPECT_EQ(h.list.Count(), 5);
    EXPECT_EQ(h.context.results.size(), 5u);
    EXPECT_NE(h.context.session->MftCopyPath(), firstCopy);
    EXPECT_EQ(temp.Count("NR"), 1u);
    h.context.session.reset();
    EXPECT_EQ(temp.Count("NR"), 0u);
}

TEST(ScanThread, FragmentedMftWhoseDataContinuesInAnExtensionRecordIsCopiedWhole) {
    // Record 0 holds the clusters of the first 20 records (its own extension record among them,
    // as on real volumes); the rest of the $MFT is described by record 16, an extension record
    // reached through record 0's attribute list.
    NtfsBuilder volume(4096, 1024, 64);
    const uint64_t second = volume.Allocate(11);
    RecordBuilder mft;
    mft.InUse().RecordNumber(0).FileName(kRoot, u"$MFT", 3);
    const uint16_t dataId = mft.NextId() + 1;
    mft.ResidentAttributeList({{0x80, 0, 0, dataId, u""}, {0x80, 5, 16, 0, u""}})
        .NonResidentData({{NtfsBuilder::kMftCluster, 5}}, 64 * 1024);
    volume.SetRecord(0, mft.Build());
    volume.SetRecord(16, RecordBuilder()
                             .InUse()
                             .RecordNumber(16)
                             .BaseReference(uint64_t{1} << 48)  // record 0, sequence 1
                             .NonResidentData({{second, 11}}, 0, u"", 5)
                             .Build());
    // Records 20-63 live in the second extent on disk: put a deleted file there.
    auto file =
        RecordBuilder().RecordNumber(50).FileName(kRoot, u"far.txt").ResidentData({1}).Build();
    auto bytes = volume.Build();
    std::copy(file.begin(), file.end(), bytes.begin() + second * 4096 + (50 - 20) * 1024);
    // Clear where record 50 would lie if the $MFT were contiguous.
    std::fill(bytes.begin() + NtfsBuilder::kMftCluster * 4096 + 50 * 1024,
              bytes.begin() + NtfsBuilder::kMftCluster * 4096 + 51 * 1024, 0);
    const std::string path = ::testing::TempDir() + "mft-split.img";
    FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);

    test::ScanHarness h;
    h.Scan(path);
    ASSERT_NE(h.context.session, nullptr);
    EXPECT_EQ(h.context.session->RecordCount(), 64u);
    ASSERT_EQ(h.list.Count(), 1);
    EXPECT_EQ(h.list.GetItemText(0, 0), u"far.txt");
}

TEST(ScanThread, RecordZeroMustBeTheMft) {
    NtfsBuilder volume;
    volume.SetRecord(0, RecordBuilder().InUse().FileName(kRoot, u"$MFT", 3).Build());  // no $DATA
    test::ScanHarness h;
    h.Scan(volume.WriteImage("scan-nomft.img"));
    EXPECT_EQ(h.context.session, nullptr);
    EXPECT_EQ(h.LogMessages().back().rfind("open disk", 0), 0u);
    EXPECT_NE(h.LogMessages()[1].find("record 0"), std::string::npos);
}

}  // namespace
}  // namespace qv
