// Recoveries from start to end: the files written, the outcomes, the questions asked, the log.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <map>

#include "platform/Text.h"
#include "support/Fixtures.h"
#include "support/NtfsBuilder.h"
#include "support/RecordBuilder.h"
#include "support/ScanHarness.h"
#include "support/VolumeImage.h"

namespace qv {
namespace {

using test::NtfsBuilder;
using test::PathExists;
using test::PatternBytes;
using test::ReadWholeFile;
using test::RecordBuilder;
using test::Ref;
using Bytes = std::vector<uint8_t>;
using Messages = std::vector<std::string>;

constexpr uint64_t kRoot = NtfsBuilder::kRootReference;
const std::string kExtentGone =
    "part of its data lies in an extension record that is missing, reused or damaged";

Bytes B(std::string_view text) {
    return {text.begin(), text.end()};
}

// A record of a file named in a folder, for the caller to give its data.
RecordBuilder Named(uint32_t n, uint64_t parent, const std::u16string& name) {
    return RecordBuilder().RecordNumber(n).FileName(parent, name);
}

// A volume with a handful of deleted files of every kind a recovery meets.
struct Recovery : ::testing::Test {
    static constexpr uint64_t kReport = 31, kRootFile = 32, kDot = 33, kSlash = 34, kShort = 35,
                              kEvil = 36, kBig = 38, kDeep = 40, kDocsFile = 41, kLost = 42,
                              kEmptyStream = 44, kEarly = 27, kLast = 26, kTwin1 = 45, kTwin2 = 46;
    std::string dest;
    test::ScanHarness h;
    Bytes report = PatternBytes(6000, 1);
    Bytes big = PatternBytes(300 * 4096, 2);  // more than one copy piece
    Bytes shortPart = PatternBytes(2 * 4096, 3);

    void SetUp() override {
        NtfsBuilder volume;
        std::map<uint32_t, RecordBuilder> records;  // set on the volume once all are made
        const auto named = [&](uint32_t n, uint64_t parent,
                               const std::u16string& name) -> RecordBuilder& {
            return records[n] = Named(n, parent, name);
        };
        const auto inRun = [&](uint32_t n, uint64_t parent, const std::u16string& name,
                               const Bytes& data, uint64_t clusters, uint64_t size) {
            const uint64_t lcn = volume.Allocate(clusters);
            volume.PutData(lcn, data);
            named(n, parent, name).NonResidentData({{lcn, clusters}}, size);
        };
        named(30, kRoot, u"docs").Directory();
        named(37, kRoot, u"..").Directory();
        named(39, Ref(30, 1), u"sub").Directory();
        named(28, Ref(30, 1), u"old").Directory();
        inRun(kReport, Ref(30, 1), u"report.txt", report, 2, report.size());
        inRun(kShort, kRoot, u"short.bin", shortPart, 2, 5 * 4096);
        inRun(kBig, kRoot, u"big.bin", big, 300, big.size());
        RecordBuilder& root = named(kRootFile, kRoot, u"root.txt");
        root.ResidentData(B("hello")).ResidentData(B("[Z]"), u"Zone.Identifier");
        named(kDot, kRoot, u".").ResidentData(B("d"));
        named(kSlash, kRoot, u"a/b").ResidentData(B("s"));
        named(kEvil, Ref(37, 1), u"evil.txt").ResidentData(B("e"));
        named(kDeep, Ref(39, 1), u"deep.txt").ResidentData(B("D"));
        named(kDocsFile, kRoot, u"docs").ResidentData(B("f"));  // the deleted folder's name
        // A file whose data lives in extension record 43, which another file has taken since.
        named(kLost, kRoot, u"lost.bin")
            .ResidentAttributeList(
                {{0x30, 0, Ref(kLost, 1), 0, u""}, {0x80, 0, Ref(43, 1), 0, u""}});
        inRun(43, kRoot, u"newcomer.txt", PatternBytes(4096, 4), 1, 4096);
        records[43].InUse().Sequence(2);
        // An empty named stream beside the content.
        named(kEmptyStream, kRoot, u"tagged.txt").ResidentData(B("t")).ResidentData({}, u"tag");
        // Listed after everything above.
        named(kEarly, Ref(28, 1), u"early.txt").ResidentData(B("E"));
        named(kLast, kRoot, u"last.txt").ResidentData(B("L"));
        // The same name deleted twice from the same folder.
        named(kTwin1, Ref(30, 1), u"twin.txt").ResidentData(B("5"));
        named(kTwin2, Ref(30, 1), u"twin.txt").ResidentData(B("6"));
        for (const auto& [n, record] : records)
            volume.SetRecord(n, record.Build());
        dest = test::MakeTempDir("qvrec") + "/out";
        h.Scan(volume.WriteImage("recovery.img"));
        ASSERT_NE(h.context.session, nullptr);
    }

