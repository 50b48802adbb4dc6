#include <gtest/gtest.h>

#include "scan/DeletedFileEntry.h"

namespace qv {
namespace {

TEST(ResultRows, SizeInKilobytesRoundedUp) {
    EXPECT_EQ(SizeText(0), u"0 KB");
    EXPECT_EQ(SizeText(1), u"1 KB");
    EXPECT_EQ(SizeText(1024), u"1 KB");
    EXPECT_EQ(SizeText(1025), u"2 KB");
    EXPECT_EQ(SizeText(uint64_t{5} << 40), u"5368709120 KB");
}

TEST(ResultRows, TypeIsWhatFollowsTheLastDotUnlessItIsTheFirstCharacter) {
    EXPECT_EQ(TypeOf(u"archive.tar.gz"), u"gz");
    EXPECT_EQ(TypeOf(u"ends with a dot."), u"");
    EXPECT_EQ(TypeOf(u".bashrc"), u"");
    EXPECT_EQ(TypeOf(u"README"), u"");
    EXPECT_EQ(TypeOf(u""), u"");
}

TEST(ResultRows, ColumnsCompareByCodeUnitNumberAndTime) {
    DeletedFileEntry a, b;
    a.name = u"Beta";
    b.name = u"alpha";  // upper-case B (0x42) sorts before lower-case a (0x61)
    EXPECT_LT(CompareEntries(a, b, DeletedFileEntry::kName), 0);
    a.size = 10, b.size = 9;
    EXPECT_GT(CompareEntries(a, b, DeletedFileEntry::kSize), 0);
    a.created = CTime::FromUnix(100), b.created = CTime::FromUnix(100);
    EXPECT_EQ(CompareEntries(a, b, DeletedFileEntry::kCreated), 0);
    a.deleted = CTime::FromUnix(-5), b.deleted = CTime::FromUnix(5);
    EXPECT_LT(CompareEntries(a, b, DeletedFileEntry::kDeleted), 0);
    a.path = u"C:\\\u00e9", b.path = u"C:\\z";  // é (0xE9) after z (0x7A)
    EXPECT_GT(CompareEntries(a, b, DeletedFileEntry::kPath), 0);
}

TEST(ResultRows, TimesShowInLocalTimeAndNothingWhenUnset) {
    DeletedFileEntry e;
    EXPECT_EQ(e.ColumnText(DeletedFileEntry::kCreated), u"");
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    e.created = CTime::FromUnix(1204725787);  // 2008-03-05 14:03:07 UTC
    EXPECT_EQ(e.ColumnText(DeletedFileEntry::kCreated), u"2008-03-05 14:03");
    ::setenv("TZ", "Asia/Kolkata", 1);
    ::tzset();
    EXPECT_EQ(e.ColumnText(DeletedFileEntry::kCreated), u"2008-03-05 19:33");
    ::unsetenv("TZ");
    ::tzset();
}

}  // namespace
}  // namespace qv
