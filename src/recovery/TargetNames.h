#pragma once

#include <string>

namespace qv {

// Names from the volume become components of paths on the destination. Nothing may lead outside
// the destination: an empty component becomes "_", "." and ".." become "_." and "_..", "/" and
// NUL become "_", and a name longer than the 255 bytes a Linux file name may have is shortened
// (keeping its extension).
std::u16string SafeComponent(const std::u16string& name);

// The folder to recreate below the destination for a row's Path column: "X:\A\B\" gives
// "A/B/", the drive root alone gives "", and a partial path ("A\B\", where the climb to the root
// stopped) is recreated as it stands. Every component is made safe.
std::u16string FolderBelowDestination(const std::u16string& pathColumn);

// The destination as typed: blanks, tabs and line ends trimmed at both ends, "/" added at the end.
std::u16string TidyDestination(const std::u16string& typed);

// "report.txt" → "report (1).txt": a name not yet taken in the same folder.
std::u16string NumberedName(const std::u16string& name, int n);

}  // namespace qv
