#include "scan/ClusterBitmap.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <string>

#include "ntfs/FileRecord.h"
#include "ntfs/StreamReader.h"
#include "volume/VolumeReader.h"

namespace qv {

namespace {

constexpr uint64_t kBitmapRecord = 6;

// Set bits among bits [from, to) of bytes.
uint64_t CountBits(const uint8_t* bytes, uint64_t from, uint64_t to) {
    uint64_t count = 0;
    while (from < to && from % 8 != 0) {
        count += (bytes[from / 8] >> (from % 8)) & 1u;
        ++from;
    }
    while (to - from >= 64) {
        uint64_t word;
        std::memcpy(&word, bytes + from / 8, sizeof word);
        count += static_cast<uint64_t>(std::popcount(word));
        from += 64;
    }
    while (to - from >= 8) {
        count += static_cast<uint64_t>(std::popcount(bytes[from / 8]));
        from += 8;
    }
    for (; from < to; ++from)
        count += (bytes[from / 8] >> (from % 8)) & 1u;
    return count;
}

}  // namespace

ClusterBitmap::ClusterBitmap(std::unique_ptr<ByteSource> bits, uint64_t clusters, size_t chunkBytes,
                             size_t maxChunks)
    : bits_(std::move(bits)),
      chunkBytes_(std::max<size_t>(chunkBytes, 8)),
      maxChunks_(std::max<size_t>(maxChunks, 1)) {
    const uint64_t size = bits_->Size();
    const uint64_t described = size > UINT64_MAX / 8 ? UINT64_MAX : size * 8;
    clusters_ = clusters == 0 ? described : std::min(clusters, described);
}

ClusterBitmap::~ClusterBitmap() {
    bits_.reset();  // before the record it reads through
}

void ClusterBitmap::Keep(std::unique_ptr<FileRecord> record) {
    record_ = std::move(record);
}

Result<const std::vector<uint8_t>*> ClusterBitmap::Chunk(uint64_t index) {
    ++uses_;
    for (Cached& c : cache_)
        if (c.index == index) {
            c.lastUse = uses_;
            return &c.bytes;
        }
    Cached* slot = nullptr;
    if (cache_.size() < maxChunks_) {
        slot = &cache_.emplace_back();
    } else {
        slot = &*std::min_element(
            cache_.begin(), cache_.end(),
            [](const Cached& a, const Cached& b) { return a.lastUse < b.lastUse; });
    }
    slot->index = index;
    slot->lastUse = uses_;
    slot->bytes.assign(chunkBytes_, 0);
    const Result<size_t> read = bits_->ReadAt(index * chunkBytes_, slot->bytes.data(), chunkBytes_);
    if (!read) {
        slot->index = UINT64_MAX;  // never matches a chunk asked for
        return Error(kErrRead, "the allocation bitmap cannot be read: " + read.error().Text());
    }
    return &slot->bytes;
}

Result<uint64_t> ClusterBitmap::CountAllocated(uint64_t first, uint64_t count) {
    if (first > clusters_ || count > clusters_ - first)
        return Error(kErrRead, "clusters " + std::to_string(first) + " (+" + std::to_string(count) +
                                   ") lie past the volume's " + std::to_string(clusters_) +
                                   " clusters");
    const uint64_t bitsPerChunk = uint64_t{chunkBytes_} * 8;
    uint64_t allocated = 0;
    uint64_t at = first;
    const uint64_t end = first + count;
    while (at < end) {
        const uint64_t index = at / bitsPerChunk;
        const Result<const std::vector<uint8_t>*> chunk = Chunk(index);
        if (!chunk) return chunk.error();
        const uint64_t from = at - index * bitsPerChunk;
        const uint64_t to = std::min(end - index * bitsPerChunk, bitsPerChunk);
        allocated += CountBits((*chunk)->data(), from, to);
        at = index * bitsPerChunk + to;
    }
    return allocated;
}

Result<std::unique_ptr<ClusterBitmap>> OpenClusterBitmap(const RecordReader& readRecord,
                                                         VolumeReader& reader) {
    const uint32_t clusterSize = reader.ClusterSize();
    std::vector<uint8_t> image;
    if (Status read = readRecord(kBitmapRecord, image); !read)
        return Error(kErrRead, "its record (6) cannot be read: " + read.error().Text());
    auto record = std::make_unique<FileRecord>();
    record->SetHeader(image);
    if (!HasFileSignature(image.data(), image.size()) ||
        record->Parse(image, clusterSize, &reader) == Parsed::kUnreadable)
        return Error(kErrRead, "its record (6) is not a FILE record");
    // A fragmented bitmap continues in extension records named by its attribute list.
    for (size_t i = 0; i < record->AttributeListCount(); ++i) {
        const AttributeListEntry entry = *record->GetAttributeListEntry(i);
        const uint64_t segment = entry.SegmentRecordNumber();
        if (entry.type != kAttrData || !entry.name.empty() || segment == kBitmapRecord) continue;
        std::vector<uint8_t> extension;
        if (!readRecord(segment, extension) ||
            !record->ParseListedAttribute(extension, entry, clusterSize, &reader))
            return Error(kErrRead,
                         "its extension record " + std::to_string(segment) + " cannot be read");
    }
    const RunList* data = record->UnnamedStream();
    if (data == nullptr) return Error(kErrRead, "its record (6) has no $DATA");
    if (data->Damaged()) return Error(kErrRead, "its data runs are damaged");
    if (data->IsCompressed()) return Error(kErrRead, "it is compressed");
    const BootParameters& boot = reader.Boot();
    const uint64_t sectorsPerCluster = boot.bytesPerSector ? clusterSize / boot.bytesPerSector : 0;
    const uint64_t clusters = sectorsPerCluster ? boot.totalSectors / sectorsPerCluster : 0;
    auto bitmap =
        std::make_unique<ClusterBitmap>(std::make_unique<StreamReader>(*data, reader), clusters);
    bitmap->Keep(std::move(record));
    return bitmap;
}

}  // namespace qv
