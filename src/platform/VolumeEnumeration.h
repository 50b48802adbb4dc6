#pragma once

#include <string>
#include <vector>

namespace qv {

// An NTFS volume on one of the machine's block devices.
struct FoundVolume {
    std::u16string device;  // /dev/sdb1
    std::u16string label;
};

// The NTFS volumes of the machine's block devices (partitions and whole disks, loop devices
// included), in device-name order: from the udev database, which needs no root, and by probing
// with libblkid where udev has nothing to say.
std::vector<FoundVolume> FindNtfsVolumes();

// The label libblkid reads from an NTFS volume (a device or an image file); empty when it has
// none or cannot be read.
std::u16string NtfsLabel(const std::u16string& path);

}  // namespace qv
