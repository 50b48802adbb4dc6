#include "platform/TempFile.h"

#include <fcntl.h>
#include <stdlib.h>

#include <cstdlib>
#include <vector>

#include "base/Error.h"
#include "platform/Text.h"

namespace qv {

std::u16string TempDirectory() {
    const char* dir = std::getenv("TMPDIR");
    if (dir == nullptr || *dir == '\0') dir = "/tmp";
    return FromUtf8(dir);
}

int MakeTempFile(File& file, const char* prefix) {
    std::string name = ToUtf8(TempDirectory());
    if (name.empty() || name.back() != '/') name += '/';
    name += prefix;
    name += "XXXXXX.tmp";
    std::vector<char> buffer(name.begin(), name.end());
    buffer.push_back('\0');
    const int fd = ::mkostemps(buffer.data(), 4, O_CLOEXEC);  // suffix ".tmp"; mode 0600
    if (fd < 0) return kErrTempFile;
    file.Adopt(fd, FromUtf8(buffer.data()));
    file.SetRemoveOnClose(true);
    return 0;
}

}  // namespace qv
