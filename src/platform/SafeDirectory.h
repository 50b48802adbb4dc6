#pragma once

#include <string>

#include "base/Error.h"

namespace qv {

// Makes a folder given as a whole path (the chosen destination and the folders above it, the
// user's own). Something that exists already under that name counts as made; a failure is
// kErrFile with the errno.
Status MakeFolder(const std::u16string& path);

// Whether anything (a file, a folder, a link) exists under that name, without following it.
bool PathExists(const std::u16string& path);

}  // namespace qv
