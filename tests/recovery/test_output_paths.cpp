// Where a recovery's files land: names made safe and numbered, folders planned so nothing merges,
// and the folders and target files made on the destination, with what is asked when they cannot be.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "app/ProgressDialog.h"
#include "platform/File.h"
#include "platform/Text.h"
#include "recovery/OutputPaths.h"
#include "recovery/TargetFolders.h"
#include "recovery/TargetNames.h"
#include "support/FakeFrontEnd.h"
#include "support/Fixtures.h"
#include "support/ScanHarness.h"

namespace qv {
namespace {

using Prompt = OutputPaths::FolderPrompt;
using test::PathExists;
using test::PathOf;

TEST(TargetNames, ComponentsThatCouldLeaveTheDestinationAreMadeSafe) {
    const std::pair<std::u16string, std::u16string> cases[] = {
        {u"", u"_"},
        {std::u16string(u"nul\0here", 8), u"nul_here"},
        {u"...hidden", u"...hidden"},  // only the exact names are special
        {u"a\\b", u"a\\b"},            // a backslash is an ordinary character on Linux
        {u"report.txt", u"report.txt"},
    };
    for (const auto& [name, safe] : cases)
        EXPECT_EQ(ToUtf8(SafeComponent(name)), ToUtf8(safe)) << ToUtf8(name);
}

TEST(TargetNames, NamesLongerThanLinuxAllowsAreShortenedKeepingTheExtension) {
    // 255 UTF-16 characters of Cyrillic are 510 bytes of UTF-8.
    const std::u16string safe = SafeComponent(std::u16string(250, u'ж') + u".docx");
    EXPECT_LE(ToUtf8(safe).size(), 255u);
    EXPECT_EQ(safe.substr(safe.size() - 5), u".docx");
    // Never half a surrogate pair.
    std::u16string emoji;
    for (int i = 0; i < 100; ++i)
        emoji += u"\U0001F600";
    const std::u16string cut = SafeComponent(emoji);
    EXPECT_LE(ToUtf8(cut).size(), 255u);
    EXPECT_EQ(FromUtf8(ToUtf8(cut)), cut);
}

// Trailing blanks, a blank destination and "~/": the window's and the terminal program's tests
// (MainWindow.ScanSortTickRecoverAndAnswerTheOverwritePrompt, tests/cli/cli-tests.sh).
TEST(TargetNames, DestinationIsTrimmedEndsInASlashAndBlankIsNone) {
    ::setenv("HOME", "/home/someone", 1);
    const std::pair<std::u16string, std::u16string> cases[] = {
        {u"\t/tmp/out/\r\n", u"/tmp/out/"},
        {u"/", u"/"},
        {u"", u""},
        {u"~", u"/home/someone/"},
        {u"~root/x", u"/root/x/"},
        {u"~no-such-user-here/x", u"~no-such-user-here/x/"},
        {u"a~/b", u"a~/b/"},
    };
    for (const auto& [typed, tidy] : cases)
        EXPECT_EQ(ToUtf8(TidyDestination(typed)), ToUtf8(tidy)) << ToUtf8(typed);
}

// "name (1).txt": Recovery.EveryFileEndsInOneOutcomeAndOnlyWhatItSaysIsWritten.
TEST(TargetNames, NumberedNamesKeepTheExtension) {
    EXPECT_EQ(NumberedName(u"README", 2), u"README (2)");
    EXPECT_EQ(NumberedName(u".profile", 3), u".profile (3)");
}

TEST(TargetFolders, NamesThatWouldMergeWhatTheVolumeKeepsApartAreNumbered) {
    TargetFolders plan;
    // A deleted file "report" beside a deleted folder "report", declared after the folder's
    // first file: the folder still yields.
    const TargetFolders::Id inReport = plan.AddFile(PathOf({u"docs", u"report"}), u"a.txt");
    plan.AddFile(PathOf({u"docs"}), u"report");
    // ".." and a real "_.." both become "_.." when made safe.
    plan.AddFile(PathOf({u".."}), u"x");
    plan.AddFile(PathOf({u"_.."}), u"y");
    // "a\b" is one folder, and not "a" with "b" in it.
    plan.AddFile(PathOf({u"a\\b"}), u"c.txt");
    plan.AddFile(PathOf({u"a", u"b"}), u"c.txt");
    const std::pair<FolderPath, std::u16string> cases[] = {
        {PathOf({u"docs", u"report"}), u"docs/report (1)/"},
        {PathOf({u".."}), u"_../"},
        {PathOf({u"_.."}), u"_.. (1)/"},
        {PathOf({u".."}), u"_../"},  // the same folder always lands in the same place
        {PathOf({u"a\\b"}), u"a\\b/"},
        {PathOf({u"a", u"b"}), u"a/b/"},
        {FolderPath(), u""},
    };
    for (const auto& [folder, relative] : cases)
        EXPECT_EQ(ToUtf8(plan.Relative(plan.Folder(folder))), ToUtf8(relative));
    EXPECT_EQ(plan.Folder(PathOf({u"docs", u"report"})), inReport);
}

TEST(TargetFolders, ChosenFilesOfTheListKeepTheirNamesFromFoldersBesideThem) {
    // Declared by their entries, their names made only when a folder is placed beside them.
    std::vector<DeletedFile> files(4);
    files[0].name = u"report";
    files[0].folder = PathOf({u"docs"});
    files[1].record = 77;  // no name: written as "record-77"
    files[1].folder = PathOf({u"docs"});
    files[2].name = u"a.txt";
    files[2].folder = PathOf({u"docs", u"report"});
    files[3].name = u"..";  // made safe: "_.."
    files[3].folder = PathOf({u"docs"});
    TargetFolders plan;
    for (const DeletedFile& file : files)
        plan.AddFile(file);
    plan.AddFile(PathOf({u"docs"}), u"notes");  // a name given as before, in the same folder
    const std::pair<FolderPath, std::u16string> cases[] = {
        {PathOf({u"docs", u"report"}), u"docs/report (1)/"},
        {PathOf({u"docs", u"record-77"}), u"docs/record-77 (1)/"},
        {PathOf({u"docs", u"_.."}), u"docs/_.. (1)/"},
        {PathOf({u"docs", u"notes"}), u"docs/notes (1)/"},
        {PathOf({u"docs", u"a.txt"}), u"docs/a.txt/"},  // a.txt lies one folder lower
        {PathOf({u"docs", u"report"}), u"docs/report (1)/"},
    };
    for (const auto& [folder, relative] : cases)
        EXPECT_EQ(ToUtf8(plan.Relative(plan.Folder(folder))), ToUtf8(relative));
}

TEST(TargetFolders, AFolderRenumberedOnDiskTakesItsSubfoldersAlong) {
    TargetFolders plan;
    plan.AddFile(PathOf({u"a", u"b"}), u"f");
    const TargetFolders::Id b = plan.Folder(PathOf({u"a", u"b"}));
    const TargetFolders::Id a = plan.Parent(b);
    EXPECT_EQ(plan.Renumber(a), u"a (1)/");
    EXPECT_EQ(plan.Relative(b), u"a (1)/b/");
    EXPECT_EQ(plan.Renumber(a), u"a (2)/");
}

bool IsDir(const std::string& p) {  // and not a link to one
    return std::filesystem::is_directory(std::filesystem::symlink_status(p));
}

struct Paths : ::testing::Test {
    std::string root = test::MakeTempDir("qvout");  // a fresh folder per test
    std::string dest = root + "/dest/";
    ProgressDialog progress;
    test::ScriptedPrompts prompts;
    OutputPaths paths{FromUtf8(dest), ExistingFile::kAsk, prompts, progress};
};

TEST_F(Paths, CreatePathMakesEveryMissingLevelOrPassesTheAnswerBack) {
    EXPECT_EQ(paths.CreatePath(FromUtf8(dest + "docs/old"), Prompt::kAbortRetryIgnore), 0);
    EXPECT_TRUE(IsDir(dest + "docs/old"));
    // Existing folders raise no question.
    EXPECT_EQ(paths.CreatePath(FromUtf8(dest + "docs/old/"), Prompt::kAbortRetryIgnore), 0);
    EXPECT_EQ(paths.CreatePath(u"/", Prompt::kRetryCancel), 0);
    EXPECT_TRUE(prompts.asked.empty());
}

TEST_F(Paths, AFolderThatCannotBeMadeAsksAndRetryWorksOnceTheCauseIsGone) {
    ASSERT_EQ(paths.CreatePath(FromUtf8(dest), Prompt::kRetryCancel), 0);
    std::filesystem::create_directory(root + "/elsewhere");
    TargetFolders plan;
    const FolderPath sub = FolderPath().Child(u"blocker").Child(u"sub");
    plan.AddFile(sub, u"a.txt");
    const TargetFolders::Id id = plan.Folder(sub);
    // "blocker" was made earlier in the run and has been swapped for a link since.
    plan.SetMade(plan.Parent(id));
    std::filesystem::create_directory_symlink(root + "/elsewhere", dest + "blocker");
    prompts.answers = {kIdRetry};
    prompts.onAsk = [&] {
        std::filesystem::remove(dest + "blocker");
        std::filesystem::create_directory(dest + "blocker");
    };
    EXPECT_EQ(paths.MakeTargetFolder(plan, id), 0);
    ASSERT_EQ(prompts.asked.size(), 1u);
    EXPECT_EQ(ToUtf8(prompts.asked[0].text),
              "Create folder " + dest + "blocker/sub/ failed, continue?");
    EXPECT_EQ(prompts.asked[0].buttons, PromptButtons::kAbortRetryIgnore);
    EXPECT_EQ(paths.LastError(), ELOOP);
    EXPECT_TRUE(IsDir(dest + "blocker/sub"));
    EXPECT_FALSE(PathExists(root + "/elsewhere/sub"));
}

TEST_F(Paths, NothingIsMadeOrWrittenThroughASymbolicLinkPlantedInTheDestination) {
    ASSERT_EQ(paths.CreatePath(FromUtf8(dest), Prompt::kRetryCancel), 0);
    std::filesystem::create_directory(root + "/outside");
    std::filesystem::create_directory_symlink(root + "/outside", dest + "docs");
    std::filesystem::create_symlink(root + "/outside/victim", dest + "file.txt");
    std::ofstream(root + "/outside/victim") << "precious";
    prompts.answers = {kIdIgnore};
    EXPECT_EQ(paths.CreatePath(FromUtf8(dest + "docs/sub/"), Prompt::kAbortRetryIgnore), kIdIgnore);
    EXPECT_EQ(paths.LastError(), EEXIST);  // a link is not a folder
    EXPECT_FALSE(PathExists(root + "/outside/sub"));
    OutputPaths overwrite(FromUtf8(dest), ExistingFile::kOverwrite, prompts, progress);
    for (const char* name : {"file.txt", "docs/x.txt"}) {
        File file;
        std::u16string target = FromUtf8(dest + name);
        prompts.answers = {kIdIgnore};
        EXPECT_EQ(overwrite.OpenTarget(file, target, u"x"), kIdIgnore) << name;
        EXPECT_FALSE(file.IsOpen());
    }
    EXPECT_EQ(test::ReadText(root + "/outside/victim"), "precious");
    EXPECT_FALSE(PathExists(root + "/outside/x.txt"));
}

TEST_F(Paths, AnExistingTargetIsOverwrittenSkippedOrRenamedAsAskedOrAsTheRuleSays) {
    constexpr auto kAsk = ExistingFile::kAsk;
    constexpr int kSkipped = kIdIgnore, kStopped = OutputPaths::kStopped;
    // The rule, the answers (one question asked each) and the save dialog's paths, whether Stop
    // is pressed when asked; what OpenTarget gives and the target then, below the destination.
    using Answers = std::vector<int>;
    using SavePaths = std::vector<std::optional<std::u16string>>;
    using Case = std::tuple<const char*, ExistingFile, Answers, SavePaths, bool, int, std::string>;
    const Case cases[] = {
        {"Yes overwrites", kAsk, {kIdYes}, {}, false, 0, "a.txt"},
        {"Cancel skips", kAsk, {kIdCancel}, {}, false, kSkipped, "a.txt"},
        {"No: another name, asked again", kAsk, {kIdNo, kIdNo}, {{}, u"b.txt"}, false, 0, "b.txt"},
        {"Stop while the question is open", kAsk, {kIdYes}, {}, true, kStopped, "a.txt"},
        {"the overwrite rule", ExistingFile::kOverwrite, {}, {}, false, 0, "a.txt"},
        {"the skip rule", ExistingFile::kSkip, {}, {}, false, kSkipped, "a.txt"},
        {"the rename rule", ExistingFile::kRename, {}, {}, false, 0, "a (2).txt"},
    };
    for (const auto& [what, rule, answers, savePaths, stopWhenAsked, result, target] : cases) {
        SCOPED_TRACE(what);
        std::filesystem::remove_all(dest);
        std::filesystem::create_directories(dest);
        std::ofstream(dest + "a.txt") << "old";
        std::ofstream(dest + "a (1).txt") << "taken";
        ProgressDialog run;
        test::ScriptedPrompts asked;
        asked.answers.assign(answers.begin(), answers.end());
        asked.savePaths.assign(savePaths.begin(), savePaths.end());
        if (stopWhenAsked) asked.onAsk = [&] { run.Stop(); };
        OutputPaths opener(FromUtf8(dest), rule, asked, run);
        File file;
        std::u16string path = FromUtf8(dest + "a.txt");
        EXPECT_EQ(opener.OpenTarget(file, path, u"a.txt"), result);
        EXPECT_EQ(ToUtf8(path), dest + target);
        EXPECT_EQ(file.IsOpen(), result == 0);
        ASSERT_EQ(asked.asked.size(), answers.size());
        for (const auto& question : asked.asked) {
            EXPECT_EQ(ToUtf8(question.text), dest + "a.txt existed, Overwrite?");
            EXPECT_EQ(question.caption, u"Warnning");
            EXPECT_EQ(question.buttons, PromptButtons::kYesNoCancel);
        }
        // A save dialog per No, each in the file's own folder, offering its name.
        EXPECT_EQ(asked.saveDialogs, std::vector<std::u16string>(savePaths.size(), u"a.txt"));
        EXPECT_EQ(asked.saveFolders, std::vector(savePaths.size(), FromUtf8(dest)));
        if (file.IsOpen()) {
            ASSERT_TRUE(file.Write("new", 3));
            file.Close();
            EXPECT_EQ(test::ReadText(dest + target), "new");
        }
        EXPECT_EQ(test::ReadText(dest + "a.txt"), result == 0 && target == "a.txt" ? "new" : "old");
        EXPECT_EQ(test::ReadText(dest + "a (1).txt"), "taken");
    }
}

TEST_F(Paths, AfterStopNothingIsMadeOrOpened) {
    progress.Stop();
    EXPECT_EQ(paths.CreatePath(FromUtf8(dest + "x/"), Prompt::kAbortRetryIgnore), 0);
    EXPECT_FALSE(PathExists(dest));
    File file;
    std::u16string target = FromUtf8(root + "/new.txt");
    EXPECT_EQ(paths.OpenTarget(file, target, u"new.txt"), OutputPaths::kStopped);
    EXPECT_FALSE(PathExists(root + "/new.txt"));
}

}  // namespace
}  // namespace qv
