#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/ErrorCodes.h"
#include "platform/DriveTable.h"
#include "platform/File.h"
#include "platform/TempFile.h"
#include "platform/Text.h"

namespace qv {
namespace {

bool Exists(const std::u16string& path) {
    struct stat st {};
    return ::lstat(ToUtf8(path).c_str(), &st) == 0;
}

TEST(TempFile, PrivateNamedWithThePrefixAndRemovedWhenClosed) {
    std::u16string path;
    {
        File f;
        ASSERT_EQ(MakeTempFile(f, "NRM"), 0);
        path = f.Path();
        EXPECT_NE(ToUtf8(path).find("/NRM"), std::string::npos);
        EXPECT_EQ(ToUtf8(path).substr(ToUtf8(path).size() - 4), ".tmp");
        struct stat st {};
        ASSERT_EQ(::stat(ToUtf8(path).c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u);
        ASSERT_TRUE(f.Write("abc", 3));
        EXPECT_EQ(f.Length(), 3);
    }
    EXPECT_FALSE(Exists(path));
}

TEST(TempFile, FailsCleanlyWhenTheFolderIsMissing) {
    const char* old = std::getenv("TMPDIR");
    const std::string saved = old ? old : "";
    ::setenv("TMPDIR", "/nonexistent-quorvane-dir", 1);
    File f;
    EXPECT_EQ(MakeTempFile(f, "NRL"), kErrTempFile);
    EXPECT_FALSE(f.IsOpen());
    if (old)
        ::setenv("TMPDIR", saved.c_str(), 1);
    else
        ::unsetenv("TMPDIR");
}

TEST(File, ReadWriteSeekAndLength) {
    File f;
    ASSERT_EQ(MakeTempFile(f, "TST"), 0);
    ASSERT_TRUE(f.Write("hello world", 11));
    EXPECT_EQ(f.Seek(6), 6);
    char buf[16] = {};
    EXPECT_EQ(f.Read(buf, sizeof buf), 5);
    EXPECT_STREQ(buf, "world");
    char at[3] = {};
    EXPECT_EQ(f.ReadAt(0, at, 2), 2);
    EXPECT_EQ(std::string(at, 2), "he");
    // Offsets past 4 GiB are fine (the file stays sparse).
    EXPECT_EQ(f.Seek(int64_t{5} << 30), int64_t{5} << 30);
    ASSERT_TRUE(f.Write("x", 1));
    EXPECT_EQ(f.Length(), (int64_t{5} << 30) + 1);
}

TEST(File, FailedWriteIsReported) {
    File full;
    ASSERT_TRUE(full.Open(u"/dev/full", File::Mode::kReadWrite));
    EXPECT_FALSE(full.Write("data", 4));
    EXPECT_EQ(full.LastError(), ENOSPC);
    File closed;
    EXPECT_FALSE(closed.Write("x", 1));
}

TEST(File, NoFollowRefusesASymbolicLink) {
    File target;
    ASSERT_EQ(MakeTempFile(target, "TGT"), 0);
    const std::string link = ToUtf8(target.Path()) + ".link";
    ASSERT_EQ(::symlink(ToUtf8(target.Path()).c_str(), link.c_str()), 0);
    File f;
    EXPECT_FALSE(f.Open(FromUtf8(link), File::Mode::kCreate, /*noFollow=*/true));
    EXPECT_EQ(f.LastError(), ELOOP);
    File g;
    EXPECT_FALSE(g.Open(FromUtf8(link), File::Mode::kCreateNew, false));  // exists
    ::unlink(link.c_str());
}

TEST(DriveTable, FirstFreeLetterFromC) {
    DriveTable table;
    EXPECT_EQ(table.Assign(u"/images/a.img"), u'C');
    EXPECT_EQ(table.Assign(u"/images/b.img"), u'D');
    EXPECT_EQ(table.Assign(u"/images/a.img"), u'C');  // the same path keeps its letter
    ASSERT_TRUE(table.Set(u'f', u"/dev/sdb1", u"USB"));
    EXPECT_EQ(table.Assign(u"/images/c.img"), u'E');
    EXPECT_EQ(table.Assign(u"/images/d.img"), u'G');
    ASSERT_TRUE(table.Find(u'F'));
    EXPECT_EQ(table.Find(u'F')->label, u"USB");
    EXPECT_EQ(table.Find(u'F')->fileSystem, u"NTFS");
    EXPECT_FALSE(table.Find(u'Z'));
    for (char16_t c = u'H'; c <= u'Z'; ++c)
        table.Assign(std::u16string(u"/x") + c);
    EXPECT_EQ(table.Assign(u"/one/too/many"), 0);
}

TEST(DriveTable, ParsesDriveLetters) {
    EXPECT_EQ(DriveTable::ParseLetter(u"E:"), u'E');
    EXPECT_EQ(DriveTable::ParseLetter(u"e"), u'E');
    EXPECT_EQ(DriveTable::ParseLetter(u"e:\\"), u'E');
    EXPECT_EQ(DriveTable::ParseLetter(u"/dev/sdb1"), 0);
    EXPECT_EQ(DriveTable::ParseLetter(u"E:x"), 0);
    EXPECT_EQ(DriveTable::ParseLetter(u"1:"), 0);
}

}  // namespace
}  // namespace qv
