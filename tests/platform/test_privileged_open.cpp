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

TEST(PrivilegedOpen, OnlyAReadOnlyDescriptorIsTakenAndARefusalNamesItsCause) {
    test::OpenTempFolder dir;
    handedPath = dir.path + "/volume";
    std::ofstream(handedPath) << "NTFS";
    ::chmod(handedPath.c_str(), 0666);  // the stand-in can hand over a writable one too
    const std::string locked = dir.path + "/locked";
    std::ofstream(locked) << "NTFS";
    ::chmod(locked.c_str(), 0);
    test::ExpectAsNobody([&]() -> std::string {
        // The opener, the path, whether it opens, and the errno and cause (after "cannot open
        // <path>: ") when it does not.
        const std::tuple<PrivilegedOpener, std::string, bool, int, std::string> cases[] = {
            {nullptr, locked, false, EACCES, "Permission denied"},
            {&HandOver, locked, true, 0, ""},
            {&HandOverWritable, locked, false, EPERM,
             "Operation not permitted (the descriptor handed over is not read-only)"},
            {&Refuse, locked, false, EACCES,
             "Permission denied (Not authorized to perform operation)"},
            // Failures other than a refusal are not the opener's to answer.
            {&HandOver, dir.path + "/missing", false, ENOENT, "No such file or directory"},
        };
        for (const auto& [opener, path, opens, osError, cause] : cases) {
            SetPrivilegedOpener(opener);
            auto device = DeviceFile::Open(FromUtf8(path));
            if (device.ok() != opens) return path + " opened: " + std::to_string(device.ok());
            if (device) {
                char buf[4];
                const auto n = (*device)->ReadAt(0, buf, 4);
                if (!n || *n != 4 || std::string(buf, 4) != "NTFS") return "not read through";
                continue;
            }
            const Error& e = device.error();
            if (e.code != kErrOpenVolume || e.osError != osError ||
                e.cause != "cannot open " + path + ": " + cause)
                return "wrong error: " + e.cause;
        }
        return "";
    });
    SetPrivilegedOpener(nullptr);
}

}  // namespace
}  // namespace qv
