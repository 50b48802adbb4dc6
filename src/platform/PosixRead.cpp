#include "platform/PosixRead.h"

#include <unistd.h>

#include <cerrno>

namespace qv {

ReadResult ReadFully(int fd, void* buffer, size_t size, int64_t offset) {
    auto* out = static_cast<char*>(buffer);
    ReadResult result;
    while (result.count < size) {
        const size_t want = size - result.count;
        const ssize_t n =
            offset < 0 ? ::read(fd, out + result.count, want)
                       : ::pread(fd, out + result.count, want,
                                 static_cast<off_t>(offset + static_cast<int64_t>(result.count)));
        if (n < 0) {
            if (errno == EINTR) continue;
            result.error = errno;
            break;
        }
        if (n == 0) break;
        result.count += static_cast<size_t>(n);
    }
    return result;
}

}  // namespace qv
