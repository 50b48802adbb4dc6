#pragma once

#include <string>
#include <vector>

#include "platform/Source.h"
#include "platform/VolumeEnumeration.h"

namespace qv {

// One entry of what the front ends offer to scan: a source, the letter it is shown under (in
// the list, in paths like "C:\Docs\Old\" and in log lines) and its label.
struct Drive {
    char16_t letter = 0;
    std::u16string label;  // the volume's label, or an image's file name
    Source source;
};

// The machine's NTFS volumes in device-name order, then the images given, with letters from C:.
// Letters only name entries for people: past Z they start again at C.
std::vector<Drive> MakeDriveList(const std::vector<FoundVolume>& volumes,
                                 const std::vector<Drive>& images);

// An image given by its path: labelled with its volume's label, or its file name when it has
// none.
Drive ImageDrive(const std::u16string& path);

// "E", "E:" or "e:\" → 'E'; anything else → 0.
char16_t ParseDriveLetter(const std::u16string& text);

}  // namespace qv
