// Recoveries from start to end: the files written, the questions asked, the log lines.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>

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
                              kEvil = 36, kBig = 38, kDeep = 40, kDocsFile = 41, kLost = 42,
                              kEmptyStream = 44, kEarly = 27, kLast = 26, kTwin1 = 45, kTwin2 = 46;
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
        // A deleted file named like the deleted folder beside it.
        volume.SetRecord(kDocsFile, RecordBuilder()
                                        .RecordNumber(kDocsFile)
                                        .FileName(kRoot, u"docs")
                                        .ResidentData({'f'})
                                        .Build());
        // A file whose data lives in extension record 43, which another file has taken since.
        const uint64_t l = volume.Allocate(1);
        volume.PutData(l, PatternBytes(4096, 4));
        volume.SetRecord(kLost, RecordBuilder()
                                    .RecordNumber(kLost)
                                    .FileName(kRoot, u"lost.bin")
                                    .ResidentAttributeList({{0x30, 0, Ref(kLost, 1), 0, u""},
                                                            {0x80, 0, Ref(43, 1), 0, u""}})
                                    .Build());
        volume.SetRecord(43, RecordBuilder()
                                 .RecordNumber(43)
                                 .InUse()
                                 .Sequence(2)
                                 .FileName(kRoot, u"newcomer.txt")
                                 .NonResidentData({{l, 1}}, 4096)
                                 .Build());
        // An empty named stream beside the content.
        volume.SetRecord(kEmptyStream, RecordBuilder()
                                           .RecordNumber(kEmptyStream)
                                           .FileName(kRoot, u"tagged.txt")
                                           .ResidentData({'t'})
                                           .ResidentData({}, u"tag")
                                           .Build());
        // A folder and a file in it, listed after everything above.
        volume.SetRecord(
            28, RecordBuilder().RecordNumber(28).Directory().FileName(Ref(30, 1), u"old").Build());
        volume.SetRecord(kEarly, RecordBuilder()
                                     .RecordNumber(kEarly)
                                     .FileName(Ref(28, 1), u"early.txt")
                                     .ResidentData({'E'})
                                     .Build());
        volume.SetRecord(kLast, RecordBuilder()
                                    .RecordNumber(kLast)
                                    .FileName(kRoot, u"last.txt")
                                    .ResidentData({'L'})
                                    .Build());
        // The same name deleted twice from the same folder.
        for (const uint64_t twin : {kTwin1, kTwin2})
            volume.SetRecord(twin, RecordBuilder()
                                       .RecordNumber(static_cast<uint32_t>(twin))
                                       .FileName(Ref(30, 1), u"twin.txt")
                                       .ResidentData({static_cast<uint8_t>('0' + twin % 10)})
                                       .Build());
        image = volume.WriteImage("recovery.img");
        std::string pattern = ::testing::TempDir() + "qvrec-XXXXXX";
        dest = std::string(::mkdtemp(pattern.data())) + "/out";
        h.Scan(image);
        ASSERT_NE(h.context.session, nullptr);
    }

    std::vector<uint64_t> checked;
    void Check(uint64_t record) { checked.push_back(record); }
    Messages Recover(bool paths = true) {
        h.pane.Clear();
        h.Recover(FromUtf8(dest), checked, paths);
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
    EXPECT_EQ(h.context.summary.incomplete, 1);
    EXPECT_EQ(h.context.summary.recovered, 0);
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
    EXPECT_EQ(h.context.summary.failed, 1);
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
    h.customView = &view;
    h.beforeRun = [&](ProgressDialog& progress) { view.dialog = &progress; };
    const Messages log = Recover();
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
    EXPECT_EQ(log[3], dest + "/root.txt: File exists");
}

// A view that runs a step when the status names a file: the destination changes under the run.
struct OnStatus final : ProgressView {
    std::u16string when;
    std::function<void()> step;
    void SetStatusText(const std::u16string& text) override {
        if (text == when && step) step();
    }
    void SetTitle(const std::u16string&) override {}
    void StepBar() override {}
    void Close(int) override {}
};

