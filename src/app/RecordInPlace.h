#pragma once

#include <cstdint>
#include <memory>

#include "base/Error.h"

namespace qv {

class FileRecord;
class ScanSession;

// A file's record as the volume holds it now, in use or deleted, with the extension records its
// attribute list names: for reading one file's content without a scan. The cause of a failure
// names the record. kErrBadValue: the number names no file (past the end of the $MFT, an
// extension record, a folder); kErrRead: the record cannot be read, or holds no file.
Result<std::unique_ptr<FileRecord>> ReadFileInPlace(ScanSession& session, uint64_t number);

}  // namespace qv
