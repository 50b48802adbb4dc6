#include "support/PrivateTemp.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace qv::test {

PrivateTemp::PrivateTemp() {
    static int counter = 0;
    const char* old = std::getenv("TMPDIR");
    saved_ = old ? old : "";
    had_ = old != nullptr;
    dir_ = (old && *old ? std::string(old) : std::string("/tmp")) + "/qv-temp-" +
           std::to_string(::getpid()) + "-" + std::to_string(counter++);
    ::mkdir(dir_.c_str(), 0700);
    ::setenv("TMPDIR", dir_.c_str(), 1);
}

PrivateTemp::~PrivateTemp() {
    for (const std::string& f : Files())
        std::remove((dir_ + "/" + f).c_str());
    ::rmdir(dir_.c_str());
    if (had_) {
        ::setenv("TMPDIR", saved_.c_str(), 1);
    } else {
        ::unsetenv("TMPDIR");
    }
}

std::vector<std::string> PrivateTemp::Files() const {
    std::vector<std::string> out;
    if (DIR* d = ::opendir(dir_.c_str())) {
        while (dirent* e = ::readdir(d))
            if (e->d_name[0] != '.') out.push_back(e->d_name);
        ::closedir(d);
    }
    return out;
}

size_t PrivateTemp::Count(const std::string& prefix) const {
    size_t n = 0;
    for (const std::string& f : Files())
        n += f.rfind(prefix, 0) == 0;
    return n;
}

}  // namespace qv::test