struct FolderFailure : Recovery {
    std::string elsewhere;
    OnStatus view;
    // deep.txt makes docs/ and docs/sub/; then, before early.txt, docs becomes a link, so
    // docs/old/ cannot be made.
    Messages Run(int answer) {
        Check(kDeep);
        Check(kEarly);
        std::string pattern = ::testing::TempDir() + "qvelsewhere-XXXXXX";
        elsewhere = ::mkdtemp(pattern.data());
        view.when = u"Recovering early.txt";
        view.step = [this] {
            std::filesystem::remove_all(dest + "/docs");
            ::symlink(elsewhere.c_str(), (dest + "/docs").c_str());
        };
        h.customView = &view;
        h.prompts.answers = {answer};
        return Recover();
    }
};

TEST_F(FolderFailure, AbortEndsTheRunNamesTheCauseAndCountsWhatWasNotReached) {
    Check(kLast);  // listed after early.txt: never reached
    const Messages log = Run(kIdAbort);
    const Messages tail(log.end() - 4, log.end());
    EXPECT_EQ(
        tail,
        (Messages{"Recovering early.txt ... ", "Create folder " + dest + "/docs/old/ failed",
                  dest + "/docs/old/: Too many levels of symbolic links", "Canceled by user"}));
    EXPECT_EQ(h.context.summary.recovered, 1);
    EXPECT_EQ(h.context.summary.notReached, 2);  // early.txt itself and report.txt
    EXPECT_FALSE(Exists(elsewhere + "/old"));
}

TEST_F(FolderFailure, IgnorePutsTheFileIntoTheDestination) {
    const Messages log = Run(kIdIgnore);
    EXPECT_NE(std::find(log.begin(), log.end(),
                        "Create folder " + dest + "/docs/old/ failed, recover to " + dest + "/"),
              log.end());
    EXPECT_NE(
        std::find(log.begin(), log.end(), dest + "/docs/old/: Too many levels of symbolic links"),
        log.end());
    EXPECT_EQ(Slurp(dest + "/early.txt"), (std::vector<uint8_t>{'E'}));
    EXPECT_FALSE(Exists(elsewhere + "/old"));
}

TEST_F(Recovery, AFileInTheWayOfAFolderGivesTheFolderANumberedName) {
    Check(kReport);
    ::mkdir(dest.c_str(), 0777);
    std::ofstream(dest + "/docs") << "a file where the folder should be";
    const Messages log = Recover();
    EXPECT_EQ(log[2],
              "Create folder " + dest + "/docs/ as " + dest + "/docs (1)/, the name is taken");
    EXPECT_EQ(Slurp(dest + "/docs (1)/report.txt"), report);
    EXPECT_TRUE(h.prompts.asked.empty());
}

TEST_F(Recovery, ADeletedFileAndADeletedFolderOfOneNameAreBothRecovered) {
    Check(kDocsFile);
    Check(kReport);
    Check(kDeep);
    const Messages log = Recover();
    EXPECT_EQ(Slurp(dest + "/docs"), (std::vector<uint8_t>{'f'}));
    EXPECT_EQ(Slurp(dest + "/docs (1)/report.txt"), report);
    EXPECT_EQ(Slurp(dest + "/docs (1)/sub/deep.txt"), (std::vector<uint8_t>{'D'}));
    EXPECT_EQ(h.context.summary.recovered, 3);
    EXPECT_EQ(h.context.summary.skipped, 0);
}

TEST_F(Recovery, ASymbolicLinkPlantedInTheDestinationIsNeverFollowed) {
    Check(kReport);
    std::string pattern = ::testing::TempDir() + "qvelsewhere-XXXXXX";
    const std::string elsewhere = ::mkdtemp(pattern.data());
    ::mkdir(dest.c_str(), 0777);
    ASSERT_EQ(::symlink(elsewhere.c_str(), (dest + "/docs").c_str()), 0);
    Recover();
    EXPECT_EQ(Slurp(dest + "/docs (1)/report.txt"), report);
    EXPECT_FALSE(Exists(elsewhere + "/report.txt"));
}

TEST_F(Recovery, DataInAnExtensionRecordThatIsGoneIsReportedIncomplete) {
    Check(kLost);
    const Messages log = Recover();
    EXPECT_EQ(log, (Messages{"Start recover", "Recovering lost.bin ... ",
                             "Recover lost.bin to " + dest + "/lost.bin incomplete",
                             dest + "/lost.bin: part of its data lies in an extension record that "
                                    "is missing, reused or damaged",
                             "All files are processed, recover end"}));
    EXPECT_EQ(h.context.summary.incomplete, 1);
    EXPECT_EQ(h.context.summary.recovered, 0);
}

