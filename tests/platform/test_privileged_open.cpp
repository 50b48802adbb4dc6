#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "platform/BlockDevice.h"
#include "platform/Text.h"

namespace qv {
namespace {

// The opener stands in for udisks2: it hands over a descriptor of a file the caller may read.
std::string handedPath;
int HandOver(const std::u16string&, int*, std::string*) {
    return ::open(handedPath.c_str(), O_RDONLY | O_CLOEXEC);
}
int HandOverWritable(const std::u16string&, int*, std::string*) {
    return ::open(handedPath.c_str(), O_RDWR | O_CLOEXEC);
}
int Refuse(const std::u16string&, int* error, std::string* reason) {
    *error = EACCES;
    *reason = "Not authorized to perform operation";
    return -1;
}

// The checks, as a user open() refuses the locked file to. Returns what went wrong, or "".
std::string CheckAsUnprivilegedUser(const std::string& locked) {
    int error = 0;
    std::string reason;
    if (DeviceFile::Open(FromUtf8(locked), &error, &reason) || error != EACCES)
        return "the locked file opened, or not with EACCES";
    SetPrivilegedOpener(&HandOver);
    auto device = DeviceFile::Open(FromUtf8(locked), &error, &reason);
    char buf[4];
    if (!device || device->ReadAt(0, buf, 4) != 4) return "the handed-over descriptor was not used";
    SetPrivilegedOpener(&HandOverWritable);
    if (DeviceFile::Open(FromUtf8(locked), &error, &reason) ||
        reason.find("not read-only") == std::string::npos)
        return "a writable descriptor was taken";
    SetPrivilegedOpener(&Refuse);
    if (DeviceFile::Open(FromUtf8(locked), &error, &reason) ||
        reason != "Not authorized to perform operation")
        return "the opener's refusal was not passed on";
    return "";
}

struct PrivilegedOpen : ::testing::Test {
    std::string dir;
    void SetUp() override {
        // Under /tmp, not the test's own TMPDIR: the check runs as "nobody", who cannot pass
        // through a build tree in a private home folder (root's /root is mode 0700).
        std::string pattern = "/tmp/qvpriv-XXXXXX";
        dir = ::mkdtemp(pattern.data());
        ::chmod(dir.c_str(), 0755);
        handedPath = dir + "/volume";
        std::ofstream(handedPath) << "NTFS";
        ::chmod(handedPath.c_str(), 0666);  // the stand-in can hand over a writable one too
    }
    void TearDown() override {
        SetPrivilegedOpener(nullptr);
        std::filesystem::remove_all(dir);
    }
};

TEST_F(PrivilegedOpen, OnlyAReadOnlyDescriptorIsTakenAndARefusalNamesItsCause) {
    const std::string locked = dir + "/locked";
    std::ofstream(locked) << "NTFS";
    ::chmod(locked.c_str(), 0);
    if (::geteuid() != 0) {
        EXPECT_EQ(CheckAsUnprivilegedUser(locked), "");
        return;
    }
    // Root is never refused: check as "nobody", in a child process.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(2);
        const std::string failed = CheckAsUnprivilegedUser(locked);
        if (!failed.empty()) std::fprintf(stderr, "as nobody: %s\n", failed.c_str());
        ::_exit(failed.empty() ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: a check failed; 2: could not become nobody";
}

TEST_F(PrivilegedOpen, NotAskedForFailuresOtherThanARefusal) {
    SetPrivilegedOpener(&HandOver);
    int error = 0;
    std::string reason;
    EXPECT_EQ(DeviceFile::Open(FromUtf8(dir + "/missing"), &error, &reason), nullptr);
    EXPECT_EQ(error, ENOENT);
    EXPECT_TRUE(reason.empty());
}

}  // namespace
}  // namespace qv
