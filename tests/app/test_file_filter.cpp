// The filters both front ends share: the values a user types, the glob, and which files match.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "app/FileFilter.h"
#include "platform/Text.h"

namespace qv {
namespace {

TEST(FilterValues, SizesAreBytesOrPowersOf1024AndEveryBadTextIsNamed) {
    const struct {
        const char16_t* text;
        uint64_t bytes;  // 0 with ok false: refused
        bool ok;
    } cases[] = {
        {u"0", 0, true},
        {u"1234", 1234, true},
        {u"10k", 10240, true},
        {u"10K", 10240, true},
        {u"10KB", 10240, true},
        {u"5M", 5 * 1048576ull, true},
        {u"5MiB", 5 * 1048576ull, true},
        {u"1G", 1ull << 30, true},
        {u"1.5k", 1536, true},
        {u" 2T ", 2ull << 40, true},
        {u"18446744073709551616", 0, false},  // 2^64
        {u"16777216T", 0, false},             // 2^64
        {u"", 0, false},
        {u"k", 0, false},
        {u"1.5", 0, false},  // a fraction of a byte
        {u".", 0, false},
        {u"10x", 0, false},
        {u"-1", 0, false},
        {u"1kk", 0, false},
        {u"1,5k", 0, false},
    };
    for (const auto& c : cases) {
        const auto size = ParseSize(c.text);
        ASSERT_EQ(size.ok(), c.ok) << ToUtf8(c.text);
        if (c.ok) {
            EXPECT_EQ(*size, c.bytes) << ToUtf8(c.text);
        } else {
            EXPECT_EQ(size.error().code, kErrBadValue);
            EXPECT_NE(size.error().cause.find("\"" + ToUtf8(c.text) + "\""), std::string::npos)
                << size.error().cause;
        }
    }
}

TEST(FilterValues, DatesAreLocalTimeInThreeFormsAndImpossibleDatesAreRefused) {
    ::setenv("TZ", "Europe/Berlin", 1);
    ::tzset();
    const struct {
        const char16_t* text;
        int64_t seconds;  // -1: refused
    } cases[] = {
        {u"2024-03-01", 1709247600},  // midnight in Berlin, UTC+1
        {u"2024-03-01 14:30", 1709299800},
        {u"2024-03-01T14:30:00", 1709299800},
        {u"2024-07-01T00:00:01", 1719784801},  // summer time, UTC+2
        {u"1960-01-01", -315622800},
        {u"2024-02-29", 1709161200},
        {u"2023-02-29", -1},
        {u"2024-13-01", -1},
        {u"2024-03-01 24:00", -1},
        {u"2024-03-01 14:60", -1},
        {u"2024-03-01 14", -1},
        {u"2024-03-01T14:30:00Z", -1},
        {u"2024/03/01", -1},
        {u"01.03.2024", -1},
        {u"", -1},
    };
    for (const auto& c : cases) {
        const auto time = ParseDate(c.text);
        ASSERT_EQ(time.ok(), c.seconds != -1) << ToUtf8(c.text);
        if (time.ok())
            EXPECT_EQ(time->Seconds(), c.seconds) << ToUtf8(c.text);
        else
            EXPECT_NE(time.error().cause.find(ToUtf8(c.text)), std::string::npos);
    }
    ::unsetenv("TZ");
    ::tzset();
}

TEST(FilterValues, TypesAndStates) {
    EXPECT_EQ(*ParseTypes(u"jpg, PNG,.Pdf"), (std::vector<std::u16string>{u"jpg", u"png", u"pdf"}));
    for (const char16_t* bad : {u"", u"jpg,", u",", u".", u"tar.gz"})
        EXPECT_FALSE(ParseTypes(bad).ok()) << ToUtf8(bad);
    const struct {
        const char16_t* text;
        StateSet states;  // 0: refused
    } states[] = {
        {u"intact", StateBit(FileState::kIntact)},
        {u"Resident,UNKNOWN", StateBit(FileState::kResident) | StateBit(FileState::kUnknown)},
        {u"partly overwritten", StateBit(FileState::kPartlyOverwritten)},
        {u"partly-overwritten,overwritten",
         StateBit(FileState::kPartlyOverwritten) | StateBit(FileState::kOverwritten)},
        {u"partly", StateBit(FileState::kPartlyOverwritten)},
        {u"partial", 0},
        {u"intact,", 0},
    };
    for (const auto& c : states) {
        const auto parsed = ParseStates(c.text);
        ASSERT_EQ(parsed.ok(), c.states != 0) << ToUtf8(c.text);
        if (parsed.ok()) {
            EXPECT_EQ(*parsed, c.states) << ToUtf8(c.text);
        }
    }
    EXPECT_NE(ParseStates(u"intact,gone").error().cause.find("\"gone\""), std::string::npos);
}

TEST(Glob, MatchesWholeTextsCaseInsensitively) {
    const struct {
        const char16_t* pattern;
        const char16_t* text;
        bool matches;
    } cases[] = {
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
    for (const auto& c : cases)
        EXPECT_EQ(Glob(c.pattern).Matches(c.text), c.matches)
            << ToUtf8(c.pattern) << " on " << ToUtf8(c.text);
    // Many stars over a long text that fails stays linear (a backtracking matcher would not
    // finish).
    EXPECT_FALSE(Glob(u"*a*a*a*a*a*a*a*a*a*a*b").Matches(std::u16string(5000, u'a')));
}

DeletedFile File(std::u16string name, std::vector<std::u16string> folders, bool rooted,
                 uint64_t size, int64_t deleted, FileState state) {
    DeletedFile file;
    file.name = std::move(name);
    for (auto& folder : folders)
        file.folder = file.folder.Child(std::move(folder));
    file.rooted = rooted;
    file.size = size;
    if (deleted >= 0) file.deleted = CTime::FromUnix(deleted);
    file.state = state;
    return file;
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
    const struct {
        const char* what;
        void (*set)(FileFilter&);
        const char* takes;
    } cases[] = {
        {"nothing set", [](FileFilter&) {}, "11111"},
        {"name", [](FileFilter& f) { f.SetNames({u"*.CSV"}); }, "10010"},
        {"either name",
         [](FileFilter& f) {
             f.SetNames({u"h*", u"n*"});
         },
         "01100"},
        {"type",
         [](FileFilter& f) {
             f.SetTypes({u"png", u"ini"});
         },
         "01001"},
        {"folder", [](FileFilter& f) { f.SetPaths({u"Documents"}); }, "00100"},
        {"below a folder", [](FileFilter& f) { f.SetPaths({u"/documents/*"}); }, "10000"},
        {"with the letter", [](FileFilter& f) { f.SetPaths({u"C:\\Documents\\*"}); }, "10000"},
        {"other letter", [](FileFilter& f) { f.SetPaths({u"D:\\*"}); }, "00000"},
        {"any folder named", [](FileFilter& f) { f.SetPaths({u"*Reports"}); }, "10010"},
        {"the root", [](FileFilter& f) { f.SetPaths({u"/"}); }, "00001"},
        {"min size", [](FileFilter& f) { f.SetMinSize(1024); }, "11001"},
        {"max size", [](FileFilter& f) { f.SetMaxSize(1024); }, "00111"},
        {"deleted after", [](FileFilter& f) { f.SetDeletedAfter(CTime::FromUnix(2000)); }, "01101"},
        {"deleted before", [](FileFilter& f) { f.SetDeletedBefore(CTime::FromUnix(2000)); },
         "10000"},
        {"states",
         [](FileFilter& f) {
             f.SetStates(StateBit(FileState::kIntact) | StateBit(FileState::kUnknown));
         },
         "10010"},
        {"search text in name", [](FileFilter& f) { f.SetSearchText(u"SALES"); }, "10000"},
        {"search text in path", [](FileFilter& f) { f.SetSearchText(u"reports\\"); }, "10010"},
        {"search letter", [](FileFilter& f) { f.SetSearchText(u"c:\\"); }, "11101"},
        {"search glob", [](FileFilter& f) { f.SetSearchText(u"*.png"); }, "01000"},
        {"search glob over path and name",
         [](FileFilter& f) { f.SetSearchText(u"*reports\\*.csv"); }, "10010"},
        {"all together",
         [](FileFilter& f) {
             f.SetNames({u"*"});
             f.SetTypes({u"csv"});
             f.SetPaths({u"*"});
             f.SetMaxSize(30000);
             f.SetDeletedAfter(CTime::FromUnix(1000));
             f.SetStates(StateBit(FileState::kIntact));
         },
         "10000"},
    };
    for (const auto& c : cases) {
        FileFilter filter;
        c.set(filter);
        EXPECT_EQ(filter.Empty(), std::string(c.what) == "nothing set") << c.what;
        std::string takes;
        for (const DeletedFile& file : files)
            takes += filter.Matches(file) ? '1' : '0';
        EXPECT_EQ(takes, c.takes) << c.what;
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
