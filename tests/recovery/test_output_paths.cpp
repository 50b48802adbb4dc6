// Folders and target files of a recovery: what gets made, and what is asked when it cannot be.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "app/ProgressDialog.h"
#include "app/WorkerContext.h"
#include "platform/File.h"
#include "platform/Text.h"
#include "recovery/TargetFolders.h"
#include "support/FakeFrontEnd.h"

namespace qv {
namespace {

using Folder = WorkerContext::FolderPrompt;

bool IsDir(const std::string& p) {
    struct stat st {};
    return ::lstat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}
bool Exists(const std::string& p) {
    struct stat st {};
    return ::lstat(p.c_str(), &st) == 0;
}
std::string Slurp(const std::string& p) {
    std::ifstream in(p);
    return std::string(std::istreambuf_iterator<char>(in), {});
}
void Write(const std::string& p, const std::string& text) {
    std::ofstream(p) << text;
}

struct OutputPaths : ::testing::Test {
    std::string root;  // a fresh folder per test
    ProgressDialog progress;
    test::ScriptedPrompts prompts;
    WorkerContext context;

    void SetUp() override {
        std::string pattern = ::testing::TempDir() + "qvout-XXXXXX";
        root = ::mkdtemp(pattern.data());
        context.progress = &progress;
        context.prompts = &prompts;
        context.destination = FromUtf8(root + "/dest/");
    }
    std::u16string U(const std::string& s) { return FromUtf8(s); }
};

TEST_F(OutputPaths, CreatePathMakesEveryMissingLevelAndAddsTheSlash) {
    EXPECT_EQ(context.CreatePath(U(root + "/dest/docs/old"), Folder::kAbortRetryIgnore), 0);
    EXPECT_TRUE(IsDir(root + "/dest/docs/old"));
    // Existing folders raise no question.
    EXPECT_EQ(context.CreatePath(U(root + "/dest/docs/old/"), Folder::kAbortRetryIgnore), 0);
    EXPECT_EQ(context.CreatePath(u"/", Folder::kRetryCancel), 0);
    EXPECT_TRUE(prompts.asked.empty());
}

TEST_F(OutputPaths, AFileInTheWayOfAFolderGivesTheFolderANumberedName) {
    ASSERT_EQ(context.CreatePath(context.destination, Folder::kRetryCancel), 0);
    Write(root + "/dest/docs", "in the way");
    TargetFolders plan;
    plan.AddFile({u"docs", u"old"}, u"a.txt");
    const TargetFolders::Id old = plan.Folder({u"docs", u"old"});
    EXPECT_EQ(context.MakeTargetFolder(plan, old), 0);
    EXPECT_TRUE(prompts.asked.empty());
    EXPECT_EQ(plan.Relative(old), u"docs (1)/old/");
    EXPECT_TRUE(IsDir(root + "/dest/docs (1)/old"));
    EXPECT_EQ(Slurp(root + "/dest/docs"), "in the way");
}

TEST_F(OutputPaths, FolderThatCannotBeMadeAsksAndRetryWorksOnceTheCauseIsGone) {
    ASSERT_EQ(context.CreatePath(context.destination, Folder::kRetryCancel), 0);
    ::mkdir((root + "/elsewhere").c_str(), 0777);
    TargetFolders plan;
    plan.AddFile({u"blocker", u"sub"}, u"a.txt");
    const TargetFolders::Id sub = plan.Folder({u"blocker", u"sub"});
    // "blocker" was made earlier in the run and has been swapped for a link since.
    plan.SetMade(plan.Parent(sub));
    ASSERT_EQ(::symlink((root + "/elsewhere").c_str(), (root + "/dest/blocker").c_str()), 0);
    prompts.answers = {kIdRetry};
    prompts.onAsk = [&] {
        ::unlink((root + "/dest/blocker").c_str());
        ::mkdir((root + "/dest/blocker").c_str(), 0777);
    };
    EXPECT_EQ(context.MakeTargetFolder(plan, sub), 0);
    ASSERT_EQ(prompts.asked.size(), 1u);
    EXPECT_EQ(ToUtf8(prompts.asked[0].text),
              "Create folder " + root + "/dest/blocker/sub/ failed, continue?");
    EXPECT_EQ(prompts.asked[0].buttons, PromptButtons::kAbortRetryIgnore);
    EXPECT_EQ(context.lastError, ELOOP);
    EXPECT_TRUE(IsDir(root + "/dest/blocker/sub"));
    EXPECT_FALSE(Exists(root + "/elsewhere/sub"));
}

TEST_F(OutputPaths, TheAnswerOfAFolderQuestionIsPassedBack) {
    prompts.answers = {kIdCancel};
    context.destination = u"/proc/quorvane-cannot-be-here/";
    EXPECT_EQ(context.CreatePath(context.destination, Folder::kRetryCancel), kIdCancel);
    ASSERT_EQ(prompts.asked.size(), 1u);
    EXPECT_EQ(prompts.asked[0].buttons, PromptButtons::kRetryCancel);
}

TEST_F(OutputPaths, NothingIsFollowedThroughASymbolicLinkPlantedInTheDestination) {
    ASSERT_EQ(context.CreatePath(context.destination, Folder::kRetryCancel), 0);
    ::mkdir((root + "/outside").c_str(), 0777);
    ASSERT_EQ(::symlink((root + "/outside").c_str(), (root + "/dest/docs").c_str()), 0);
    ASSERT_EQ(::symlink((root + "/outside/victim").c_str(), (root + "/dest/file.txt").c_str()), 0);
    Write(root + "/outside/victim", "precious");

    prompts.answers = {kIdIgnore};
    EXPECT_EQ(context.CreatePath(U(root + "/dest/docs/sub/"), Folder::kAbortRetryIgnore),
              kIdIgnore);
    EXPECT_EQ(context.lastError, EEXIST);  // a link is not a folder
    EXPECT_FALSE(Exists(root + "/outside/sub"));

    File file;
    std::u16string target = U(root + "/dest/file.txt");
    context.existingFile = WorkerContext::ExistingFile::kOverwrite;
    prompts.answers = {kIdIgnore};
    EXPECT_EQ(context.OpenTarget(file, target, u"file.txt"), kIdIgnore);
    EXPECT_EQ(Slurp(root + "/outside/victim"), "precious");
    // A file inside a linked folder is refused too.
    std::u16string inside = U(root + "/dest/docs/x.txt");
    prompts.answers = {kIdIgnore};
    EXPECT_EQ(context.OpenTarget(file, inside, u"x.txt"), kIdIgnore);
    EXPECT_FALSE(Exists(root + "/outside/x.txt"));
}

struct Overwrite : OutputPaths {
    std::u16string target;
    void SetUp() override {
        OutputPaths::SetUp();
        ASSERT_EQ(context.CreatePath(context.destination, Folder::kRetryCancel), 0);
        Write(root + "/dest/a.txt", "old");
        target = U(root + "/dest/a.txt");
    }
    int Open(File& file) { return context.OpenTarget(file, target, u"a.txt"); }
};

TEST_F(Overwrite, YesOverwrites) {
    prompts.answers = {kIdYes};
    File file;
    ASSERT_EQ(Open(file), 0);
    ASSERT_EQ(prompts.asked.size(), 1u);
    EXPECT_EQ(ToUtf8(prompts.asked[0].text), root + "/dest/a.txt existed, Overwrite?");
    EXPECT_EQ(prompts.asked[0].caption, u"Warnning");
    EXPECT_EQ(prompts.asked[0].buttons, PromptButtons::kYesNoCancel);
    ASSERT_TRUE(file.Write("new", 3));
    file.Close();
    EXPECT_EQ(Slurp(root + "/dest/a.txt"), "new");
}

TEST_F(Overwrite, CancelSkipsTheFile) {
    prompts.answers = {kIdCancel};
    File file;
    EXPECT_EQ(Open(file), kIdIgnore);
    EXPECT_EQ(Slurp(root + "/dest/a.txt"), "old");
}

TEST_F(Overwrite, NoAsksForAnotherNameAndCancellingThatAsksAgain) {
    prompts.answers = {kIdNo, kIdNo};
    prompts.savePaths = {std::nullopt, u"b.txt"};
    File file;
    ASSERT_EQ(Open(file), 0);
    EXPECT_EQ(prompts.asked.size(), 2u);
    EXPECT_EQ(prompts.saveDialogs, (std::vector<std::u16string>{u"a.txt", u"a.txt"}));
    // The dialog opens in the file's own folder, not in the program's current one.
    EXPECT_EQ(ToUtf8(prompts.saveFolders[0]), root + "/dest/");
    EXPECT_EQ(ToUtf8(target), root + "/dest/b.txt");  // a bare name goes beside the first
    EXPECT_EQ(Slurp(root + "/dest/a.txt"), "old");
}

TEST_F(Overwrite, PoliciesAnswerWithoutAsking) {
    File file;
    context.existingFile = WorkerContext::ExistingFile::kSkip;
    EXPECT_EQ(Open(file), kIdIgnore);
    context.existingFile = WorkerContext::ExistingFile::kRename;
    Write(root + "/dest/a (1).txt", "taken");
    EXPECT_EQ(Open(file), 0);
    EXPECT_EQ(ToUtf8(target), root + "/dest/a (2).txt");
    EXPECT_TRUE(prompts.asked.empty());
}

TEST_F(Overwrite, StopPressedWhileTheQuestionIsOpenOpensAndTruncatesNothing) {
    prompts.answers = {kIdYes};
    prompts.onAsk = [&] { progress.Stop(); };
    File file;
    EXPECT_EQ(Open(file), WorkerContext::kStopped);
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(Slurp(root + "/dest/a.txt"), "old");
}

TEST_F(OutputPaths, AfterStopNothingIsMadeOrOpened) {
    progress.Stop();
    EXPECT_EQ(context.CreatePath(U(root + "/dest/x/"), Folder::kAbortRetryIgnore), 0);
    EXPECT_FALSE(Exists(root + "/dest"));
    File file;
    std::u16string target = U(root + "/new.txt");
    EXPECT_EQ(context.OpenTarget(file, target, u"new.txt"), WorkerContext::kStopped);
    EXPECT_FALSE(Exists(root + "/new.txt"));
}

}  // namespace
}  // namespace qv
