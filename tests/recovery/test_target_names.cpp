// Names on the destination: made safe, numbered, and folders planned so nothing merges.
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/Text.h"
#include "recovery/TargetFolders.h"
#include "recovery/TargetNames.h"
#include "support/ScanHarness.h"

namespace qv {
namespace {

using test::PathOf;

TEST(TargetNames, ComponentsThatCouldLeaveTheDestinationAreMadeSafe) {
    const struct {
        std::u16string name, safe;
    } cases[] = {
        {u"", u"_"},
        {u".", u"_."},
        {u"..", u"_.."},
        {u"a/b", u"a_b"},
        {std::u16string(u"nul\0here", 8), u"nul_here"},
        {u"...hidden", u"...hidden"},  // only the exact names are special
        {u"a\\b", u"a\\b"},            // a backslash is an ordinary character on Linux
        {u"report.txt", u"report.txt"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ToUtf8(SafeComponent(c.name)), ToUtf8(c.safe)) << ToUtf8(c.name);
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
        EXPECT_EQ(ToUtf8(TidyDestination(c.typed)), ToUtf8(c.tidy)) << ToUtf8(c.typed);
}

TEST(TargetNames, NumberedNamesKeepTheExtension) {
    EXPECT_EQ(NumberedName(u"report.txt", 1), u"report (1).txt");
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
    const struct {
        FolderPath folder;
        std::u16string relative;
    } cases[] = {
        {PathOf({u"docs", u"report"}), u"docs/report (1)/"},
        {PathOf({u".."}), u"_../"},
        {PathOf({u"_.."}), u"_.. (1)/"},
        {PathOf({u".."}), u"_../"},  // the same folder always lands in the same place
        {PathOf({u"a\\b"}), u"a\\b/"},
        {PathOf({u"a", u"b"}), u"a/b/"},
        {FolderPath(), u""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ToUtf8(plan.Relative(plan.Folder(c.folder))), ToUtf8(c.relative));
    EXPECT_EQ(plan.Folder(PathOf({u"docs", u"report"})), inReport);
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

}  // namespace
}  // namespace qv
