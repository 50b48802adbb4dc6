#pragma once

#include <cstdio>
#include <vector>

#include "scan/DeletedFile.h"

namespace qv {

// The files as a table of the six columns, or as JSON Lines (record, name, type, size, created,
// deleted, path), one object per file; paths in the volume's own form with letter. With a width (a
// terminal's columns), over-long Name and Path texts are cut with "…" so that every row fits; 0
// prints them whole.
void PrintTable(const std::vector<DeletedFile>& files, char16_t letter, std::FILE* out,
                size_t width = 0);
// The columns of the terminal out writes to, or 0 when it is not a terminal.
size_t TerminalWidth(std::FILE* out);
void PrintJsonLines(const std::vector<DeletedFile>& files, char16_t letter, std::FILE* out);

// Sorts the rows as the window does after a scan: by name, ascending (code unit order), and by
// record number where names are equal.
void SortByName(std::vector<DeletedFile>& files);

}  // namespace qv
