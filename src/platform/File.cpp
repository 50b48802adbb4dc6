#include "platform/File.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/PosixRead.h"
#include "platform/Text.h"

namespace qv {

namespace {

int FlagsFor(File::Mode mode, bool noFollow) {
    int flags = O_CLOEXEC;
    switch (mode) {
        case File::Mode::kRead: flags |= O_RDONLY; break;
        case File::Mode::kReadWrite: flags |= O_RDWR; break;
        case File::Mode::kCreate: flags |= O_RDWR | O_CREAT | O_TRUNC; break;
        case File::Mode::kCreateNew: flags |= O_RDWR | O_CREAT | O_EXCL; break;
    }
    if (noFollow) flags |= O_NOFOLLOW;
    return flags;
}

}  // namespace

File::~File() {
    Close();
}

File::File(File&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      path_(std::move(other.path_)),
      removeOnClose_(std::exchange(other.removeOnClose_, false)) {}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = std::exchange(other.fd_, -1);
        path_ = std::move(other.path_);
        removeOnClose_ = std::exchange(other.removeOnClose_, false);
    }
    return *this;
}

Error File::Failed(int32_t code, int error, const char* doing) const {
    return Error(code, std::string(doing) + " " + ToUtf8(path_) + ": " + std::strerror(error),
                 error);
}

Status File::Open(const std::u16string& path, Mode mode, bool noFollow) {
    Close();
    path_ = path;
    const std::string native = ToUtf8(path);
    int fd;
    do {
        fd = ::open(native.c_str(), FlagsFor(mode, noFollow), 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return Failed(kErrFile, errno, "cannot open");
    fd_ = fd;
    return {};
}

void File::Adopt(int fd, const std::u16string& path) {
    Close();
    fd_ = fd;
    path_ = path;
}

void File::Close() {
    if (fd_ < 0) return;
    ::close(fd_);
    fd_ = -1;
    if (removeOnClose_) {
        Remove(path_);
        removeOnClose_ = false;
    }
}

Result<size_t> File::ReadAt(uint64_t offset, void* buffer, size_t size) {
    const ReadResult r = ReadFully(fd_, buffer, size, static_cast<int64_t>(offset));
    if (r.error != 0) return Failed(kErrRead, r.error, "cannot read");
    return r.count;
}

Status File::Write(const void* data, size_t size) {
    if (fd_ < 0) return Failed(kErrWrite, EBADF, "cannot write");
    const auto* in = static_cast<const char*>(data);
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd_, in + done, size - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return Failed(kErrWrite, errno, "cannot write");
        }
        if (n == 0) return Failed(kErrWrite, ENOSPC, "cannot write");
        done += static_cast<size_t>(n);
    }
    return {};
}

uint64_t File::Size() const {
    struct stat st {};
    return ::fstat(fd_, &st) == 0 && st.st_size > 0 ? static_cast<uint64_t>(st.st_size) : 0;
}

Status File::SetTimes(int64_t accessed, int64_t modified) {
    const struct timespec times[2] = {{static_cast<time_t>(accessed), 0},
                                      {static_cast<time_t>(modified), 0}};
    if (::futimens(fd_, times) != 0) return Failed(kErrWrite, errno, "cannot set the times of");
    return {};
}

bool File::Remove(const std::u16string& path) {
    if (path.empty()) return false;
    return ::unlink(ToUtf8(path).c_str()) == 0;
}

}  // namespace qv
