#pragma once

#include <cstdint>

#include "platform/ByteSource.h"

namespace qv {

class RunList;
class VolumeReader;

// One plain (not compressed) stream read by byte offset where it lies on the volume, without
// copying it first: the advanced scan reads the $LogFile's pages through it. Sparse runs, holes
// between extents and bytes past the initialized size read as zeros; a read past the stream's
// size is cut there. A compressed stream cannot be read this way (every read fails with
// kErrDecompress). The stream and the reader must outlive it.
class StreamReader final : public ByteSource {
public:
    // Reads go through the reader's window of the given stream (VolumeReader::Stream).
    StreamReader(const RunList& stream, VolumeReader& reader, int window = 0);
    // The count read (cut at the stream's size), or the volume reader's error.
    Result<size_t> ReadAt(uint64_t offset, void* buffer, size_t size) override;
    uint64_t Size() const override { return size_; }

private:
    const RunList& stream_;
    VolumeReader& reader_;
    uint64_t size_;
    uint64_t initialized_;
    int window_;
};

}  // namespace qv
