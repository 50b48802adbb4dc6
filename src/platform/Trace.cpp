#include "platform/Trace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace qv {

void AppendTraceLine(const char* fileName, const std::string& line) {
    const char* dir = std::getenv("QUORVANE_TRACE_DIR");
    if (dir == nullptr || *dir == '\0') return;
    struct stat st {};
    if (::stat(dir, &st) != 0 || !S_ISDIR(st.st_mode)) return;
    const std::string path = std::string(dir) + "/" + fileName;
    const int fd =
        ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return;
    const ssize_t ignored = ::write(fd, line.data(), line.size());
    (void)ignored;  // a trace that cannot be written is simply missing
    ::close(fd);
}

}  // namespace qv
