// A whole scan through the worker, as a front end sees it: log lines, the files delivered, prompts.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <set>

#include "platform/Text.h"
#include "support/AsNobody.h"
#include "support/Fixtures.h"
#include "support/MemoryDevice.h"
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
    for (int i = 0; i < files; ++i) {
        const std::u16string name = u"file" + FromUtf8(std::to_string(i)) + u".txt";
        RecordBuilder file = RecordBuilder().RecordNumber(30 + i).FileName(kRoot, name);
        volume.SetRecord(30 + i, file.ResidentData({'a', 'b'}).Build());
    }
    return volume;
}

// What each file says, and their order, are the collection's tests (test_collect.cpp) and the
// comparisons with The Sleuth Kit (tests/integration/test_volumes.cpp).
TEST(ScanThread, SuccessDeliversTheFilesAndASecondScanReplacesTheFirst) {
    const std::string first = VolumeWithFiles(3).WriteImage("scan-first.img");
    const std::string second = VolumeWithFiles(5).WriteImage("scan-second.img");
    test::PrivateTemp temp;
    test::ScanHarness h;
    h.Scan(first, false, u'K');
    EXPECT_EQ(h.LogMessages(), (Messages{"Searching deleted files on K: ...", "Scan finished"}));
    EXPECT_EQ(h.list.files.size(), 3u);
    EXPECT_NE(h.context.session, nullptr);
    EXPECT_FALSE(h.context.scanFailed);
    EXPECT_TRUE(h.prompts.asked.empty());
    EXPECT_EQ(h.view.statuses.front(), u"Searching deleted files, please wait...");
    EXPECT_EQ(h.view.titles.front(), u"Please wait");
    EXPECT_EQ(h.view.closed, (std::vector<int>{1}));
    // The listed files' records live in one temporary file as long as the session.
    EXPECT_EQ(temp.Files().size(), 1u);
    EXPECT_EQ(temp.Count("NRM"), 1u);
    const std::vector<std::string> firstFiles = temp.Files();
    h.Scan(second);
    EXPECT_EQ(h.list.files.size(), 5u);
    EXPECT_EQ(temp.Count("NRM"), 1u);
    EXPECT_NE(temp.Files(), firstFiles);
    h.context.session.reset();
    EXPECT_EQ(temp.Count("NR"), 0u);
}

TEST(ScanThread, ALogThatCannotBeReadFallsBackToTheNormalScanAndSaysWhy) {
    NtfsBuilder volume = VolumeWithFiles(2);
    // The $LogFile's run lies past the end of the volume: every read of it fails.
    RecordBuilder log = RecordBuilder().InUse().RecordNumber(2).FileName(kRoot, u"$LogFile", 3);
    volume.SetRecord(2, log.NonResidentData({{1u << 20, 16}}, 16 * 4096).Build());
    test::ScanHarness h;
    h.Scan(volume.WriteImage("scan-badlog.img"), /*advanced=*/true);
    EXPECT_EQ(h.LogMessages(),
              (Messages{"Searching deleted files on C: ...",
                        "Advanced scan is not possible on C:, the log file cannot be used",
                        "C: the $LogFile cannot be read: read error", "Scan finished"}));
    EXPECT_TRUE(h.prompts.asked.empty());  // no administrator message
    EXPECT_EQ(h.list.files.size(), 2u);
    EXPECT_EQ(h.progress->StageCount(), 2);  // the normal scan's
}

// What a volume that cannot be opened shows: the log names the cause, and so does the message,
// which blames rights only when the system refused access. An empty text when all is as said.
std::string OpenFailure(const std::string& image, const std::string& causeHas,
                        bool refused = false) {
    test::ScanHarness h;
    h.Scan(image);
    const Messages log = h.LogMessages();
    if (log.size() != 3 || h.prompts.asked.size() != 1 || h.context.session != nullptr ||
        !h.list.files.empty())
        return "unexpected: " + std::to_string(log.size()) + " log lines";
    if (log[1].rfind("C: ", 0) != 0 || log[1].find(causeHas) == std::string::npos)
        return "cause: " + log[1];
    if (log[2] != "open disk C: failed.") return "log: " + log[2];
    const auto& asked = h.prompts.asked[0];
    const std::string said = ToUtf8(asked.text);
    const std::string want =
        std::string("Open disk C: failed.\n") +
        (refused ? "You must be an administrator to run this software.\n" : "") + log[1].substr(3);
    if (asked.caption != u"Error" || asked.buttons != PromptButtons::kOk || said != want)
        return "message: " + said;
    return {};
}

