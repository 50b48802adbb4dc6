#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "base/Error.h"
#include "platform/ByteSource.h"

namespace qv {

class FileRecord;
class VolumeReader;

// The volume's allocation bitmap as it is now: bit n (least significant bit first) is set when
// cluster n belongs to a file. The bits are read through a byte source in chunks, and only a
// bounded number of chunks is kept: the bitmap of a large volume is hundreds of megabytes.
class ClusterBitmap {
public:
    static constexpr size_t kChunkBytes = 64 << 10;  // 512 Ki clusters per chunk
    static constexpr size_t kMaxChunks = 64;         // 4 MiB kept at most

    // clusters: how many clusters the volume has (0: as many as the bits describe); bits past
    // them describe no cluster.
    explicit ClusterBitmap(std::unique_ptr<ByteSource> bits, uint64_t clusters = 0,
                           size_t chunkBytes = kChunkBytes, size_t maxChunks = kMaxChunks);
    ~ClusterBitmap();

    // Clusters the bitmap describes.
    uint64_t ClusterCount() const { return clusters_; }
    // How many of count clusters from first are allocated now. An error when the range runs past
    // the last cluster (the runs point outside the volume) or the bits cannot be read.
    Result<uint64_t> CountAllocated(uint64_t first, uint64_t count);

    // Keeps what the byte source reads through (the $Bitmap's record and its runs).
    void Keep(std::unique_ptr<FileRecord> record);

private:
    Result<const std::vector<uint8_t>*> Chunk(uint64_t index);

    struct Cached {
        uint64_t index = 0;
        uint64_t lastUse = 0;
        std::vector<uint8_t> bytes;
    };
    std::unique_ptr<FileRecord> record_;  // declared before bits_: bits_ reads through it
    std::unique_ptr<ByteSource> bits_;
    uint64_t clusters_;
    size_t chunkBytes_;
    size_t maxChunks_;
    uint64_t uses_ = 0;
    std::vector<Cached> cache_;
};

// Reads a record of the $MFT by number (no fixups applied).
using RecordReader = std::function<Status(uint64_t number, std::vector<uint8_t>& buffer)>;

// The bitmap of the volume behind reader, from its $Bitmap (record 6): the unnamed $DATA read
// where it lies. An error naming the cause when the record or its stream cannot be used.
Result<std::unique_ptr<ClusterBitmap>> OpenClusterBitmap(const RecordReader& readRecord,
                                                         VolumeReader& reader);

}  // namespace qv
