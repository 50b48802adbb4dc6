#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "base/Error.h"
#include "platform/BlockDevice.h"

namespace qv {

// What a scan reads: an image file or a block device, and where in it the volume lies (a
// partition of a disk or a disk image). A value: the front ends keep it beside the text they show
// for it, and the engine opens it.
struct Source {
    std::u16string path;  // /dev/sdb1, or an image file
    uint64_t offset = 0;  // where the volume starts, in bytes
    uint64_t length = 0;  // the volume's length from there; 0: to the end

    bool operator==(const Source&) const = default;
};

// Opens a source read-only, the volume's bytes only: reads are bounded to the partition. The
// error names the path and the cause; its errno is EACCES or EPERM when the user may not read it.
Result<std::unique_ptr<BlockDevice>> OpenSource(const Source& source);

}  // namespace qv
