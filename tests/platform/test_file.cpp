// Files, temporary files and the destination folder: every failure names the path, and carries
// the errno and its words.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <fstream>

#include "platform/DestinationFolder.h"
#include "platform/File.h"
#include "platform/SafeDirectory.h"
#include "platform/TempFile.h"
#include "platform/Text.h"
#include "support/AsNobody.h"
#include "support/Fixtures.h"

namespace qv {
namespace {

// A failure expected: the errno, and the cause "<doing> <path>: <the errno's words>".
struct Expected {
    Status status;
    int osError;
    std::string doing, path;
    int32_t code = kErrFile;
};

// What went wrong with a row (for the child that runs as nobody), or "".
std::string Mismatch(const Expected& e) {
    const std::string cause = e.doing + " " + e.path + ": " + std::strerror(e.osError);
    if (e.status) return "succeeded: " + cause;
    const Error& got = e.status.error();
    if (got.code != e.code || got.osError != e.osError || got.cause != cause)
        return "got " + std::to_string(got.code) + "/" + std::to_string(got.osError) + " \"" +
               got.cause + "\" for \"" + cause + "\"";
    return "";
}

TEST(TempFile, PrivateNamedWithThePrefixAndRemovedWhenClosed) {
    std::string path;
    {
        File f;
        ASSERT_TRUE(MakeTempFile(f, "NRM"));
        path = ToUtf8(f.Path());
        EXPECT_EQ(path.rfind(ToUtf8(TempDirectory()) + "/NRM", 0), 0u) << path;
        EXPECT_EQ(path.substr(path.size() - 4), ".tmp");
        struct stat st {};
        ASSERT_EQ(::stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u);
        ASSERT_TRUE(f.Write("hello world", 11));
        EXPECT_EQ(f.Size(), 11u);
        char at[5] = {};
        EXPECT_EQ(*f.ReadAt(6, at, sizeof at), 5u);
        EXPECT_EQ(std::string(at, 5), "world");
        EXPECT_EQ(*f.ReadAt(11, at, sizeof at), 0u);  // at the end: nothing, not an error
        ASSERT_TRUE(f.SetTimes(1000, 2000));
        ASSERT_EQ(::stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mtime, 2000);
    }
    EXPECT_FALSE(test::PathExists(path));

    const char* old = std::getenv("TMPDIR");
    const std::string saved = old ? old : "";
    ::setenv("TMPDIR", "/nonexistent-quorvane-dir", 1);
    File f;
    EXPECT_EQ(Mismatch({MakeTempFile(f, "NRL"), ENOENT, "cannot make a temporary file in",
                        "/nonexistent-quorvane-dir", kErrTempFile}),
              "");
    EXPECT_FALSE(f.IsOpen());
    old ? ::setenv("TMPDIR", saved.c_str(), 1) : ::unsetenv("TMPDIR");
}

TEST(File, OpenAndWriteFailuresNameThePathAndTheErrno) {
    test::OpenTempFolder dir;
    const std::string existing = dir.path + "/existing", link = dir.path + "/link";
    std::ofstream(existing) << "keep";
    ASSERT_EQ(::symlink(existing.c_str(), link.c_str()), 0);
    File missing, linked, taken, folder, full, closed, untimed;
    ASSERT_TRUE(full.Open(u"/dev/full", File::Mode::kReadWrite));
    const Expected cases[] = {
        {missing.Open(FromUtf8(dir.path + "/missing"), File::Mode::kRead), ENOENT, "cannot open",
         dir.path + "/missing"},
        {linked.Open(FromUtf8(link), File::Mode::kCreate, /*noFollow=*/true), ELOOP, "cannot open",
         link},
        {taken.Open(FromUtf8(existing), File::Mode::kCreateNew), EEXIST, "cannot open", existing},
        {folder.Open(FromUtf8(dir.path), File::Mode::kReadWrite), EISDIR, "cannot open", dir.path},
        {full.Write("data", 4), ENOSPC, "cannot write", "/dev/full", kErrWrite},
        {closed.Write("x", 1), EBADF, "cannot write", "", kErrWrite},
        {untimed.SetTimes(1, 2), EBADF, "cannot set the times of", "", kErrWrite},
    };
    for (const Expected& c : cases)
        EXPECT_EQ(Mismatch(c), "");
    EXPECT_EQ(test::ReadText(existing), "keep");
}

TEST(DestinationFolder, NeverFollowsWhatWasPlantedInIt) {
    test::OpenTempFolder dest, outside;
    const std::string d = dest.path + "/";
    const std::string victim = outside.path + "/victim";
    std::ofstream(victim) << "keep";
    ASSERT_EQ(::symlink(outside.path.c_str(), (d + "out").c_str()), 0);
    ASSERT_EQ(::symlink(victim.c_str(), (d + "f.txt").c_str()), 0);
    std::ofstream(d + "taken") << "x";
    DestinationFolder folder;
    ASSERT_TRUE(folder.Open(FromUtf8(dest.path)));
    EXPECT_EQ(folder.Path(), FromUtf8(d));
    File file;
    const Expected cases[] = {
        {folder.CreateFile(file, u"out/new.txt", true), ELOOP, "cannot create", d + "out/new.txt"},
        {folder.CreateFile(file, u"f.txt", false), ELOOP, "cannot create", d + "f.txt"},
        {folder.CreateFile(file, u"f.txt", true), EEXIST, "cannot create", d + "f.txt"},
        {folder.CreateFile(file, u"taken", true), EEXIST, "cannot create", d + "taken"},
        {folder.CreateFile(file, u"none/f", true), ENOENT, "cannot create", d + "none/f"},
        {folder.MakeFolder(u"taken"), EEXIST, "cannot make", d + "taken"},
        {folder.MakeFolder(u"out"), EEXIST, "cannot make", d + "out"},
        {folder.MakeFolder(u"out/sub"), ELOOP, "cannot make", d + "out/sub"},
    };
    for (const Expected& c : cases)
        EXPECT_EQ(Mismatch(c), "");
    EXPECT_EQ(test::ReadText(victim), "keep");
    EXPECT_FALSE(PathExists(FromUtf8(outside.path + "/new.txt")));
    EXPECT_FALSE(PathExists(FromUtf8(outside.path + "/sub")));
    // What may be made is made, once, and a folder that is there counts as made.
    ASSERT_TRUE(folder.MakeFolder(u"a"));
    ASSERT_TRUE(folder.MakeFolder(u"a"));
    ASSERT_TRUE(folder.CreateFile(file, u"a/b.txt", true));
    EXPECT_EQ(file.Path(), FromUtf8(d + "a/b.txt"));
    ASSERT_TRUE(file.Write("new", 3));
    EXPECT_EQ(test::ReadText(d + "a/b.txt"), "new");
    EXPECT_TRUE(folder.Exists(u"a/b.txt"));
    EXPECT_TRUE(folder.Exists(u"out"));
    EXPECT_FALSE(folder.Exists(u"out/victim"));
}

TEST(DestinationFolder, FoldersThatCannotHoldFilesAreRefusedNamingTheFolder) {
    test::OpenTempFolder dir;
    const std::string ro = dir.path + "/ro", open = dir.path + "/open", file = dir.path + "/file";
    ::mkdir(ro.c_str(), 0555);
    ::mkdir(open.c_str(), 0);
    ::chmod(open.c_str(), 0777);  // not cut by the umask
    std::ofstream(file) << "x";
    // The user may not write into ro: only a user who is not root can be refused.
    test::ExpectAsNobody([&] {
        DestinationFolder missing, notFolder, readOnly;
        const Expected cases[] = {
            {missing.Open(FromUtf8(dir.path + "/missing")), ENOENT, "cannot open",
             dir.path + "/missing"},
            {notFolder.Open(FromUtf8(file)), ENOTDIR, "cannot open", file},
            {readOnly.Open(FromUtf8(ro)), EACCES, "cannot write into", ro},
            {CheckDestination(FromUtf8(file)), ENOTDIR, "cannot recover into", file},
            {CheckDestination(FromUtf8(file + "/sub")), ENOTDIR, "cannot recover into",
             file + "/sub"},
            {CheckDestination(FromUtf8(ro + "/new/deeper/")), EACCES, "cannot recover into", ro},
            {MakeFolder(FromUtf8(ro + "/new")), EACCES, "cannot make", ro + "/new"},
        };
        for (const Expected& c : cases)
            if (std::string m = Mismatch(c); !m.empty()) return m;
        if (!CheckDestination(FromUtf8(open + "/new/deeper"))) return std::string("open refused");
        return std::string();
    });
}

}  // namespace
}  // namespace qv
