#pragma once

#include <string>

#include "platform/File.h"

namespace qv {

// The folder a recovery writes into, held open for the whole run. Folders and files are made
// below it by paths relative to it, and nothing below it is ever followed through a symbolic
// link or leads out of it, whatever was planted there: each path is resolved beneath the open
// folder in one system call (openat2 with RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS), or component
// by component with O_NOFOLLOW where the kernel lacks it. The folder itself is taken as the user
// gave it (it may be a link to a folder).
//
// `relative` uses '/' between components, has no leading '/' and its components are safe names
// (no "." or ".."; see recovery/TargetNames.h).
class DestinationFolder {
public:
    DestinationFolder() = default;
    ~DestinationFolder();
    DestinationFolder(const DestinationFolder&) = delete;
    DestinationFolder& operator=(const DestinationFolder&) = delete;

    // Opens an existing folder to write into. Fails (kErrFile) with the errno: ENOENT, ENOTDIR
    // when it is not a folder, EACCES or EROFS when this user cannot make files in it.
    Status Open(const std::u16string& path);
    void Close();
    bool IsOpen() const { return fd_ >= 0; }
    // The folder as given, ending in '/'.
    const std::u16string& Path() const { return path_; }

    // Makes the last component of relative (the ones before it must exist): done when it was
    // made or is a folder already. Fails (kErrFile) with errno EEXIST when something that is not
    // a folder (a file, a link) has the name, otherwise with the errno that stopped it.
    Status MakeFolder(const std::u16string& relative);

    // Opens relative for writing. With exclusive, fails with errno EEXIST when anything has the
    // name; otherwise an existing file is truncated. The file's path becomes Path() + relative.
    Status CreateFile(File& file, const std::u16string& relative, bool exclusive);

    // Whether anything (a file, a folder, a link) has that name below the folder.
    bool Exists(const std::u16string& relative);

private:
    // An open descriptor of relative with flags, or a negative errno.
    int OpenBeneath(const std::string& relative, int flags, unsigned mode);

    int fd_ = -1;
    std::u16string path_;
};

// Whether a recovery could write into path before anything is scanned: path, or the nearest
// folder above it that exists when path does not (it will be made), must be a folder this user
// can make files in. Fails (kErrFile) naming the folder that fails and why.
Status CheckDestination(const std::u16string& path);

}  // namespace qv
