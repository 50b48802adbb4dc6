#include "platform/SafeDirectory.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "platform/Text.h"

namespace qv {

namespace {

class Descriptor {
public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    void Reset(int fd) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }
    int Get() const { return fd_; }

private:
    int fd_;
};

std::vector<std::string> Split(const std::u16string& relative) {
    std::vector<std::string> parts;
    std::string all = ToUtf8(relative);
    size_t start = 0;
    while (start <= all.size()) {
        const size_t slash = all.find('/', start);
        const std::string part =
            all.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
        if (!part.empty()) parts.push_back(part);
        if (slash == std::string::npos) break;
        start = slash + 1;
    }
    return parts;
}

// Opens base, then each of the first `count` parts as a folder, never through a link.
int OpenParents(const std::u16string& base, const std::vector<std::string>& parts, size_t count,
                Descriptor& dir) {
    const std::string root = ToUtf8(base);
    dir.Reset(::open(root.empty() ? "." : root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.Get() < 0) return errno;
    for (size_t i = 0; i < count; ++i) {
        const int next =
            ::openat(dir.Get(), parts[i].c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (next < 0) return errno;
        dir.Reset(next);
    }
    return 0;
}

}  // namespace

int MakeFolderBelow(const std::u16string& base, const std::u16string& relative) {
    const auto parts = Split(relative);
    if (parts.empty()) return 0;
    Descriptor dir;
    if (const int e = OpenParents(base, parts, parts.size() - 1, dir)) return e;
    if (::mkdirat(dir.Get(), parts.back().c_str(), 0777) == 0 || errno == EEXIST) return 0;
    return errno;
}

bool CreateFileBelow(File& file, const std::u16string& base, const std::u16string& relative) {
    const auto parts = Split(relative);
    Descriptor dir;
    if (parts.empty()) {
        file.Close();
        return file.Open(base, File::Mode::kCreate, true);
    }
    if (const int e = OpenParents(base, parts, parts.size() - 1, dir)) {
        file.Close();
        file.SetLastError(e);
        return false;
    }
    std::u16string full = base;
    if (!full.empty() && full.back() != u'/') full += u'/';
    full += relative;
    return file.OpenAt(dir.Get(), FromUtf8(parts.back()), full, File::Mode::kCreate, true);
}

int MakeFolder(const std::u16string& path) {
    const std::string native = ToUtf8(path);
    if (::mkdir(native.c_str(), 0777) == 0 || errno == EEXIST) return 0;
    return errno;
}

bool PathExists(const std::u16string& path) {
    struct stat st {};
    return ::lstat(ToUtf8(path).c_str(), &st) == 0;
}

}  // namespace qv
