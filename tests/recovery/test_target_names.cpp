#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/Text.h"
#include "recovery/TargetFolders.h"
#include "recovery/TargetNames.h"

namespace qv {
namespace {

TEST(TargetNames, ComponentsThatCouldLeaveTheDestinationAreMadeSafe) {
    EXPECT_EQ(SafeComponent(u""), u"_");
    EXPECT_EQ(SafeComponent(u"."), u"_.");
    EXPECT_EQ(SafeComponent(u".."), u"_..");
    EXPECT_EQ(SafeComponent(u"a/b"), u"a_b");
    EXPECT_EQ(SafeComponent(std::u16string(u"nul\0here", 8)), u"nul_here");
    EXPECT_EQ(SafeComponent(u"...hidden"), u"...hidden");  // only the exact names are special
    EXPECT_EQ(SafeComponent(u"report.txt"), u"report.txt");
}

TEST(TargetNames, NamesLongerThanLinuxAllowsAreShortenedKeepingTheExtension) {
    // 255 UTF-16 characters of Cyrillic are 510 bytes of UTF-8.
    const std::u16string name = std::u16string(250, u'ж') + u".docx";
    const std::u16string safe = SafeComponent(name);
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

TEST(TargetNames, PathColumnGivesTheFolderNamesAsTheyStand) {
    using Names = std::vector<std::u16string>;
    EXPECT_EQ(FolderNames(u"C:\\"), Names{});
    EXPECT_EQ(FolderNames(u"C:\\docs\\old\\"), (Names{u"docs", u"old"}));
    EXPECT_EQ(FolderNames(u""), Names{});
    // Partial paths (the climb stopped below the root) are recreated as they stand.
    EXPECT_EQ(FolderNames(u"A\\B\\"), (Names{u"A", u"B"}));
    EXPECT_EQ(FolderNames(u"C:\\..\\x/y\\"), (Names{u"..", u"x/y"}));
}

TEST(TargetNames, DestinationIsTrimmedEndsInASlashAndBlankIsNone) {
    ::setenv("HOME", "/home/someone", 1);
    const struct {
        std::u16string typed, tidy;
    } cases[] = {
        {u"/tmp/out  ", u"/tmp/out/"},
        {u"\t/tmp/out/\r\n", u"/tmp/out/"},
        {u"/", u"/"},
        {u"   ", u""},  // no destination: refused, never "/"
        {u"", u""},
        {u"~", u"/home/someone/"},
        {u" ~/restored ", u"/home/someone/restored/"},
        {u"~root/x", u"/root/x/"},
        {u"~no-such-user-here/x", u"~no-such-user-here/x/"},
        {u"a~/b", u"a~/b/"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TidyDestination(c.typed), c.tidy) << ToUtf8(c.typed);
}

TEST(TargetFolders, NamesThatWouldMergeWhatTheVolumeKeepsApartAreNumbered) {
    TargetFolders plan;
    // A deleted file "report" beside a deleted folder "report", declared after the folder's
    // first file: the folder still yields.
    const TargetFolders::Id inReport = plan.AddFile({u"docs", u"report"}, u"a.txt");
    plan.AddFile({u"docs"}, u"report");
    // ".." and a real "_.." both become "_.." when made safe.
    plan.AddFile({u".."}, u"x");
    plan.AddFile({u"_.."}, u"y");
    EXPECT_EQ(plan.Relative(plan.Folder({u"docs", u"report"})), u"docs/report (1)/");
    EXPECT_EQ(plan.Folder({u"docs", u"report"}), inReport);
    EXPECT_EQ(plan.Relative(plan.Folder({u".."})), u"_../");
    EXPECT_EQ(plan.Relative(plan.Folder({u"_.."})), u"_.. (1)/");
    // The same folder always lands in the same place.
    EXPECT_EQ(plan.Relative(plan.Folder({u".."})), u"_../");
    EXPECT_EQ(plan.Relative(TargetFolders::kTop), u"");
}

TEST(TargetFolders, AFolderRenumberedOnDiskTakesItsSubfoldersAlong) {
    TargetFolders plan;
    plan.AddFile({u"a", u"b"}, u"f");
    const TargetFolders::Id b = plan.Folder({u"a", u"b"});
    const TargetFolders::Id a = plan.Parent(b);
    EXPECT_EQ(plan.Renumber(a), u"a (1)/");
    EXPECT_EQ(plan.Relative(b), u"a (1)/b/");
    EXPECT_EQ(plan.Renumber(a), u"a (2)/");
}

TEST(TargetNames, NumberedNamesKeepTheExtension) {
    EXPECT_EQ(NumberedName(u"report.txt", 1), u"report (1).txt");
    EXPECT_EQ(NumberedName(u"README", 2), u"README (2)");
    EXPECT_EQ(NumberedName(u".profile", 3), u".profile (3)");
}

}  // namespace
}  // namespace qv
