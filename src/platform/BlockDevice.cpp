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

int64_t MemoryBlockDevice::ReadAt(uint64_t offset, void* buffer, size_t size) {
    if (offset >= bytes_.size()) return 0;
    const size_t n = static_cast<size_t>(std::min<uint64_t>(size, bytes_.size() - offset));
    if (n > 0) std::memcpy(buffer, bytes_.data() + offset, n);
    return static_cast<int64_t>(n);
}

void SetPrivilegedOpener(PrivilegedOpener opener) {
    privilegedOpener.store(opener);
}

std::unique_ptr<DeviceFile> DeviceFile::Open(const std::u16string& path, int* error,
                                             std::string* reason) {
    const std::string native = ToUtf8(path);
    int fd;
    do {
        fd = ::open(native.c_str(), O_RDONLY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0 && (errno == EACCES || errno == EPERM)) {
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
            if (fd < 0) {
                if (error) *error = openerError ? openerError : EACCES;
                if (reason) *reason = why;
                return nullptr;
            }
            ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        }
    }
    if (fd < 0) {
        if (error) *error = errno;
        return nullptr;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        if (error) *error = errno;
        ::close(fd);
        return nullptr;
    }
    uint64_t size = static_cast<uint64_t>(st.st_size);
    if (S_ISBLK(st.st_mode)) {
        uint64_t bytes = 0;
        if (::ioctl(fd, BLKGETSIZE64, &bytes) == 0) size = bytes;
    } else if (S_ISDIR(st.st_mode)) {
        if (error) *error = EISDIR;
        ::close(fd);
        return nullptr;
    }
    return std::unique_ptr<DeviceFile>(new DeviceFile(fd, size));
}

DeviceFile::~DeviceFile() {
    ::close(fd_);
}

int64_t DeviceFile::ReadAt(uint64_t offset, void* buffer, size_t size) {
    const ReadResult r = ReadFully(fd_, buffer, size, static_cast<int64_t>(offset));
    // Deliver what arrived; the next read reports the error.
    if (r.error != 0 && r.count == 0) return -r.error;
    return static_cast<int64_t>(r.count);
}

}  // namespace qv
