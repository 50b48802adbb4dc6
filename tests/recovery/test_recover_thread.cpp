// Recoveries from start to end: the files written, the questions asked, the log lines.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <fstream>

#include "platform/Text.h"
#include "support/NtfsBuilder.h"
#include "support/RecordBuilder.h"
#include "support/ScanHarness.h"
#include "support/VolumeImage.h"

namespace qv {
namespace {

using test::NtfsBuilder;
using test::PatternBytes;
using test::RecordBuilder;
using Messages = std::vector<std::string>;

constexpr uint64_t kRoot = NtfsBuilder::kRootReference;
uint64_t Ref(uint64_t record, uint16_t sequence) {
    return record | (uint64_t{sequence} << 48);
}

std::vector<uint8_t> Slurp(const std::string& p) {
    std::ifstream in(p, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}
bool Exists(const std::string& p) {
    struct stat st {};
    return ::lstat(p.c_str(), &st) == 0;
}

// A volume with a handful of deleted files of every kind a recovery meets.
struct Recovery : ::testing::Test {
    static constexpr uint64_t kReport = 31, kRootFile = 32, kDotDot = 33, kSlash = 34, kShort = 35,
                              kEvil = 36, kBig = 38, kDeep = 40;
    std::string image;
    std::string dest;
    test::ScanHarness h;
    std::vector<uint8_t> report = PatternBytes(6000, 1);
    std::vector<uint8_t> big = PatternBytes(300 * 4096, 2);  // more than one copy piece

    void SetUp() override {
        NtfsBuilder volume;
        volume.SetRecord(30, RecordBuilder()
                                 .RecordNumber(30)
                                 .Sequence(2)
                                 .Directory()
                                 .FileName(kRoot, u"docs")
                                 .Build());
        const uint64_t r = volume.Allocate(2);
        volume.PutData(r, report);
        volume.SetRecord(kReport, RecordBuilder()
                                      .RecordNumber(kReport)
                                      .Sequence(2)
                                      .FileName(Ref(30, 1), u"report.txt")
                                      .NonResidentData({{r, 2}}, report.size())
                                      .Build());
        volume.SetRecord(kRootFile, RecordBuilder()
                                        .RecordNumber(kRootFile)
                                        .FileName(kRoot, u"root.txt")
                                        .ResidentData({'h', 'e', 'l', 'l', 'o'})
                                        .ResidentData({'[', 'Z', ']'}, u"Zone.Identifier")
                                        .Build());
        volume.SetRecord(kDotDot, RecordBuilder()
                                      .RecordNumber(kDotDot)
                                      .FileName(kRoot, u".", 0)
                                      .ResidentData({'d'})
                                      .Build());
        volume.SetRecord(kSlash, RecordBuilder()
                                     .RecordNumber(kSlash)
                                     .FileName(kRoot, u"a/b", 0)
                                     .ResidentData({'s'})
                                     .Build());
        const uint64_t s = volume.Allocate(2);
        volume.PutData(s, PatternBytes(2 * 4096, 3));
        volume.SetRecord(kShort, RecordBuilder()
                                     .RecordNumber(kShort)
                                     .FileName(kRoot, u"short.bin")
                                     .NonResidentData({{s, 2}}, 5 * 4096)
                                     .Build());
        volume.SetRecord(
            37, RecordBuilder().RecordNumber(37).Directory().FileName(kRoot, u"..", 0).Build());
        volume.SetRecord(kEvil, RecordBuilder()
                                    .RecordNumber(kEvil)
                                    .FileName(Ref(37, 1), u"evil.txt")
                                    .ResidentData({'e'})
                                    .Build());
        const uint64_t b = volume.Allocate(300);
        volume.PutData(b, big);
        volume.SetRecord(kBig, RecordBuilder()
                                   .RecordNumber(kBig)
                                   .FileName(kRoot, u"big.bin")
                                   .NonResidentData({{b, 300}}, big.size())
                                   .Build());
        volume.SetRecord(
            39, RecordBuilder().RecordNumber(39).Directory().FileName(Ref(30, 1), u"sub").Build());
        volume.SetRecord(kDeep, RecordBuilder()
                                    .RecordNumber(kDeep)
                                    .FileName(Ref(39, 1), u"deep.txt")
                                    .ResidentData({'D'})
                                    .Build());
        image = volume.WriteImage("recovery.img");
        std::string pattern = ::testing::TempDir() + "qvrec-XXXXXX";
        dest = std::string(::mkdtemp(pattern.data())) + "/out";
        h.Scan(image);
        ASSERT_NE(h.context.session, nullptr);
    }

    void Check(uint64_t record) {
        for (int i = 0; i < h.list.Count(); ++i)
            if (h.list.GetItemData(i)->RecordNumber() == record) h.list.SetCheck(i, true);
    }
    Messages Recover(bool paths = true) {
        h.pane.Clear();
        h.Recover(FromUtf8(dest), paths);
        return h.LogMessages();
    }
};

TEST_F(Recovery, FilesLandInTheirFoldersByteExactWithTheirStreamsBeside) {
    Check(kReport);
    Check(kRootFile);
    const Messages log = Recover();
    EXPECT_EQ(Slurp(dest + "/docs/report.txt"), report);
    EXPECT_EQ(Slurp(dest + "/root.txt"), (std::vector<uint8_t>{'h', 'e', 'l', 'l', 'o'}));
    EXPECT_EQ(Slurp(dest + "/root.txt:Zone.Identifier"), (std::vector<uint8_t>{'[', 'Z', ']'}));
    // The list shows the newest record first: root.txt, then report.txt.
    EXPECT_EQ(log, (Messages{"Start recover", "Recovering root.txt ... ",
                             "Recover root.txt to " + dest + "/root.txt success",
                             "Recovering root.txt:Zone.Identifier ... ",
                             "Recover root.txt:Zone.Identifier to " + dest +
                                 "/root.txt:Zone.Identifier success",
                             "Recovering report.txt ... ",
                             "Recover report.txt to " + dest + "/docs/report.txt success",
                             "All files are processed, recover end"}));
    EXPECT_EQ(h.view.closed.back(), 1);
    EXPECT_NE(std::find(h.view.statuses.begin(), h.view.statuses.end(), u"Recovering"),
              h.view.statuses.end());
    EXPECT_NE(std::find(h.view.statuses.begin(), h.view.statuses.end(), u"Recovering report.txt"),
              h.view.statuses.end());
}

TEST_F(Recovery, NothingCheckedStillMakesTheDestination) {
    EXPECT_EQ(Recover(), (Messages{"Start recover", "All files are processed, recover end"}));
    EXPECT_TRUE(Exists(dest));
}

TEST_F(Recovery, WithoutPathnamesEverythingGoesStraightIntoTheDestination) {
    Check(kReport);
    Recover(/*paths=*/false);
    EXPECT_EQ(Slurp(dest + "/report.txt"), report);
    EXPECT_FALSE(Exists(dest + "/docs"));
}

TEST_F(Recovery, NamesFromTheVolumeNeverLeadOutOfTheDestination) {
    Check(kDotDot);
    Check(kSlash);
    Check(kEvil);
    Recover();
    EXPECT_EQ(Slurp(dest + "/_."), (std::vector<uint8_t>{'d'}));
    EXPECT_EQ(Slurp(dest + "/a_b"), (std::vector<uint8_t>{'s'}));
    EXPECT_EQ(Slurp(dest + "/_../evil.txt"), (std::vector<uint8_t>{'e'}));
    EXPECT_FALSE(Exists(dest + "/../evil.txt"));
}

TEST_F(Recovery, RunsEndingBeforeTheSizeAreReportedIncomplete) {
    Check(kShort);
    const Messages log = Recover();
    EXPECT_EQ(log[2], "Recover short.bin to " + dest + "/short.bin incomplete");
    EXPECT_EQ(Slurp(dest + "/short.bin").size(), 2u * 4096);
    EXPECT_EQ(h.context.counts.incomplete, 1);
    EXPECT_EQ(h.context.counts.recovered, 0);
}

TEST_F(Recovery, AFailedWriteFailsThatFileAndTheNextStillComes) {
    Check(kBig);
    Check(kRootFile);
    // A file size limit stands in for a full disk.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = 100000;
    ::setrlimit(RLIMIT_FSIZE, &small);
    const Messages log = Recover();
    ::setrlimit(RLIMIT_FSIZE, &old);
    const std::string failed = "Recover big.bin to " + dest + "/big.bin failed";
    EXPECT_NE(std::find(log.begin(), log.end(), failed), log.end());
    EXPECT_NE(
        std::find(log.begin(), log.end(), "Recover root.txt to " + dest + "/root.txt success"),
        log.end());
    EXPECT_EQ(h.context.counts.failed, 1);
    EXPECT_EQ(log.back(), "All files are processed, recover end");
}

TEST_F(Recovery, StopDuringACopyRemovesTheCutShortFile) {
    Check(kBig);
    Check(kReport);
    // Stop as soon as the bar moves inside big.bin's copy.
    struct StopOnStep final : ProgressView {
        ProgressDialog* dialog = nullptr;
        void SetStatusText(const std::u16string&) override {}
        void SetTitle(const std::u16string&) override {}
        void StepBar() override { dialog->Stop(); }
        void Close(int) override {}
    };
    StopOnStep view;
    ProgressDialog progress(&view);
    view.dialog = &progress;
    h.context.progress = &progress;
    h.context.destination = FromUtf8(dest + "/");
    h.pane.Clear();
    h.context.RunRecovery();
    const Messages log = h.LogMessages();
    EXPECT_EQ(log[2], "Recover big.bin to " + dest + "/big.bin canceled");
    EXPECT_EQ(log.back(), "Canceled by user");
    EXPECT_FALSE(Exists(dest + "/big.bin"));
    EXPECT_FALSE(Exists(dest + "/docs/report.txt"));  // the next file is not started
}

TEST_F(Recovery, TheSameFileTwiceMeetsTheOverwriteQuestion) {
    Check(kRootFile);
    Recover();
    h.prompts.answers = {kIdCancel, kIdYes};  // the file: skip; its stream: overwrite
    const Messages log = Recover();
    ASSERT_EQ(h.prompts.asked.size(), 2u);
    EXPECT_EQ(ToUtf8(h.prompts.asked[0].text), dest + "/root.txt existed, Overwrite?");
    EXPECT_EQ(log[2], "Open file " + dest + "/root.txt failed, skip");
}

TEST_F(Recovery, AbortAtAFolderEndsTheRunWithoutTheClosingLine) {
    Check(kReport);
    ::mkdir(dest.c_str(), 0777);
    std::ofstream(dest + "/docs") << "a file where the folder should be";
    // A file standing there counts as a folder; the file itself then cannot be created.
    h.prompts.answers = {kIdAbort};
    const Messages log = Recover();
    EXPECT_EQ(log, (Messages{"Start recover", "Recovering report.txt ... ",
                             "Open file " + dest + "/docs/report.txt failed", "Canceled by user"}));
    EXPECT_EQ(h.view.closed.back(), 1);
}

TEST_F(Recovery, IgnoreAtAFolderPutsTheFileIntoTheDestination) {
    Check(kDeep);
    ::mkdir(dest.c_str(), 0777);
    std::ofstream(dest + "/docs") << "a file where a folder should be";
    h.prompts.answers = {kIdIgnore};
    const Messages log = Recover();
    EXPECT_EQ(log[2], "Create folder " + dest + "/docs/sub/ failed, recover to " + dest + "/");
    EXPECT_EQ(Slurp(dest + "/deep.txt"), (std::vector<uint8_t>{'D'}));
}

TEST_F(Recovery, ASymbolicLinkPlantedInTheDestinationIsNeverFollowed) {
    Check(kReport);
    std::string pattern = ::testing::TempDir() + "qvelsewhere-XXXXXX";
    const std::string elsewhere = ::mkdtemp(pattern.data());
    ::mkdir(dest.c_str(), 0777);
    ASSERT_EQ(::symlink(elsewhere.c_str(), (dest + "/docs").c_str()), 0);
    h.prompts.answers = {kIdIgnore};
    const Messages log = Recover();
    EXPECT_EQ(log[2], "Open file " + dest + "/docs/report.txt failed, skip");
    EXPECT_FALSE(Exists(elsewhere + "/report.txt"));
}

TEST_F(Recovery, DestinationThatCannotBeMadeEndsWithCancel) {
    dest = "/proc/quorvane-cannot-be-here";
    Check(kReport);
    h.prompts.answers = {kIdCancel};
    const Messages log = Recover();
    EXPECT_EQ(log,
              (Messages{"Start recover", "Create folder " + dest + "/ failed, canceled by user"}));
    EXPECT_EQ(h.view.closed.back(), 2);
}

}  // namespace
}  // namespace qv
