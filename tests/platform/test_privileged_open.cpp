// A device the user may not read opens through the privileged opener, and only read-only.
#include <fcntl.h>
#include <gtest/gtest.h>

#include <fstream>

#include "platform/BlockDevice.h"
#include "platform/Text.h"
#include "support/AsNobody.h"

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

struct PrivilegedOpen : ::testing::Test {
    test::OpenTempFolder dir;
    void SetUp() override {
        handedPath = dir.path + "/volume";
        std::ofstream(handedPath) << "NTFS";
        ::chmod(handedPath.c_str(), 0666);  // the stand-in can hand over a writable one too
    }
    void TearDown() override { SetPrivilegedOpener(nullptr); }
};

TEST_F(PrivilegedOpen, OnlyAReadOnlyDescriptorIsTakenAndARefusalNamesItsCause) {
    const std::string locked = dir.path + "/locked";
    std::ofstream(locked) << "NTFS";
    ::chmod(locked.c_str(), 0);
    test::ExpectAsNobody([&]() -> std::string {
        const struct {
            PrivilegedOpener opener;
            bool opens;
            int osError;
            const char* cause;
        } cases[] = {
            {nullptr, false, EACCES, "Permission denied"},
            {&HandOver, true, 0, ""},
            {&HandOverWritable, false, EPERM, "(the descriptor handed over is not read-only)"},
            {&Refuse, false, EACCES, "(Not authorized to perform operation)"},
        };
        for (const auto& c : cases) {
            SetPrivilegedOpener(c.opener);
            auto device = DeviceFile::Open(FromUtf8(locked));
            if (device.ok() != c.opens) return "opened: " + std::to_string(device.ok());
            if (device) {
                char buf[4];
                const auto n = (*device)->ReadAt(0, buf, 4);
                if (!n || *n != 4 || std::string(buf, 4) != "NTFS") return "not read through";
                continue;
            }
            const Error& e = device.error();
            if (e.code != kErrOpenVolume || e.osError != c.osError ||
                e.cause.find("cannot open " + locked) != 0 ||
                e.cause.find(c.cause) == std::string::npos)
                return "wrong error: " + e.cause;
        }
        return "";
    });
}

TEST_F(PrivilegedOpen, NotAskedForFailuresOtherThanARefusal) {
    SetPrivilegedOpener(&HandOver);
    const auto device = DeviceFile::Open(FromUtf8(dir.path + "/missing"));
    ASSERT_FALSE(device);
    EXPECT_EQ(device.error().osError, ENOENT);
    EXPECT_EQ(device.error().cause,
              "cannot open " + dir.path + "/missing: No such file or directory");
}

}  // namespace
}  // namespace qv