    std::vector<uint64_t> checked;
    Messages Recover(bool paths = true) {
        h.pane.Clear();
        h.Recover(FromUtf8(dest), checked, paths);
        return h.LogMessages();
    }
    bool Logged(const Messages& log, const std::string& line) {
        return std::find(log.begin(), log.end(), line) != log.end();
    }
};

TEST_F(Recovery, EveryFileEndsInOneOutcomeAndOnlyWhatItSaysIsWritten) {
    constexpr auto kDone = RecoveryOutcome::kRecovered, kPart = RecoveryOutcome::kIncomplete;
    constexpr auto kAsk = ExistingFile::kAsk, kRename = ExistingFile::kRename;
    struct Run {
        const char* what;
        std::vector<uint64_t> records;
        bool paths;
        ExistingFile existing;
    };
    struct Want {
        std::string name;
        RecoveryOutcome::Kind kind;
        std::string target;  // below the destination
        Bytes bytes;
        std::string cause = "";
    };
    const std::string runsEnd = "the data runs end before the file's size";
    // The outcomes in the order the window lists the files: newest record first.
    const struct {
        Run run;
        std::vector<Want> want;
    } cases[] = {
        {{"names never lead out of the destination", {kDot, kSlash, kEvil}, true, kAsk},
         {{"evil.txt", kDone, "_../evil.txt", B("e")},
          {"a/b", kDone, "a_b", B("s")},
          {".", kDone, "_.", B("d")}}},
        {{"runs that end before the size", {kShort}, true, kAsk},
         {{"short.bin", kPart, "short.bin", shortPart, runsEnd}}},
        {{"data in an extension record that is gone", {kLost}, true, kAsk},
         {{"lost.bin", kPart, "lost.bin", {}, kExtentGone}}},
        {{"an empty named stream", {kEmptyStream}, true, kAsk},
         {{"tagged.txt", kDone, "tagged.txt", B("t")},
          {"tagged.txt:tag", kDone, "tagged.txt:tag", {}}}},
        {{"a deleted file and folder of one name", {kDocsFile, kReport, kDeep}, true, kAsk},
         {{"docs", kDone, "docs", B("f")},
          {"deep.txt", kDone, "docs (1)/sub/deep.txt", B("D")},
          {"report.txt", kDone, "docs (1)/report.txt", report}}},
        {{"one name twice in one folder", {kTwin1, kTwin2}, true, kRename},
         {{"twin.txt", kDone, "docs/twin.txt", B("6")},
          {"twin.txt", kDone, "docs/twin (1).txt", B("5")}}},
        {{"one name twice, without folders", {kTwin1, kTwin2}, false, kRename},
         {{"twin.txt", kDone, "twin.txt", B("6")}, {"twin.txt", kDone, "twin (1).txt", B("5")}}},
    };
    const char* const words[] = {"success", "incomplete", "failed", "skipped", "canceled"};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.run.what);
        std::filesystem::remove_all(dest);
        checked = c.run.records;
        h.context.recovery.existingFile = c.run.existing;
        const Messages log = Recover(c.run.paths);
        EXPECT_EQ(log.back(), "All files are processed, recover end");
        EXPECT_TRUE(h.prompts.asked.empty());
        ASSERT_EQ(h.outcomes.all.size(), c.want.size());
        std::vector<std::string> written;
        int recovered = 0, incomplete = 0;
        for (size_t i = 0; i < c.want.size(); ++i) {
            const Want& w = c.want[i];
            const RecoveryOutcome& o = h.outcomes.all[i];
            const std::string target = dest + "/" + w.target;
            EXPECT_EQ(ToUtf8(o.name), w.name);
            EXPECT_EQ(o.kind, w.kind) << w.name;
            EXPECT_EQ(ToUtf8(o.target), target);
            EXPECT_EQ(o.bytes, w.bytes.size()) << w.name;
            EXPECT_EQ(ToUtf8(o.cause), w.cause) << w.name;
            EXPECT_EQ(ReadWholeFile(target), w.bytes) << w.name;
            EXPECT_TRUE(Logged(log, "Recover " + w.name + " to " + target + " " + words[w.kind]));
            written.push_back(w.target);
            recovered += w.kind == kDone;
            incomplete += w.kind == kPart;
        }
        std::vector<std::string> below;  // every file below the destination: nothing else
        for (const auto& e : std::filesystem::recursive_directory_iterator(dest))
            if (!e.is_directory()) below.push_back(e.path().lexically_relative(dest).string());
        std::sort(below.begin(), below.end());
        std::sort(written.begin(), written.end());
        EXPECT_EQ(below, written);
        EXPECT_EQ(h.context.summary.recovered, recovered);
        EXPECT_EQ(h.context.summary.incomplete, incomplete);
        EXPECT_EQ(h.context.summary.failed + h.context.summary.skipped, 0);
    }
}

