// Names only Linux writes: on a volume made with mkntfs and written through ntfs-3g, a folder
// named "a\b" is one folder, beside a folder "a" holding a folder "b". The scan lists each file
// with its own folder names, and a recovery makes each folder once, as it is named.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>

#include "platform/Text.h"
#include "support/Fixtures.h"
#include "support/ScanHarness.h"
#include "support/VolumeImage.h"

namespace qv {
namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::u16string>;

bool Shell(const std::string& command) {
    const std::string line = "PATH=\"$PATH:/usr/sbin:/sbin\"; " + command + " >/dev/null 2>&1";
    return std::system(line.c_str()) == 0;
}

// A private folder under /tmp with an image and its mount point; unmounted and removed at the end.
struct Scratch {
    std::string dir = test::MakeTempDir("qv-ntfs3g");
    std::string image = dir + "/volume.img";
    std::string mount = dir + "/mnt";
    bool mounted = false;
    ~Scratch() {
        if (mounted) Shell("umount '" + mount + "'");
        fs::remove_all(dir);
    }
};

void Write(const fs::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary) << std::string(bytes.begin(), bytes.end());
}

TEST(Ntfs3gNames, AFolderNamedWithABackslashIsListedAndRecreatedAsOneFolder) {
    if (::geteuid() != 0 || ::access("/dev/fuse", R_OK | W_OK) != 0 ||
        !Shell("command -v mkntfs && command -v ntfs-3g"))
        GTEST_SKIP() << "needs root, FUSE, mkntfs and ntfs-3g to write a volume as Linux does";
    Scratch s;
    ASSERT_FALSE(s.dir.empty());
    ASSERT_TRUE(Shell("truncate -s 8M '" + s.image + "' && mkntfs -F -Q -q '" + s.image + "'"));
    fs::create_directory(s.mount);
    if (!Shell("ntfs-3g '" + s.image + "' '" + s.mount + "'"))
        GTEST_SKIP() << "ntfs-3g cannot mount here";
    s.mounted = true;
    const std::vector<uint8_t> oneFolder = test::PatternBytes(5000, 7);
    const std::vector<uint8_t> twoFolders = test::PatternBytes(300, 8);
    fs::create_directories(s.mount + "/a\\b");
    fs::create_directories(s.mount + "/a/b");
    Write(s.mount + "/a\\b/c.txt", oneFolder);
    Write(s.mount + "/a/b/c.txt", twoFolders);
    fs::remove(s.mount + "/a\\b/c.txt");
    fs::remove(s.mount + "/a/b/c.txt");
    ASSERT_TRUE(Shell("umount '" + s.mount + "'"));
    s.mounted = false;

    test::ScanHarness h;
    h.Scan(s.image);
    ASSERT_NE(h.context.session, nullptr);
    std::vector<uint64_t> records;
    std::multiset<Names> folders;
    for (const DeletedFile& f : h.list.files) {
        if (f.name != u"c.txt") continue;
        records.push_back(f.record);
        folders.insert(f.folder.Names());
        EXPECT_TRUE(f.rooted);
    }
    EXPECT_EQ(folders, (std::multiset<Names>{{u"a", u"b"}, {u"a\\b"}}));

    const std::string dest = s.dir + "/out";
    h.Recover(FromUtf8(dest), records);
    EXPECT_EQ(h.context.summary.recovered, 2);
    EXPECT_EQ(test::ReadWholeFile(dest + "/a\\b/c.txt"), oneFolder);
    EXPECT_EQ(test::ReadWholeFile(dest + "/a/b/c.txt"), twoFolders);
    // Everything below the destination: "a\b" is a folder of its own.
    std::set<std::string> tree;
    for (const auto& e : fs::recursive_directory_iterator(dest))
        tree.insert(e.path().lexically_relative(dest).string() + (e.is_directory() ? "/" : ""));
    EXPECT_EQ(tree, (std::set<std::string>{"a/", "a/b/", "a/b/c.txt", "a\\b/", "a\\b/c.txt"}));
}

}  // namespace
}  // namespace qv
