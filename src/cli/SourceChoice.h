#pragma once

#include <string>

#include "app/DriveList.h"

namespace qv {

// What SOURCE on the command line names: a drive letter (E:, the machine's NTFS volumes in
// device-name order from C:), or an image or block device, which may be a whole disk with
// partitions: its one NTFS partition is taken, or the one --partition names.
struct SourceChoice {
    Drive drive;          // what to scan (shown as C: unless a letter was given)
    int exitStatus = -1;  // when >= 0, the command ends with it (the reason is printed)
    std::string note;     // for the log: which partition was taken
};

SourceChoice ChooseSource(const std::string& source, int partition);

}  // namespace qv
