#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace qv {

// Whether files written into a folder can land on the device a scan reads: recovering there
// overwrites the clusters being recovered. Only a block device can be hit this way; an image file
// is read-only input, and writing beside it on its own file system leaves it alone.
//
// The folder's devices are its file system's st_dev and, because a FUSE mount (ntfs-3g, type
// fuseblk) has a number of its own, the block device its mount names in mountinfo. A device hits
// the source when it is the source, when the source is a whole disk and the device one of its
// partitions, or when the source is a partition of the device's whole disk.
struct DeviceLayout {
    std::string sysfs = "/sys";                      // for /sys/dev/block/MAJ:MIN
    std::string mountInfo = "/proc/self/mountinfo";  // the mounts this process sees
};

bool DestinationOnSource(const std::u16string& source, const std::u16string& destination,
                         const DeviceLayout& layout);
inline bool DestinationOnSource(const std::u16string& source, const std::u16string& destination) {
    return DestinationOnSource(source, destination, DeviceLayout{});
}

// The same on device numbers: the source device and the devices behind the destination.
bool DevicesOverlap(dev_t source, const std::vector<dev_t>& destination,
                    const DeviceLayout& layout = {});

// The devices behind the file system that holds path, or that will hold it when it is made (the
// nearest folder above it that exists).
std::vector<dev_t> DevicesBehind(const std::string& path, const DeviceLayout& layout = {});

}  // namespace qv