TEST_F(Recovery, TheLogSaysEveryStepAndTheWindowShowsTheFileInHand) {
    checked = {kReport, kRootFile, kLost};
    const Messages log = Recover();
    EXPECT_EQ(log, (Messages{"Start recover", "Recovering lost.bin ... ",
                             "Recover lost.bin to " + dest + "/lost.bin incomplete",
                             dest + "/lost.bin: " + kExtentGone, "Recovering root.txt ... ",
                             "Recover root.txt to " + dest + "/root.txt success",
                             "Recovering root.txt:Zone.Identifier ... ",
                             "Recover root.txt:Zone.Identifier to " + dest +
                                 "/root.txt:Zone.Identifier success",
                             "Recovering report.txt ... ",
                             "Recover report.txt to " + dest + "/docs/report.txt success",
                             "All files are processed, recover end"}));
    EXPECT_EQ(h.view.closed.back(), 1);
    for (const std::u16string status : {u"Recovering", u"Recovering report.txt"})
        EXPECT_NE(std::ranges::find(h.view.statuses, status), h.view.statuses.end());
}

TEST_F(Recovery, AFailedWriteFailsThatFileAndTheNextStillComes) {
    checked = {kBig, kRootFile};
    // A file size limit stands in for a full disk.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    const rlimit small{.rlim_cur = 100000, .rlim_max = old.rlim_max};
    ::setrlimit(RLIMIT_FSIZE, &small);
    const Messages log = Recover();
    ::setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_TRUE(Logged(log, "Recover big.bin to " + dest + "/big.bin failed"));
    EXPECT_TRUE(Logged(log, dest + "/big.bin: File too large"));
    EXPECT_TRUE(Logged(log, "Recover root.txt to " + dest + "/root.txt success"));
    EXPECT_EQ(h.context.summary.failed, 1);
    ASSERT_FALSE(h.outcomes.all.empty());
    EXPECT_EQ(h.outcomes.all[0].kind, RecoveryOutcome::kFailed);
    EXPECT_LE(h.outcomes.all[0].bytes, 100000u);
    EXPECT_EQ(log.back(), "All files are processed, recover end");
}

TEST_F(Recovery, StopDuringACopyRemovesTheCutShortFile) {
    checked = {kBig, kReport};
    h.view.onStep = [&] { h.progress->Stop(); };  // as soon as the bar moves in big.bin's copy
    const Messages log = Recover();
    EXPECT_EQ(log[2], "Recover big.bin to " + dest + "/big.bin canceled");
    EXPECT_EQ(log.back(), "Canceled by user");
    EXPECT_FALSE(PathExists(dest + "/big.bin"));
    EXPECT_FALSE(PathExists(dest + "/docs/report.txt"));  // the next file is not started
    ASSERT_EQ(h.outcomes.all.size(), 1u);
    EXPECT_EQ(h.outcomes.all[0].kind, RecoveryOutcome::kCanceled);
}

TEST_F(Recovery, TheSameFileTwiceMeetsTheOverwriteQuestion) {
    checked = {kRootFile};
    Recover();
    h.prompts.answers = {kIdCancel, kIdYes};  // the file: skip; its stream: overwrite
    const Messages log = Recover();
    ASSERT_EQ(h.prompts.asked.size(), 2u);
    EXPECT_EQ(ToUtf8(h.prompts.asked[0].text), dest + "/root.txt existed, Overwrite?");
    EXPECT_EQ(log[2], "Open file " + dest + "/root.txt failed, skip");
    EXPECT_EQ(log[3], dest + "/root.txt: File exists");
    EXPECT_EQ(h.context.summary.skipped, 1);
    EXPECT_EQ(h.context.summary.recovered, 1);
}

