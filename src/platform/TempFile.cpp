#include "platform/TempFile.h"

#include <fcntl.h>
#include <stdlib.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/Text.h"

namespace qv {

std::u16string TempDirectory() {
    const char* dir = std::getenv("TMPDIR");
    if (dir == nullptr || *dir == '\0') dir = "/tmp";
    return FromUtf8(dir);
}

Status MakeTempFile(File& file, const char* prefix) {
    std::string name = ToUtf8(TempDirectory());
    if (name.empty() || name.back() != '/') name += '/';
    name += prefix;
    name += "XXXXXX.tmp";
    std::vector<char> buffer(name.begin(), name.end());
    buffer.push_back('\0');
    const int fd = ::mkostemps(buffer.data(), 4, O_CLOEXEC);  // suffix ".tmp"; mode 0600
    if (fd < 0)
        return Error(kErrTempFile,
                     "cannot make a temporary file in " + ToUtf8(TempDirectory()) + ": " +
                         std::strerror(errno),
                     errno);
    file.Adopt(fd, FromUtf8(buffer.data()));
    file.SetRemoveOnClose(true);
    return {};
}

}  // namespace qv
