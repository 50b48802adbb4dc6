// Folders and target files of a recovery: what gets made, and what is asked when it cannot be.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "app/ProgressDialog.h"
#include "platform/File.h"
#include "platform/Text.h"
#include "recovery/OutputPaths.h"
#include "recovery/TargetFolders.h"
#include "support/FakeFrontEnd.h"
#include "support/Fixtures.h"

namespace qv {
namespace {

using Prompt = OutputPaths::FolderPrompt;
using test::PathExists;

bool IsDir(const std::string& p) {
    struct stat st {};
    return ::lstat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
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
    prompts.answers = {kIdCancel};
    EXPECT_EQ(paths.CreatePath(u"/proc/quorvane-cannot-be-here/", Prompt::kRetryCancel), kIdCancel);
    ASSERT_EQ(prompts.asked.size(), 1u);
    EXPECT_EQ(prompts.asked[0].buttons, PromptButtons::kRetryCancel);
    EXPECT_EQ(paths.LastError(), ENOENT);
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
    const struct {
        const char* what;
        ExistingFile rule;
        std::vector<int> answers;
        std::vector<std::optional<std::u16string>> savePaths;
        bool stopWhenAsked;
        int result;
        std::string target;  // after the call, in the destination
        size_t asked;
    } cases[] = {
        {"Yes overwrites", ExistingFile::kAsk, {kIdYes}, {}, false, 0, "a.txt", 1},
        {"Cancel skips", ExistingFile::kAsk, {kIdCancel}, {}, false, kIdIgnore, "a.txt", 1},
        {"No asks for another name, again when that is cancelled",
         ExistingFile::kAsk,
         {kIdNo, kIdNo},
         {std::nullopt, u"b.txt"},
         false,
         0,
         "b.txt",
         2},
        {"Stop while the question is open",
         ExistingFile::kAsk,
         {kIdYes},
         {},
         true,
         OutputPaths::kStopped,
         "a.txt",
         1},
        {"the overwrite rule", ExistingFile::kOverwrite, {}, {}, false, 0, "a.txt", 0},
        {"the skip rule", ExistingFile::kSkip, {}, {}, false, kIdIgnore, "a.txt", 0},
        {"the rename rule", ExistingFile::kRename, {}, {}, false, 0, "a (2).txt", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(dest);
        std::filesystem::create_directories(dest);
        std::ofstream(dest + "a.txt") << "old";
        std::ofstream(dest + "a (1).txt") << "taken";
        ProgressDialog run;
        test::ScriptedPrompts asked;
        asked.answers.assign(c.answers.begin(), c.answers.end());
        asked.savePaths.assign(c.savePaths.begin(), c.savePaths.end());
        if (c.stopWhenAsked) asked.onAsk = [&] { run.Stop(); };
        OutputPaths target(FromUtf8(dest), c.rule, asked, run);
        File file;
        std::u16string path = FromUtf8(dest + "a.txt");
        EXPECT_EQ(target.OpenTarget(file, path, u"a.txt"), c.result);
        EXPECT_EQ(ToUtf8(path), dest + c.target);
        EXPECT_EQ(file.IsOpen(), c.result == 0);
        ASSERT_EQ(asked.asked.size(), c.asked);
        if (c.asked > 0) {
            EXPECT_EQ(ToUtf8(asked.asked[0].text), dest + "a.txt existed, Overwrite?");
            EXPECT_EQ(asked.asked[0].caption, u"Warnning");
            EXPECT_EQ(asked.asked[0].buttons, PromptButtons::kYesNoCancel);
        }
        // The save dialog opens in the file's own folder, offering its name.
        for (size_t i = 0; i < asked.saveDialogs.size(); ++i) {
            EXPECT_EQ(asked.saveDialogs[i], u"a.txt");
            EXPECT_EQ(ToUtf8(asked.saveFolders[i]), dest);
        }
        if (file.IsOpen()) {
            ASSERT_TRUE(file.Write("new", 3));
            file.Close();
            EXPECT_EQ(test::ReadText(dest + c.target), "new");
        }
        EXPECT_EQ(test::ReadText(dest + "a.txt"),
                  c.result == 0 && c.target == "a.txt" ? "new" : "old");
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