TEST_F(Recovery, AFolderThatCannotBeMadeEndsTheRunOnAbortAndIsLeftOutOnIgnore) {
    // deep.txt makes docs/ and docs/sub/; then, before early.txt, docs becomes a link, so
    // docs/old/ cannot be made.
    const std::string elsewhere = test::MakeTempDir("qvelsewhere");
    const std::string cause = dest + "/docs/old/: Too many levels of symbolic links";
    for (const int answer : {kIdAbort, kIdIgnore}) {
        SCOPED_TRACE(answer == kIdAbort ? "Abort" : "Ignore");
        std::filesystem::remove_all(dest);
        checked = {kDeep, kEarly, kLast};
        h.view.onStatus = [&](const std::u16string& status) {
            if (status != u"Recovering early.txt") return;
            std::filesystem::remove_all(dest + "/docs");
            std::filesystem::create_directory_symlink(elsewhere, dest + "/docs");
        };
        h.prompts.answers = {answer};
        const Messages log = Recover();
        EXPECT_FALSE(PathExists(elsewhere + "/old"));
        if (answer == kIdAbort) {
            EXPECT_EQ(Messages(log.end() - 4, log.end()),
                      (Messages{"Recovering early.txt ... ",
                                "Create folder " + dest + "/docs/old/ failed", cause,
                                "Canceled by user"}));
            EXPECT_EQ(h.context.summary.recovered, 1);   // deep.txt
            EXPECT_EQ(h.context.summary.notReached, 2);  // early.txt itself and last.txt
        } else {
            EXPECT_TRUE(Logged(
                log, "Create folder " + dest + "/docs/old/ failed, recover to " + dest + "/"));
            EXPECT_TRUE(Logged(log, cause));
            EXPECT_EQ(ReadWholeFile(dest + "/early.txt"), B("E"));
            EXPECT_EQ(h.context.summary.recovered, 3);
        }
    }
}

TEST_F(Recovery, SomethingInTheWayOfAFolderGivesTheFolderANumberedNameAndIsNeverFollowed) {
    const std::string elsewhere = test::MakeTempDir("qvelsewhere");
    checked = {kReport};
    for (const bool link : {false, true}) {
        SCOPED_TRACE(link ? "a link" : "a file");
        std::filesystem::remove_all(dest);
        std::filesystem::create_directory(dest);
        if (link)
            std::filesystem::create_directory_symlink(elsewhere, dest + "/docs");
        else
            std::ofstream(dest + "/docs") << "a file where the folder should be";
        const Messages log = Recover();
        EXPECT_EQ(log[2],
                  "Create folder " + dest + "/docs/ as " + dest + "/docs (1)/, the name is taken");
        EXPECT_EQ(ReadWholeFile(dest + "/docs (1)/report.txt"), report);
        EXPECT_TRUE(h.prompts.asked.empty());
        EXPECT_TRUE(std::filesystem::is_empty(elsewhere));
    }
}

TEST_F(Recovery, ADestinationThatCannotBeUsedIsRefusedBeforeTheFirstFile) {
    checked = {kReport, kRootFile};
    // It cannot be made: the question's Cancel ends the run.
    dest = "/proc/quorvane-cannot-be-here";
    h.prompts.answers = {kIdCancel};
    EXPECT_EQ(Recover(),
              (Messages{"Start recover", "Create folder " + dest + "/ failed, canceled by user",
                        dest + "/: No such file or directory"}));
    EXPECT_EQ(h.prompts.asked.at(0).buttons, PromptButtons::kRetryCancel);
    EXPECT_EQ(h.view.closed.back(), 2);
    EXPECT_TRUE(h.context.summary.refused);
    // It is a file: said once.
    dest = test::MakeTempDir("qvrec") + "/a-file";
    std::ofstream(dest) << "a file, not a folder";
    h.prompts.asked.clear();
    const std::string said = "Cannot recover into " + dest + "/: Not a directory";
    EXPECT_EQ(Recover(), (Messages{"Start recover", said}));
    ASSERT_EQ(h.prompts.asked.size(), 1u);
    EXPECT_EQ(ToUtf8(h.prompts.asked[0].text), said);
    EXPECT_EQ(h.prompts.asked[0].buttons, PromptButtons::kOk);
    EXPECT_TRUE(h.context.summary.refused);
    EXPECT_EQ(ToUtf8(h.context.summary.refusal), dest + "/: Not a directory");
    EXPECT_TRUE(h.outcomes.all.empty());
}

