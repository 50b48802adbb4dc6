#pragma once

// Checks that need a user the system refuses things to. Root is never refused, and CI runs as
// root: there the checks run in a child process that has become "nobody". Their files must lie
// where nobody can reach them (under /tmp, not a build tree in root's private home folder).

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>

namespace qv::test {

// Runs checks (which return what went wrong, or "") as an unprivileged user.
inline void ExpectAsNobody(const std::function<std::string()>& checks) {
    if (::geteuid() != 0) {
        EXPECT_EQ(checks(), "");
        return;
    }
    std::fflush(nullptr);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(2);
        const std::string failed = checks();
        if (!failed.empty()) std::fprintf(stderr, "as nobody: %s\n", failed.c_str());
        ::_exit(failed.empty() ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0)
        << "1: a check failed (see stderr); 2: could not become nobody";
}

// A folder under /tmp that everyone may pass through, removed with what is in it.
struct OpenTempFolder {
    std::string path;
    OpenTempFolder() {
        std::string pattern = "/tmp/qv-test-XXXXXX";
        path = ::mkdtemp(pattern.data());
        ::chmod(path.c_str(), 0755);
    }
    ~OpenTempFolder() { std::filesystem::remove_all(path); }
};

}  // namespace qv::test
