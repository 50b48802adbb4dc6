#include "platform/File.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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
      lastError_(other.lastError_),
      removeOnClose_(std::exchange(other.removeOnClose_, false)) {}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = std::exchange(other.fd_, -1);
        path_ = std::move(other.path_);
        lastError_ = other.lastError_;
        removeOnClose_ = std::exchange(other.removeOnClose_, false);
    }
    return *this;
}

bool File::Open(const std::u16string& path, Mode mode, bool noFollow) {
    return OpenAt(AT_FDCWD, path, path, mode, noFollow);
}

bool File::OpenAt(int dirFd, const std::u16string& name, const std::u16string& fullPath, Mode mode,
                  bool noFollow) {
    Close();
    const std::string native = ToUtf8(name);
    int fd;
    do {
        fd = ::openat(dirFd, native.c_str(), FlagsFor(mode, noFollow), 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        lastError_ = errno;
        return false;
    }
    fd_ = fd;
    path_ = fullPath;
    lastError_ = 0;
    return true;
}

void File::Adopt(int fd, const std::u16string& path) {
    Close();
    fd_ = fd;
    path_ = path;
    lastError_ = 0;
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

int64_t File::Seek(int64_t offset, Whence whence) {
    const int w = whence == Whence::kBegin     ? SEEK_SET
                  : whence == Whence::kCurrent ? SEEK_CUR
                                               : SEEK_END;
    const off_t pos = ::lseek(fd_, static_cast<off_t>(offset), w);
    if (pos < 0) {
        lastError_ = errno;
        return -1;
    }
    return pos;
}

int64_t File::Read(void* buffer, size_t size) {
    const ReadResult r = ReadFully(fd_, buffer, size, -1);
    if (r.error != 0) {
        lastError_ = r.error;
        return -1;
    }
    return static_cast<int64_t>(r.count);
}

int64_t File::ReadAt(uint64_t offset, void* buffer, size_t size) {
    const ReadResult r = ReadFully(fd_, buffer, size, static_cast<int64_t>(offset));
    if (r.error != 0) {
        lastError_ = r.error;
        return -1;
    }
    return static_cast<int64_t>(r.count);
}

bool File::Write(const void* data, size_t size) {
    if (fd_ < 0) {
        lastError_ = EBADF;
        return false;
    }
    const auto* in = static_cast<const char*>(data);
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd_, in + done, size - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            lastError_ = errno;
            return false;
        }
        if (n == 0) {
            lastError_ = ENOSPC;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

int64_t File::Length() {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) {
        lastError_ = errno;
        return -1;
    }
    return st.st_size;
}

uint64_t File::Size() const {
    struct stat st {};
    return ::fstat(fd_, &st) == 0 && st.st_size > 0 ? static_cast<uint64_t>(st.st_size) : 0;
}

bool File::SetTimes(int64_t accessed, int64_t modified) {
    const struct timespec times[2] = {{static_cast<time_t>(accessed), 0},
                                      {static_cast<time_t>(modified), 0}};
    if (::futimens(fd_, times) != 0) {
        lastError_ = errno;
        return false;
    }
    return true;
}

bool File::Remove(const std::u16string& path) {
    if (path.empty()) return false;
    return ::unlink(ToUtf8(path).c_str()) == 0;
}

}  // namespace qv
