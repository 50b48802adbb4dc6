#pragma once

#include <string>

#include "scan/DeletedFile.h"

namespace qv {

// Names from the volume become components of paths on the destination. Nothing may lead outside
// the destination: an empty component becomes "_", "." and ".." become "_." and "_..", "/" and
// NUL become "_", and a name longer than the 255 bytes a Linux file name may have is shortened
// (keeping its extension).
std::u16string SafeComponent(const std::u16string& name);

// The destination as typed: blanks, tabs and line ends trimmed at both ends, a leading "~" made
// the home folder, "/" added at the end. Empty when nothing but blanks was typed: there is no
// destination then, and the front ends refuse it.
std::u16string TidyDestination(const std::u16string& typed);

// The name a recovered file gets: its own, made safe; a file without any name is named after its
// record ("record-1234").
std::u16string LeafName(const DeletedFile& file);

// "report.txt" → "report (1).txt": a name not yet taken in the same folder.
std::u16string NumberedName(const std::u16string& name, int n);

}  // namespace qv
