#pragma once

#include <string>

namespace qv {

// A path typed by a user with a leading "~" or "~name": "~" and "~/..." start in the home folder
// ($HOME, else the password database's entry for this user), "~name/..." in that user's. Any
// other path, and a "~name" with no such user, is returned as it stands.
std::u16string ExpandHome(const std::u16string& path);

}  // namespace qv
