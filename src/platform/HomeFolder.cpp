#include "platform/HomeFolder.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "platform/Text.h"

namespace qv {

namespace {

// The home folder of a user from the password database; empty when there is no such user.
std::string HomeOf(const std::string* name) {
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    if (name)
        ::getpwnam_r(name->c_str(), &entry, buffer.data(), buffer.size(), &found);
    else
        ::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found);
    return found && found->pw_dir ? found->pw_dir : "";
}

}  // namespace

std::u16string ExpandHome(const std::u16string& path) {
    if (path.empty() || path[0] != u'~') return path;
    const size_t slash = path.find(u'/');
    const std::u16string user = path.substr(1, slash == std::u16string::npos ? slash : slash - 1);
    std::string home;
    if (user.empty()) {
        const char* env = std::getenv("HOME");
        home = env && *env ? env : HomeOf(nullptr);
    } else {
        const std::string name = ToUtf8(user);
        home = HomeOf(&name);
    }
    if (home.empty()) return path;
    return FromUtf8(home) + (slash == std::u16string::npos ? u"" : path.substr(slash));
}

}  // namespace qv
