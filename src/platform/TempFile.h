#pragma once

#include <string>

#include "base/Error.h"
#include "platform/File.h"

namespace qv {

// The folder for temporary files: $TMPDIR when set and not empty, else /tmp.
std::u16string TempDirectory();

// Makes a private (mode 0600) temporary file named <prefix><random>.tmp in TempDirectory() and
// opens it for reading and writing. The file is removed when `file` is closed or destroyed, on
// every path. Fails with kErrTempFile naming the folder and the cause.
Status MakeTempFile(File& file, const char* prefix);

}  // namespace qv