TEST_F(Recovery, AnEmptyNamedStreamIsWrittenAsAnEmptyFile) {
    Check(kEmptyStream);
    Recover();
    EXPECT_EQ(Slurp(dest + "/tagged.txt"), (std::vector<uint8_t>{'t'}));
    ASSERT_TRUE(Exists(dest + "/tagged.txt:tag"));
    EXPECT_TRUE(Slurp(dest + "/tagged.txt:tag").empty());
    EXPECT_EQ(h.context.summary.recovered, 2);
}

TEST_F(Recovery, DestinationThatCannotBeMadeEndsWithCancel) {
    dest = "/proc/quorvane-cannot-be-here";
    Check(kReport);
    h.prompts.answers = {kIdCancel};
    const Messages log = Recover();
    EXPECT_EQ(log,
              (Messages{"Start recover", "Create folder " + dest + "/ failed, canceled by user",
                        dest + "/: No such file or directory"}));
    EXPECT_EQ(h.view.closed.back(), 2);
    EXPECT_TRUE(h.context.summary.refused);
}

TEST_F(Recovery, ADestinationThatIsAFileIsSaidOnceBeforeTheFirstFile) {
    std::ofstream(dest) << "a file, not a folder";
    Check(kReport);
    Check(kRootFile);
    const Messages log = Recover();
    EXPECT_EQ(log,
              (Messages{"Start recover", "Cannot recover into " + dest + "/: Not a directory"}));
    ASSERT_EQ(h.prompts.asked.size(), 1u);
    EXPECT_EQ(ToUtf8(h.prompts.asked[0].text),
              "Cannot recover into " + dest + "/: Not a directory");
    EXPECT_EQ(h.prompts.asked[0].buttons, PromptButtons::kOk);
    EXPECT_TRUE(h.context.summary.refused);
    EXPECT_EQ(h.context.summary.recovered, 0);
}

TEST_F(Recovery, ADestinationOnTheScannedVolumeIsAskedAboutOnceWithNoAsTheSafeAnswer) {
    h.context.recovery.destinationOnSource = [](const std::u16string&, const std::u16string&) {
        return true;
    };
    Check(kReport);
    const std::string question =
        "The destination is on the volume being scanned; recovering there can overwrite the "
        "files you are recovering. Continue?";
    h.prompts.answers = {kIdNo};
    Messages log = Recover();
    EXPECT_EQ(log, (Messages{"Start recover", question + " No"}));
    ASSERT_EQ(h.prompts.asked.size(), 1u);
    EXPECT_EQ(ToUtf8(h.prompts.asked[0].text), question);
    EXPECT_EQ(h.prompts.asked[0].buttons, PromptButtons::kYesNo);
    EXPECT_FALSE(Exists(dest));  // not even the destination folder was made there
    EXPECT_TRUE(h.context.summary.refused);

    h.prompts.answers = {kIdYes};
    log = Recover();
    EXPECT_EQ(log[1], question + " Yes");
    EXPECT_EQ(Slurp(dest + "/docs/report.txt"), report);
    EXPECT_EQ(h.prompts.asked.size(), 2u);  // once per recovery, not per file
}

TEST_F(Recovery, TwoFilesOfOneNameInOneFolderBothComeBackUnderRename) {
    h.context.recovery.existingFile = ExistingFile::kRename;
    for (const bool paths : {true, false}) {
        SCOPED_TRACE(paths ? "with folders" : "without folders");
        std::filesystem::remove_all(dest);
        Check(kTwin1);
        Check(kTwin2);
        Recover(paths);
        const std::string folder = paths ? dest + "/docs/" : dest + "/";
        // The list shows the newer record first: it keeps the name, the other is numbered.
        EXPECT_EQ(Slurp(folder + "twin.txt"), (std::vector<uint8_t>{'6'}));
        EXPECT_EQ(Slurp(folder + "twin (1).txt"), (std::vector<uint8_t>{'5'}));
        EXPECT_EQ(h.context.summary.recovered, 2);
        EXPECT_TRUE(h.prompts.asked.empty());
    }
}

}  // namespace
}  // namespace qv
