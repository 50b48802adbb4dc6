#pragma once

#include <string>
#include <vector>

namespace qv::test {

// A private $TMPDIR for one test, so the temporary files a scan makes can be counted; removed
// with what is left in it, and the old $TMPDIR put back, when the object goes.
class PrivateTemp {
public:
    PrivateTemp();
    ~PrivateTemp();
    PrivateTemp(const PrivateTemp&) = delete;
    PrivateTemp& operator=(const PrivateTemp&) = delete;

    std::vector<std::string> Files() const;
    // Files whose name begins with prefix ("NRM", or "NR" for every one of the program's).
    size_t Count(const std::string& prefix) const;

private:
    std::string dir_, saved_;
    bool had_ = false;
};

}  // namespace qv::test