// A missing image and one that is not NTFS are the window's and the terminal program's tests
// (MainWindow.AScanThatCannotStartSaysWhyAndLogsTheCause, tests/cli/cli-tests.sh).
TEST(ScanThread, CannotOpenNamesTheRealCause) {
    const std::string shortImage = VolumeWithFiles(1).WriteImage("scan-short.img");
    ASSERT_EQ(::truncate(shortImage.c_str(), 16 * 4096), 0);  // ends before its $MFT
    NtfsBuilder noMft;
    noMft.SetRecord(0, RecordBuilder().InUse().FileName(kRoot, u"$MFT", 3).Build());  // no $DATA
    const std::pair<std::string, std::string> cases[] = {
        {shortImage, "the volume ends before its $MFT"},
        {noMft.WriteImage("scan-nomft.img"), "record 0 of the $MFT is not a FILE record"},
    };
    for (const auto& [image, causeHas] : cases)
        EXPECT_EQ(OpenFailure(image, causeHas), "") << image;
}

TEST(ScanThread, AVolumeTheUserMayNotReadIsBlamedOnRights) {
    test::OpenTempFolder dir;  // reachable by "nobody"
    const std::string locked = dir.path + "/locked.img";
    std::filesystem::copy_file(VolumeWithFiles(1).WriteImage("scan-locked.img"), locked);
    ::chmod(locked.c_str(), 0600);
    test::ExpectAsNobody([&] { return OpenFailure(locked, "Permission denied", true); });
}

TEST(ScanThread, AnMftThatCannotBeReadListsNothingAndSaysSo) {
    auto device = std::make_unique<test::MemoryDevice>(VolumeWithFiles(3).Build());
    device->FailReadsFrom(NtfsBuilder::kMftCluster * 4096 + 24 * 1024);  // the walk's records
    auto reader = std::make_unique<VolumeReader>();
    ASSERT_TRUE(reader->Open(std::move(device)));
    test::ScanHarness h;
    h.context.session = test::OpenSession(std::move(reader));
    ASSERT_NE(h.context.session, nullptr);
    h.list.files.resize(1);  // a list left over must go too
    h.progress = std::make_unique<ProgressDialog>(&h.view);
    h.context.progress = h.progress.get();
    h.context.ListDeletedFiles();
    EXPECT_EQ(h.LogMessages(), (Messages{"Reading the deleted files failed: read error"}));
    EXPECT_TRUE(h.context.scanFailed);
    EXPECT_TRUE(h.list.files.empty());
}

// Presses Stop when the first batch of files arrives.
struct StoppingSink final : DeletedFileSink {
    void Take(std::vector<DeletedFile>&& batch) override {
        taken += batch.size();
        if (progress) progress->Stop();
    }
    void Discard() override { ++discarded; }
    ProgressDialog* progress = nullptr;
    size_t taken = 0;
    int discarded = 0;
};

TEST(ScanThread, StopEndsTheScanCanceledWithNothingListedAndNoTemporaryFileLeft) {
    const std::string image = VolumeWithFiles(4).WriteImage("scan-stop.img");
    test::PrivateTemp temp;
    for (const bool beforeTheWalk : {true, false}) {
        SCOPED_TRACE(beforeTheWalk ? "Stop before the walk" : "Stop while the files arrive");
        test::ScanHarness h;
        StoppingSink sink;
        h.context.files = &sink;
        h.beforeRun = [&](ProgressDialog& p) {
            if (beforeTheWalk) p.Stop();
            sink.progress = &p;
        };
        h.Scan(image);
        EXPECT_EQ(h.LogMessages().back(), "Canceled by user");
        EXPECT_TRUE(h.prompts.asked.empty());
        EXPECT_EQ(sink.taken, beforeTheWalk ? 0u : 4u);
        EXPECT_EQ(sink.discarded, 2);  // before the scan, and what was delivered after Stop
        EXPECT_EQ(h.context.session, nullptr);
        EXPECT_EQ(temp.Count("NR"), 0u);
    }
}

// The progress window counts the walk over the $MFT in records (every one), the building in files;
// a scan passes through every stage it announces (five for the advanced one where the log serves).
TEST(ScanThread, ProgressCountsRecordsThenFilesThroughEveryAnnouncedStage) {
    QV_REQUIRE_FIXTURE(image, "real/7-ntfs-undel.dd");
    for (const bool advanced : {false, true}) {
        test::ScanHarness h;
        h.Scan(image, advanced);
        ASSERT_NE(h.context.session, nullptr);
        std::set<int32_t> stages;
        uint64_t records = 0;
        for (const ProgressCounts& c : h.view.counts) {
            stages.insert(c.stage);
            EXPECT_LE(c.done, c.total);
            if (c.unit == StepUnit::kRecords) records = std::max(records, c.done);
        }
        EXPECT_EQ(records, h.context.session->RecordCount()) << advanced;
        ASSERT_FALSE(h.view.counts.empty());
        const ProgressCounts& last = h.view.counts.back();
        EXPECT_EQ(last.unit, StepUnit::kFiles);
        EXPECT_EQ(last.done, last.total);
        EXPECT_EQ(last.stages, advanced ? 5 : 2);
        EXPECT_EQ(stages, (advanced ? std::set<int32_t>{1, 2, 3, 4, 5} : std::set<int32_t>{1, 2}));
    }
}

}  // namespace
}  // namespace qv