TEST_F(Recovery, ADestinationOnTheScannedVolumeIsAskedAboutOnceWithNoAsTheSafeAnswer) {
    h.context.recovery.destinationOnSource = [](const auto&, const auto&) { return true; };
    checked = {kReport, kRootFile};
    const std::string question =
        "The destination is on the volume being scanned; recovering there can overwrite the "
        "files you are recovering. Continue?";
    h.prompts.answers = {kIdNo};
    EXPECT_EQ(Recover(), (Messages{"Start recover", question + " No"}));
    ASSERT_EQ(h.prompts.asked.size(), 1u);
    EXPECT_EQ(ToUtf8(h.prompts.asked[0].text), question);
    EXPECT_EQ(h.prompts.asked[0].buttons, PromptButtons::kYesNo);
    EXPECT_FALSE(PathExists(dest));  // not even the destination folder was made there
    EXPECT_TRUE(h.context.summary.refused && h.context.summary.onSameVolume);
    h.prompts.answers = {kIdYes};
    EXPECT_EQ(Recover().at(1), question + " Yes");
    EXPECT_EQ(ReadWholeFile(dest + "/docs/report.txt"), report);
    EXPECT_EQ(h.prompts.asked.size(), 2u);  // once per recovery, not per file
}

// The scan keeps the listed files' records as it found them: a recovery after the volume changed
// (its records taken by new files, as on a volume in use) still builds each file from them.
TEST(RecoveryAfterChange, FilesAreBuiltFromTheRecordsAsTheScanFoundThem) {
    NtfsBuilder volume(4096, 1024, 2048);
    const Bytes plain = PatternBytes(3 * 4096 + 100, 5), split = PatternBytes(2 * 4096, 6);
    const uint64_t p = volume.Allocate(4), s = volume.Allocate(2);
    volume.PutData(p, plain);
    volume.PutData(s, split);
    volume.SetRecord(
        30, Named(30, kRoot, u"plain.bin").NonResidentData({{p, 4}}, plain.size()).Build());
    // A file whose data lies in its extension record.
    RecordBuilder base = Named(32, kRoot, u"split.bin");
    base.ResidentAttributeList({{0x30, 0, Ref(32, 1), 0, u""}, {0x80, 0, Ref(33, 1), 0, u""}});
    volume.SetRecord(32, base.Build());
    RecordBuilder extension = RecordBuilder().RecordNumber(33).BaseReference(Ref(32, 1));
    volume.SetRecord(33, extension.NonResidentData({{s, 2}}, split.size()).Build());
    // Far from the others: the scan reads its record last, so no read-ahead still holds theirs.
    volume.SetRecord(1500, Named(1500, kRoot, u"far.txt").ResidentData(B("f")).Build());
    const std::string image = volume.WriteImage("changed.img");
    test::ScanHarness h;
    h.Scan(image);
    ASSERT_EQ(h.list.files.size(), 3u);
    // New files take the three records; the data clusters stay as they were.
    for (const uint32_t n : {30u, 32u, 33u}) {
        RecordBuilder taken = Named(n, kRoot, u"new" + FromUtf8(std::to_string(n)));
        volume.SetRecord(n, taken.InUse().Sequence(2).ResidentData(B("new")).Build());
    }
    ASSERT_EQ(volume.WriteImage("changed.img"), image);  // the same file, rewritten in place
    for (const uint32_t n : {30u, 32u, 33u}) {           // the session's reads see the new records
        std::vector<uint8_t> now;
        ASSERT_TRUE(h.context.session->ReadRecord(n, now));
        EXPECT_EQ(now[0x16] & 1, 1) << "record " << n << " is not in use";
    }
    const std::string dest = test::MakeTempDir("qvchanged");
    h.Recover(FromUtf8(dest), {30, 32});
    EXPECT_EQ(ReadWholeFile(dest + "/plain.bin"), plain);
    EXPECT_EQ(ReadWholeFile(dest + "/split.bin"), split);
    EXPECT_EQ(h.context.summary.recovered, 2);
    EXPECT_EQ(h.context.summary.incomplete + h.context.summary.failed, 0);
}

}  // namespace
}  // namespace qv
