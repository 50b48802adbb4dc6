// A whole scan through the worker, as a front end sees it: log lines, list operations, prompts.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

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

TEST(ScanThread, ALogThatCannotBeReadFallsBackToTheNormalScanAndSaysWhy) {
    NtfsBuilder volume = VolumeWithFiles(2);
    // The $LogFile's run lies past the end of the volume: every read of it fails.
    volume.SetRecord(2, RecordBuilder()
                            .InUse()
                            .RecordNumber(2)
                            .FileName(kRoot, u"$LogFile", 3)
                            .NonResidentData({{1u << 20, 16}}, 16 * 4096)
                            .Build());
    const std::string image = volume.WriteImage("scan-badlog.img");
    test::ScanHarness h;
    h.Scan(image, /*advanced=*/true);
    const std::string letter(1, static_cast<char>(h.context.driveLetter));
    EXPECT_EQ(
        h.LogMessages(),
        (Messages{"Searching deleted files on " + letter + ": ...",
                  "Advanced scan is not possible on " + letter + ":, the log file cannot be used",
                  letter + ": the $LogFile cannot be read: read error", "Scan finished"}));
    EXPECT_TRUE(h.prompts.asked.empty());  // no administrator message
    EXPECT_EQ(h.list.Count(), 2);
}

TEST(ScanThread, NothingFoundIsAFinishedScan) {
    const std::string image = VolumeWithFiles(0).WriteImage("scan-empty.img");
    test::ScanHarness h;
    h.Scan(image);
    EXPECT_EQ(h.LogMessages().back(), "Scan finished");
    EXPECT_EQ(h.list.Count(), 0);
    EXPECT_NE(h.context.session, nullptr);
}

// What the message of a volume that cannot be opened says: the administrator sentence only when
// the system refused access, the real cause otherwise. The log names the cause either way.
std::string OpenFailureMessage(const std::string& image, std::string* cause) {
    test::ScanHarness h;
    h.Scan(image);
    const Messages log = h.LogMessages();
    if (log.size() != 3 || h.prompts.asked.size() != 1 || h.context.session != nullptr ||
        h.list.Count() != 0)
        return "unexpected: " + std::to_string(log.size()) + " lines";
    const std::string letter(1, static_cast<char>(h.context.driveLetter));
    if (log[2] != "open disk " + letter + ": failed.") return "unexpected: " + log[2];
    if (h.prompts.asked[0].caption != u"Error" || h.prompts.asked[0].buttons != PromptButtons::kOk)
        return "unexpected prompt";
    *cause = log[1].substr(letter.size() + 2);  // "X: cause"
    std::string said = ToUtf8(h.prompts.asked[0].text);
    const std::string head = "Open disk " + letter + ": failed.\n";
    return said.compare(0, head.size(), head) == 0 ? said.substr(head.size())
                                                   : "unexpected: " + said;
}

TEST(ScanThread, CannotOpenNamesTheRealCauseAndBlamesRightsOnlyWhenRefused) {
    std::string notNtfs = VolumeWithFiles(1).WriteImage("scan-notntfs.img");
    {  // spoil the signature
        FILE* f = std::fopen(notNtfs.c_str(), "r+b");
        std::fseek(f, 3, SEEK_SET);
        std::fputs("FAT32   ", f);
        std::fclose(f);
    }
    const std::string shortImage = VolumeWithFiles(1).WriteImage("scan-short.img");
    ASSERT_EQ(::truncate(shortImage.c_str(), 16 * 4096), 0);  // ends before its $MFT
    const struct {
        std::string image;
        std::string causeHas;
    } cases[] = {
        {"/nonexistent/disk.img", "No such file or directory"},
        {notNtfs, "not an NTFS volume"},
        {shortImage, "the volume ends before its $MFT"},
    };
    for (const auto& c : cases) {
        std::string cause;
        const std::string second = OpenFailureMessage(c.image, &cause);
        EXPECT_NE(cause.find(c.causeHas), std::string::npos) << c.image << ": " << cause;
        EXPECT_EQ(second, cause) << c.image;  // no administrator sentence: being root is no cure
    }
}

TEST(ScanThread, AVolumeTheUserMayNotReadIsBlamedOnRights) {
    std::string pattern = "/tmp/qvlocked-XXXXXX";  // reachable by "nobody"
    const std::string dir = ::mkdtemp(pattern.data());
    ::chmod(dir.c_str(), 0755);
    const std::string locked = dir + "/locked.img";
    {
        std::ifstream in(VolumeWithFiles(1).WriteImage("scan-locked.img"), std::ios::binary);
        std::ofstream(locked, std::ios::binary) << in.rdbuf();
    }
    ::chmod(locked.c_str(), 0600);
    const auto check = [&] {
        std::string cause;
        const std::string second = OpenFailureMessage(locked, &cause);
        const std::string want = "You must be an administrator to run this software.\n" + cause;
        return cause.find("Permission denied") != std::string::npos && second == want;
    };
    if (::geteuid() != 0) {
        EXPECT_TRUE(check());
    } else {
        // Root is never refused: look as "nobody", in a child process.
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(2);
            ::_exit(check() ? 0 : 1);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
    std::filesystem::remove_all(dir);
}

TEST(ScanThread, AnUnreadableRecordCopyListsNothingAndSaysSo) {
    // The session's own $MFT copy cannot be read (here: a folder stands in for it).
    test::ScanHarness h;
    auto reader = VolumeWithFiles(3).Open();
    h.context.session = std::make_unique<ScanSession>(std::move(reader), u"/");
    h.progress = std::make_unique<ProgressDialog>(&h.view);
    h.context.progress = h.progress.get();
    h.context.ListDeletedFiles();
    EXPECT_EQ(h.LogMessages(), (Messages{"Reading the deleted files failed: read error"}));
    EXPECT_TRUE(h.context.scanFailed);
    EXPECT_EQ(h.list.Count(), 0);
    EXPECT_TRUE(h.context.results.empty());
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
