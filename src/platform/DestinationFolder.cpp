#include "platform/DestinationFolder.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "platform/Text.h"

namespace qv {

namespace {

// Whether openat2 works here: unknown until first tried; kernels before 5.6, and sandboxes that
// filter it, answer ENOSYS (or EPERM), and then every path is walked component by component.
std::atomic<int> openat2Works{-1};

int Openat2(int dir, const char* path, int flags, unsigned mode) {
    open_how how{};
    how.flags = static_cast<uint64_t>(flags);
    how.mode = (flags & O_CREAT) ? mode : 0;
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
    long fd;
    do {
        fd = ::syscall(SYS_openat2, dir, path, &how, sizeof how);
    } while (fd < 0 && errno == EINTR);
    return fd < 0 ? -errno : static_cast<int>(fd);
}

// The same by walking: every folder on the way opened with O_NOFOLLOW relative to the one
// before, the last component with flags | O_NOFOLLOW.
int WalkBeneath(int dir, const std::string& relative, int flags, unsigned mode) {
    int current = dir;
    size_t start = 0;
    while (true) {
        const size_t slash = relative.find('/', start);
        const std::string part = relative.substr(start, slash - start);
        if (part.empty() || part == "." || part == "..") {
            if (current != dir) ::close(current);
            return -EINVAL;
        }
        int fd;
        if (slash == std::string::npos) {
            do {
                fd = ::openat(current, part.c_str(), flags | O_NOFOLLOW, mode);
            } while (fd < 0 && errno == EINTR);
        } else {
            fd = ::openat(current, part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        }
        const int error = errno;
        if (current != dir) ::close(current);
        if (fd < 0) return -error;
        if (slash == std::string::npos) return fd;
        current = fd;
        start = slash + 1;
    }
}

std::pair<std::string, std::string> SplitLast(const std::string& relative) {
    const size_t slash = relative.rfind('/');
    if (slash == std::string::npos) return {std::string(), relative};
    return {relative.substr(0, slash), relative.substr(slash + 1)};
}

Error FileError(int error, const std::string& path, const char* doing) {
    return Error(kErrFile, std::string(doing) + " " + path + ": " + std::strerror(error), error);
}

}  // namespace

DestinationFolder::~DestinationFolder() {
    Close();
}

void DestinationFolder::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

Status DestinationFolder::Open(const std::u16string& path) {
    Close();
    path_ = path;
    if (path_.empty() || path_.back() != u'/') path_ += u'/';
    const std::string native = ToUtf8(path);
    const int fd =
        ::open(native.empty() ? "." : native.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return FileError(errno, native, "cannot open");
    // Asked now, so that a folder nobody may write into is one message before the first file,
    // not two questions for every file.
    if (::faccessat(fd, ".", W_OK | X_OK, AT_EACCESS) != 0) {
        const int error = errno;
        ::close(fd);
        return FileError(error, native, "cannot write into");
    }
    fd_ = fd;
    return {};
}

int DestinationFolder::OpenBeneath(const std::string& relative, int flags, unsigned mode) {
    if (relative.empty()) return -EINVAL;
    if (openat2Works.load(std::memory_order_relaxed) != 0) {
        const int fd = Openat2(fd_, relative.c_str(), flags, mode);
        if (fd != -ENOSYS && fd != -EPERM) {
            openat2Works.store(1, std::memory_order_relaxed);
            return fd;
        }
        openat2Works.store(0, std::memory_order_relaxed);
    }
    return WalkBeneath(fd_, relative, flags, mode);
}

Status DestinationFolder::MakeFolder(const std::u16string& relative) {
    const std::string native = ToUtf8(relative);
    const auto [parent, leaf] = SplitLast(native);
    const std::string full = ToUtf8(path_) + native;
    if (leaf.empty() || leaf == "." || leaf == "..") return FileError(EINVAL, full, "cannot make");
    int dir = fd_;
    if (!parent.empty()) {
        dir = OpenBeneath(parent, O_PATH | O_DIRECTORY | O_CLOEXEC, 0);
        if (dir < 0) return FileError(-dir, full, "cannot make");
    }
    int result = 0;
    if (::mkdirat(dir, leaf.c_str(), 0777) != 0) {
        result = errno;
        struct stat st {};
        if (result == EEXIST && ::fstatat(dir, leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISDIR(st.st_mode))
            result = 0;
    }
    if (dir != fd_) ::close(dir);
    if (result != 0) return FileError(result, full, "cannot make");
    return {};
}

Status DestinationFolder::CreateFile(File& file, const std::u16string& relative, bool exclusive) {
    file.Close();
    const int flags = O_RDWR | O_CREAT | O_CLOEXEC | (exclusive ? O_EXCL : O_TRUNC);
    const int fd = OpenBeneath(ToUtf8(relative), flags, 0666);
    if (fd < 0) return FileError(-fd, ToUtf8(path_ + relative), "cannot create");
    file.Adopt(fd, path_ + relative);
    return {};
}

bool DestinationFolder::Exists(const std::u16string& relative) {
    const auto [parent, leaf] = SplitLast(ToUtf8(relative));
    int dir = fd_;
    if (!parent.empty()) {
        dir = OpenBeneath(parent, O_PATH | O_DIRECTORY | O_CLOEXEC, 0);
        if (dir < 0) return false;
    }
    struct stat st {};
    const bool exists = ::fstatat(dir, leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
    if (dir != fd_) ::close(dir);
    return exists;
}

Status CheckDestination(const std::u16string& path) {
    std::string probe = ToUtf8(path);
    while (probe.size() > 1 && probe.back() == '/')
        probe.pop_back();
    while (true) {
        const char* name = probe.empty() ? "." : probe.c_str();
        struct stat st {};
        if (::stat(name, &st) == 0) {
            if (!S_ISDIR(st.st_mode)) return FileError(ENOTDIR, name, "cannot recover into");
            if (::faccessat(AT_FDCWD, name, W_OK | X_OK, AT_EACCESS) != 0)
                return FileError(errno, name, "cannot recover into");
            return {};
        }
        if (errno != ENOENT) return FileError(errno, name, "cannot recover into");
        // Missing: it will be made inside the nearest folder above it that exists.
        const size_t slash = probe.rfind('/');
        if (slash == std::string::npos) {
            probe.clear();
        } else {
            probe.erase(slash == 0 ? 1 : slash);
        }
    }
}

}  // namespace qv
