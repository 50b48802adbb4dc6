#include "platform/BlockDevice.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>

#include "platform/PosixRead.h"
#include "platform/Text.h"

namespace qv {

namespace {
std::atomic<PrivilegedOpener> privilegedOpener{nullptr};
}  // namespace

void SetPrivilegedOpener(PrivilegedOpener opener) {
    privilegedOpener.store(opener);
}

Result<std::unique_ptr<DeviceFile>> DeviceFile::Open(const std::u16string& path) {
    const std::string native = ToUtf8(path);
    const auto failed = [&](int error, const std::string& why = {}) {
        std::string cause = "cannot open " + native + ": " + std::strerror(error);
        if (!why.empty()) cause += " (" + why + ")";
        return Error(kErrOpenVolume, cause, error);
    };
    int fd;
    do {
        fd = ::open(native.c_str(), O_RDONLY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0 && (errno == EACCES || errno == EPERM)) {
        const int refused = errno;
        if (const PrivilegedOpener opener = privilegedOpener.load()) {
            int openerError = 0;
            std::string why;
            fd = opener(path, &openerError, &why);
            // Only a descriptor that cannot write is taken: the volume is never written.
            if (fd >= 0 && (::fcntl(fd, F_GETFL) & O_ACCMODE) != O_RDONLY) {
                ::close(fd);
                fd = -1;
                openerError = EPERM;
                why = "the descriptor handed over is not read-only";
            }
            if (fd < 0) return failed(openerError ? openerError : EACCES, why);
            ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        } else {
            errno = refused;
        }
    }
    if (fd < 0) return failed(errno);
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int error = errno;
        ::close(fd);
        return failed(error);
    }
    uint64_t size = static_cast<uint64_t>(st.st_size);
    if (S_ISBLK(st.st_mode)) {
        uint64_t bytes = 0;
        if (::ioctl(fd, BLKGETSIZE64, &bytes) == 0) size = bytes;
    } else if (S_ISDIR(st.st_mode)) {
        ::close(fd);
        return failed(EISDIR);
    }
    return std::unique_ptr<DeviceFile>(new DeviceFile(fd, size));
}

DeviceFile::~DeviceFile() {
    ::close(fd_);
}

Result<size_t> DeviceFile::ReadAt(uint64_t offset, void* buffer, size_t size) {
    const ReadResult r = ReadFully(fd_, buffer, size, static_cast<int64_t>(offset));
    // Deliver what arrived; the next read reports the error.
    if (r.error != 0 && r.count == 0)
        return Error(kErrRead,
                     "read error at byte " + std::to_string(offset) + ": " + std::strerror(r.error),
                     r.error);
    return r.count;
}

Result<std::unique_ptr<DeviceFile>> DeviceFile::AnotherReader() const {
    const int fd = ::fcntl(fd_, F_DUPFD_CLOEXEC, 0);
    if (fd < 0) {
        const int error = errno;
        return Error(kErrOpenVolume,
                     std::string("cannot read the device twice: ") + std::strerror(error), error);
    }
    return std::unique_ptr<DeviceFile>(new DeviceFile(fd, size_));
}

}  // namespace qv
