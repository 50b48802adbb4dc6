#pragma once

#include <cstdio>
#include <vector>

#include "scan/DeletedFile.h"

namespace qv {

// The files as a table of the seven columns, as JSON Lines or as CSV (see app/FileExport.h); paths
// in the volume's own form with letter. With a width (a terminal's columns), a table that does not
// fit is made narrower: the state in short, then the dates without their time, and over-long
// Name and Path texts cut with "…"; 0 prints everything whole.
void PrintTable(const std::vector<DeletedFile>& files, char16_t letter, std::FILE* out,
                size_t width = 0);
// The columns of the terminal out writes to, or 0 when it is not a terminal.
size_t TerminalWidth(std::FILE* out);
// Whether two streams end in the same file, pipe or terminal (true when that cannot be told):
// what is written to them at once would be interleaved there.
bool SameDestination(std::FILE* a, std::FILE* b);
void PrintJsonLines(const std::vector<DeletedFile>& files, char16_t letter, std::FILE* out);
void PrintCsv(const std::vector<DeletedFile>& files, char16_t letter, std::FILE* out);

// Sorts the rows as the window does after a scan: by name, ascending (code unit order), and by
// record number where names are equal.
void SortByName(std::vector<DeletedFile>& files);

}  // namespace qv
