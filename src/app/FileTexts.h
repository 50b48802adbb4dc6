#pragma once

#include <cstdint>
#include <string>

#include "scan/DeletedFile.h"

namespace qv {

// The texts both front ends show for a deleted file, made from its values where they are shown,
// and the order their lists sort in.
enum class Column { kName = 0, kType, kSize, kCreated, kDeleted, kPath, kState };
constexpr int kColumnCount = 7;

// "1 KB" for 1 to 1024 bytes, "0 KB" for none: the size in kilobytes, rounded up.
std::u16string SizeText(uint64_t size);
// "12,345": digits grouped in threes.
std::u16string GroupedNumber(uint64_t number);
// "12,345 bytes" ("1 byte"): the exact size.
std::u16string ExactSizeText(uint64_t size);
// What follows the last "." of a name when that dot is not the first character.
std::u16string TypeOf(const std::u16string& name);
// "YYYY-mm-dd HH:MM" in local time; empty when unknown.
std::u16string TimeText(const CTime& time);
// The folder path in the volume's own form: "X:\A\B\" when it reaches the root (letter being
// the volume's), "A\B\" when it is partial, "" when nothing is known.
std::u16string PathText(const DeletedFile& file, char16_t letter);
// "intact", "partly overwritten (35 %)", …: the state with the share overwritten when partial.
std::u16string StateText(const DeletedFile& file);
std::u16string ColumnText(const DeletedFile& file, Column column, char16_t letter);

// Orders two files by a column, ascending: names, types and paths by UTF-16 code unit (case
// matters, no locale), sizes as numbers, times as times. Negative when a goes first.
int CompareFiles(const DeletedFile& a, const DeletedFile& b, Column column);
// The order a list is in after a scan: by name, and by record number where names are equal.
bool ListedBefore(const DeletedFile& a, const DeletedFile& b);

}  // namespace qv
