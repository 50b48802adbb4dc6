#pragma once

#include <string>
#include <vector>

#include "base/Error.h"
#include "platform/Partitions.h"
#include "platform/Source.h"

namespace qv {

// What a disk, a disk image or a device holds: one NTFS volume over all of it, or a partition
// table whose partitions are told NTFS or not by their boot sectors (the partition type alone does
// not decide).
struct DiskVolume {
    Source source;        // the volume's bytes: the whole disk, or one partition
    Partition partition;  // as the table describes it (number 0 for a whole disk)
    bool ntfs = false;    // its boot sector says NTFS
    std::string notNtfs;  // why not, in words
};

struct DiskLayout {
    std::string format;               // "raw", "EWF", "VHDX", ...
    std::string scheme;               // "dos", "gpt", or "" (no partition table)
    uint64_t size = 0;                // the disk's bytes
    std::vector<DiskVolume> volumes;  // a whole-disk volume, or one per partition (not extended)

    std::vector<const DiskVolume*> NtfsVolumes() const;
};

// Examines path: a bare NTFS volume (its own boot sector says so) is one volume over all of it;
// otherwise its partitions are listed. The error names the path and why it cannot be read.
Result<DiskLayout> ExamineDisk(const std::u16string& path);

}  // namespace qv
