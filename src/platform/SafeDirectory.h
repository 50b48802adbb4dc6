#pragma once

#include <string>

#include "platform/File.h"

namespace qv {

// Folders and files below a folder the user chose, made without ever following a symbolic link
// that something else planted below it: every component is opened relative to its parent with
// O_NOFOLLOW, one level at a time. The chosen folder itself is taken as the user gave it.
//
// `relative` uses '/' between components and has no leading '/'.

// Makes the last component of relative below base (the ones before it must exist). Something
// that exists already under that name counts as made. Returns 0 or an errno.
int MakeFolderBelow(const std::u16string& base, const std::u16string& relative);

// Opens base/relative for writing (created, or truncated when it exists), refusing symbolic
// links at every level below base. Returns false with file.LastError() set.
bool CreateFileBelow(File& file, const std::u16string& base, const std::u16string& relative);

// Makes a folder given as a whole path (the chosen destination and the folders above it).
// Something that exists already under that name counts as made. Returns 0 or an errno.
int MakeFolder(const std::u16string& path);

// Whether anything (a file, a folder, a link) exists under that name, without following it.
bool PathExists(const std::u16string& path);

}  // namespace qv
