#pragma once

#include <cstdio>
#include <vector>

#include "app/MemoryListControl.h"

namespace qv {

// The rows as a table of the six columns, or as JSON Lines (record, name, type, size, created,
// deleted, path), one object per row.
void PrintTable(const MemoryListControl& list, std::FILE* out);
void PrintJsonLines(const MemoryListControl& list, std::FILE* out);

// Sorts the rows as the window does after a scan: by name, ascending (code unit order), and by
// record number where names are equal.
void SortByName(MemoryListControl& list);

}  // namespace qv
