#include "platform/SafeDirectory.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "platform/Text.h"

namespace qv {

Status MakeFolder(const std::u16string& path) {
    const std::string native = ToUtf8(path);
    if (::mkdir(native.c_str(), 0777) == 0 || errno == EEXIST) return {};
    return Error(kErrFile, "cannot make " + native + ": " + std::strerror(errno), errno);
}

bool PathExists(const std::u16string& path) {
    struct stat st {};
    return ::lstat(ToUtf8(path).c_str(), &st) == 0;
}

}  // namespace qv
