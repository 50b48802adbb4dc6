#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "base/Error.h"
#include "platform/BlockDevice.h"

namespace qv {

// What a scan reads: an image file (raw, or an EWF, VHD/VHDX, VMDK or QCOW2 container) or a
// block device, and where on its disk the volume lies (a partition of a disk or a disk image). A
// value: the front ends keep it beside the text they show for it, and the engine opens it.
struct Source {
    std::u16string path;  // /dev/sdb1, an image file, or an image container's first file
    uint64_t offset = 0;  // where the volume starts on the disk, in bytes
    uint64_t length = 0;  // the volume's length from there; 0: to the end
    int partition = 0;    // its number in the disk's partition table; 0: the whole disk

    bool operator==(const Source&) const = default;
};

// Opens a source's disk read-only: the container's disk when the file is one (by its
// signature), the file or device itself otherwise. The error names the path and the cause; its
// errno is EACCES or EPERM when the user may not read it.
Result<std::unique_ptr<BlockDevice>> OpenDisk(const std::u16string& path);

// Opens a source read-only, the volume's bytes only: reads are bounded to the partition.
Result<std::unique_ptr<BlockDevice>> OpenSource(const Source& source);

}  // namespace qv
