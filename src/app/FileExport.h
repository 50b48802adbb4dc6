#pragma once

#include <string>

#include "scan/DeletedFile.h"

namespace qv {

// A list of deleted files as text for other programs: JSON Lines (one object per file) and CSV
// (RFC 4180: a header line, fields with a comma, a quote, CR or LF in quotes, quotes doubled,
// CRLF line ends). Both carry the same keys, in this order: record, name, type, size (bytes),
// created, deleted (as the list shows them, "" when unknown), path (the volume's own form with
// the list's letter), state (its StateName) and, for a partly overwritten file,
// overwritten_percent (an empty field in CSV for the others).

// One file's JSON object, without a line end.
std::string JsonLine(const DeletedFile& file, char16_t letter);
// The header line, with its CRLF.
std::string CsvHeader();
// One file's line, with its CRLF.
std::string CsvLine(const DeletedFile& file, char16_t letter);

}  // namespace qv
