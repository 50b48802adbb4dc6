#include <gtest/gtest.h>

#include "platform/Text.h"
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

TEST(TargetNames, PathColumnBecomesAFolderBelowTheDestination) {
    EXPECT_EQ(FolderBelowDestination(u"C:\\"), u"");
    EXPECT_EQ(FolderBelowDestination(u"C:\\docs\\old\\"), u"docs/old/");
    EXPECT_EQ(FolderBelowDestination(u""), u"");
    // Partial paths (the climb stopped below the root) are recreated as they stand.
    EXPECT_EQ(FolderBelowDestination(u"A\\B\\"), u"A/B/");
    EXPECT_EQ(FolderBelowDestination(u"\\"), u"_/");
    EXPECT_EQ(FolderBelowDestination(u"C:\\..\\x/y\\"), u"_../x_y/");
}

TEST(TargetNames, DestinationIsTrimmedAndEndsInASlash) {
    EXPECT_EQ(TidyDestination(u"/tmp/out  "), u"/tmp/out/");
    EXPECT_EQ(TidyDestination(u"\t/tmp/out/\r\n"), u"/tmp/out/");
    EXPECT_EQ(TidyDestination(u"   "), u"/");
    EXPECT_EQ(TidyDestination(u"/"), u"/");
}

TEST(TargetNames, NumberedNamesKeepTheExtension) {
    EXPECT_EQ(NumberedName(u"report.txt", 1), u"report (1).txt");
    EXPECT_EQ(NumberedName(u"README", 2), u"README (2)");
    EXPECT_EQ(NumberedName(u".profile", 3), u".profile (3)");
}

}  // namespace
}  // namespace qv
