#pragma once

#include <optional>
#include <string>
#include <vector>

#include "base/Error.h"
#include "scan/DeletedFile.h"

namespace qv {

// How a list of deleted files is written out: CSV with a heading line, or JSON Lines (one object
// per file), their rows as FileExport makes them (the terminal program's keys and the state).
enum class ListFormat { kCsv, kJsonLines };

// The format a file name's ending asks for (.csv; .jsonl or .json, in any case); none for any
// other name.
std::optional<ListFormat> ListFormatFor(const std::u16string& path);

// The whole text of a list in a format; letter: the drive letter of rooted paths.
std::string FormatFileList(const std::vector<DeletedFile>& files, ListFormat format,
                           char16_t letter);

// Writes the list to path (created or replaced). The error names the path and the cause.
Status WriteFileList(const std::u16string& path, const std::vector<DeletedFile>& files,
                     ListFormat format, char16_t letter);

}  // namespace qv
