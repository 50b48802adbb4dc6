// The filters both front ends share: the values a user types, the glob, and which files match.
#include <gtest/gtest.h>

#include "app/FileFilter.h"
#include "platform/Text.h"
#include "support/FakeFrontEnd.h"
#include "support/ScanHarness.h"

namespace qv {
namespace {

TEST(FilterValues, SizesAreBytesOrPowersOf1024AndEveryBadTextIsNamed) {
    const std::pair<const char16_t*, uint64_t> cases[] = {
        {u"0", 0},        {u"1234", 1234},         {u"10k", 10240},           {u"10K", 10240},
        {u"10KB", 10240}, {u"5M", 5 * 1048576ull}, {u"5MiB", 5 * 1048576ull}, {u"1G", 1ull << 30},
        {u"1.5k", 1536},  {u" 2T ", 2ull << 40},
    };
    for (const auto& [text, bytes] : cases) {
        const auto size = ParseSize(text);
        ASSERT_TRUE(size.ok()) << ToUtf8(text);
        EXPECT_EQ(*size, bytes) << ToUtf8(text);
    }
    // 2^64 twice; "1.5" is a fraction of a byte.
    for (const char16_t* bad : {u"18446744073709551616", u"16777216T", u"", u"k", u"1.5", u".",
                                u"10x", u"-1", u"1kk", u"1,5k"}) {
        const auto size = ParseSize(bad);
        ASSERT_FALSE(size.ok()) << ToUtf8(bad);
        EXPECT_EQ(size.error().code, kErrBadValue);
        EXPECT_NE(size.error().cause.find("\"" + ToUtf8(bad) + "\""), std::string::npos)
            << size.error().cause;
    }
}

TEST(FilterValues, DatesAreLocalTimeInThreeFormsAndImpossibleDatesAreRefused) {
    test::Zone berlin("Europe/Berlin");
    const std::pair<const char16_t*, int64_t> cases[] = {
        {u"2024-03-01", 1709247600},  // midnight in Berlin, UTC+1
        {u"2024-03-01 14:30", 1709299800},    {u"2024-03-01T14:30:00", 1709299800},
        {u"2024-07-01T00:00:01", 1719784801},  // summer time, UTC+2
        {u"1960-01-01", -315622800},          {u"2024-02-29", 1709161200},
    };
    for (const auto& [text, seconds] : cases) {
        const auto time = ParseDate(text);
        ASSERT_TRUE(time.ok()) << ToUtf8(text);
        EXPECT_EQ(time->Seconds(), seconds) << ToUtf8(text);
    }
    for (const char16_t* bad :
         {u"2023-02-29", u"2024-13-01", u"2024-03-01 24:00", u"2024-03-01 14:60", u"2024-03-01 14",
          u"2024-03-01T14:30:00Z", u"2024/03/01", u"01.03.2024", u""}) {
        const auto time = ParseDate(bad);
        ASSERT_FALSE(time.ok()) << ToUtf8(bad);
        EXPECT_NE(time.error().cause.find(ToUtf8(bad)), std::string::npos);
    }
}

TEST(FilterValues, TypesAndStates) {
    EXPECT_EQ(*ParseTypes(u"jpg, PNG,.Pdf"), (std::vector<std::u16string>{u"jpg", u"png", u"pdf"}));
    for (const char16_t* bad : {u"", u"jpg,", u",", u".", u"tar.gz"})
        EXPECT_FALSE(ParseTypes(bad).ok()) << ToUtf8(bad);
    using S = FileState;
    const std::pair<const char16_t*, StateSet> cases[] = {
        {u"intact", StateBit(S::kIntact)},
        {u"Resident,UNKNOWN", StateBit(S::kResident) | StateBit(S::kUnknown)},
        {u"partly overwritten", StateBit(S::kPartlyOverwritten)},
        {u"partly-overwritten,overwritten",
         StateBit(S::kPartlyOverwritten) | StateBit(S::kOverwritten)},
        {u"partly", StateBit(S::kPartlyOverwritten)},
        {u"partial", 0},  // 0: refused
        {u"intact,", 0},
    };
    for (const auto& [text, states] : cases) {
        const auto parsed = ParseStates(text);
        ASSERT_EQ(parsed.ok(), states != 0) << ToUtf8(text);
        EXPECT_EQ(parsed.ok() ? *parsed : StateSet{0}, states) << ToUtf8(text);
    }
    EXPECT_NE(ParseStates(u"intact,gone").error().cause.find("\"gone\""), std::string::npos);
}

TEST(Glob, MatchesWholeTextsCaseInsensitively) {
    const std::tuple<const char16_t*, const char16_t*, bool> cases[] = {
        {u"*.csv", u"sales-2023.csv", true},
        {u"*.csv", u"SALES.CSV", true},
        {u"*.csv", u"sales.csv.bak", false},
        {u"sales*", u"sales", true},
        {u"*", u"", true},
        {u"?", u"", false},
        {u"a?c", u"abc", true},
        {u"a?c", u"ac", false},
        {u"*a*b*c*", u"xxaxxbxxcxx", true},
        {u"*a*b*c*", u"xxaxxcxxbxx", false},
        {u"[a-c]*", u"Beta", true},
        {u"[!a-c]*", u"beta", false},
        {u"[^a-c]*", u"delta", true},
        {u"[]]", u"]", true},
        {u"[*]", u"*", true},
        {u"[*]", u"x", false},
        {u"[ab", u"[ab", true},                     // unclosed: plain text
        {u"\u00c4rger*", u"\u00e4rger.txt", true},  // Latin-1
        {u"\u041e\u0422\u0427\u0401\u0422", u"\u043e\u0442\u0447\u0451\u0442", true},  // Cyrillic
        {u"\u0141\u00f3d\u017a", u"\u0142\u00d3D\u0179", true},  // Latin Extended-A
        {u"\u03a3*", u"\u03c3\u03bf\u03c6\u03b9\u03b1", true},   // Greek
        {u"\u65e5*", u"\u65e5\u8a18.txt", true},
        {u"*\\reports\\*", u"docs\\Reports\\2023", true},
    };
    for (const auto& [pattern, text, matches] : cases)
        EXPECT_EQ(Glob(pattern).Matches(text), matches)
            << ToUtf8(pattern) << " on " << ToUtf8(text);
    // Many stars over a long text that fails: linear (backtracking would not finish).
    EXPECT_FALSE(Glob(u"*a*a*a*a*a*a*a*a*a*a*b").Matches(std::u16string(5000, u'a')));
}

DeletedFile File(std::u16string name, std::vector<std::u16string> folders, bool rooted,
                 uint64_t size, int64_t deleted, FileState state) {
    DeletedFile file;
    file.name = std::move(name);
    file.folder = test::PathOf(folders);
    file.rooted = rooted;
    file.size = size;
    if (deleted >= 0) file.deleted = CTime::FromUnix(deleted);
    file.state = state;
    return file;
}

// Two patterns, either of which may match.
std::vector<std::u16string> Either(const char16_t* a, const char16_t* b) {
    return {a, b};
}

TEST(FileFilter, EveryConditionMustHold) {
    const std::vector<DeletedFile> files = {
        File(u"sales-2023.csv", {u"Documents", u"Reports"}, true, 26105, 1000, FileState::kIntact),
        File(u"Holiday.PNG", {u"Pictures"}, true, 7258, 2000, FileState::kPartlyOverwritten),
        File(u"notes.html", {u"Documents"}, true, 253, 3000, FileState::kResident),
        File(u"orphan.csv", {u"Lost", u"Reports"}, false, 0, -1, FileState::kUnknown),
        File(u"boot.ini", {}, true, 1024, 4000, FileState::kOverwritten),
    };
    // Which of the files above each filter takes, as a string of 0/1.
    using F = FileFilter&;
    using S = FileState;
    const std::tuple<const char*, void (*)(FileFilter&), const char*> cases[] = {
        {"nothing set", [](F) {}, "11111"},
        {"name", [](F f) { f.SetNames({u"*.CSV"}); }, "10010"},
        {"either name", [](F f) { f.SetNames(Either(u"h*", u"n*")); }, "01100"},
        {"either type", [](F f) { f.SetTypes(Either(u"png", u"ini")); }, "01001"},
        {"folder", [](F f) { f.SetPaths({u"Documents"}); }, "00100"},
        {"below a folder", [](F f) { f.SetPaths({u"/documents/*"}); }, "10100"},
        {"with the letter", [](F f) { f.SetPaths({u"C:\\Documents\\?*"}); }, "10000"},
        {"root and below", [](F f) { f.SetPaths({u"c:/*"}); }, "11101"},
        {"other letter", [](F f) { f.SetPaths({u"D:\\*"}); }, "00000"},
        {"any folder named", [](F f) { f.SetPaths({u"*Reports"}); }, "10010"},
        {"the root", [](F f) { f.SetPaths({u"/"}); }, "00001"},
        {"min size", [](F f) { f.SetMinSize(1024); }, "11001"},
        {"max size", [](F f) { f.SetMaxSize(1024); }, "00111"},
        {"deleted after", [](F f) { f.SetDeletedAfter(CTime::FromUnix(2000)); }, "01101"},
        {"deleted before", [](F f) { f.SetDeletedBefore(CTime::FromUnix(2000)); }, "10000"},
        {"states", [](F f) { f.SetStates(StateBit(S::kIntact) | StateBit(S::kUnknown)); }, "10010"},
        {"search text in name", [](F f) { f.SetSearchText(u"SALES"); }, "10000"},
        {"search text in path", [](F f) { f.SetSearchText(u"reports\\"); }, "10010"},
        {"search letter", [](F f) { f.SetSearchText(u"c:\\"); }, "11101"},
        {"search glob", [](F f) { f.SetSearchText(u"*.png"); }, "01000"},
        {"glob over path and name", [](F f) { f.SetSearchText(u"*reports\\*.csv"); }, "10010"},
        {"all together",
         [](F f) {
             f.SetNames({u"*"});
             f.SetTypes({u"csv"});
             f.SetPaths({u"*"});
             f.SetMaxSize(30000);
             f.SetDeletedAfter(CTime::FromUnix(1000));
             f.SetStates(StateBit(S::kIntact));
         },
         "10000"},
    };
    for (const auto& [what, set, takes] : cases) {
        FileFilter filter;
        set(filter);
        EXPECT_EQ(filter.Empty(), std::string(what) == "nothing set") << what;
        std::string took;
        for (const DeletedFile& file : files)
            took += filter.Matches(file) ? '1' : '0';
        EXPECT_EQ(took, takes) << what;
    }
}

TEST(FileFilter, APathPatternFollowsTheLetterAndFoldersFreedAndRemade) {
    FileFilter filter;
    filter.SetPaths({u"E:/Docs"});
    EXPECT_FALSE(filter.Matches(File(u"a", {u"Docs"}, true, 0, 0, FileState::kIntact)));
    filter.SetLetter(u'E');
    EXPECT_TRUE(filter.Matches(File(u"a", {u"Docs"}, true, 0, 0, FileState::kIntact)));
    // A file of another folder made where a freed one lay must not get its cached verdict.
    for (int i = 0; i < 50; ++i) {
        EXPECT_TRUE(filter.Matches(File(u"a", {u"DOCS"}, true, 0, 0, FileState::kIntact)));
        EXPECT_FALSE(filter.Matches(File(u"a", {u"Other"}, true, 0, 0, FileState::kIntact)));
    }
}

}  // namespace
}  // namespace qv
