#pragma once

#include <cstdio>
#include <vector>

#include "scan/DeletedFile.h"

namespace qv {

// The rows of a list in the order the window lists them after a scan: by name, ascending (code
// unit order), and by record number where names are equal. The files are not moved: sorting
// pointers is cheap, and a recovery reads the list as the scan left it (in record order).
using Rows = std::vector<const DeletedFile*>;
Rows ListedByName(const std::vector<DeletedFile>& files);

// The rows as a table of the seven columns, as JSON Lines or as CSV (see app/FileExport.h); paths
// in the volume's own form with letter. With a width (a terminal's columns), a table that does not
// fit is made narrower: the state in short, then the dates without their time, and over-long
// Name and Path texts cut with "…"; 0 prints everything whole.
void PrintTable(const Rows& rows, char16_t letter, std::FILE* out, size_t width = 0);
// The columns of the terminal out writes to, or 0 when it is not a terminal.
size_t TerminalWidth(std::FILE* out);
// Whether a stream writes to the null device, which keeps nothing.
bool WritesToNullDevice(std::FILE* out);
// Whether two streams end in the same file, pipe or terminal (true when that cannot be told):
// what is written to them at once would be interleaved there.
bool SameDestination(std::FILE* a, std::FILE* b);
void PrintJsonLines(const Rows& rows, char16_t letter, std::FILE* out);
void PrintCsv(const Rows& rows, char16_t letter, std::FILE* out);

}  // namespace qv
