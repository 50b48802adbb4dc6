#pragma once

#include <cstddef>
#include <cstdint>

#include "base/Error.h"

namespace qv {

// Bytes read by position: a block device, an image file, a file of ours, or one stream of the
// volume read where it lies. Read only: nothing can be written through it.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Reads up to size bytes at offset: the count read (fewer only at the end; 0 at or past the
    // end), or the error (kErrRead, with the errno) of a read that failed.
    virtual Result<size_t> ReadAt(uint64_t offset, void* buffer, size_t size) = 0;
    // Size in bytes.
    virtual uint64_t Size() const = 0;
};

}  // namespace qv
