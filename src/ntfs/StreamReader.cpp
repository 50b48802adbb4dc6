#include "ntfs/StreamReader.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "base/Error.h"
#include "ntfs/RunList.h"
#include "volume/VolumeReader.h"

namespace qv {

StreamReader::StreamReader(const RunList& stream, VolumeReader& reader, int window)
    : stream_(stream),
      reader_(reader),
      size_(stream.TotalSize(reader.ClusterSize())),
      window_(window) {
    initialized_ = stream.HasSizes() && !stream.IsResident()
                       ? std::min(stream.InitializedSize(), size_)
                       : size_;
}

Result<size_t> StreamReader::ReadAt(uint64_t offset, void* buffer, size_t size) {
    if (stream_.IsCompressed())
        return Error(kErrDecompress, "a compressed stream cannot be read in place");
    if (offset >= size_) return 0;
    size = static_cast<size_t>(std::min<uint64_t>(size, size_ - offset));
    auto* out = static_cast<uint8_t*>(buffer);
    if (stream_.IsResident()) {
        const auto& bytes = stream_.Runs().front().residentBytes;
        const size_t have = offset < bytes.size() ? bytes.size() - offset : 0;
        const size_t take = std::min(size, have);
        if (take) std::memcpy(out, bytes.data() + offset, take);
        std::memset(out + take, 0, size - take);
        return size;
    }
    const uint64_t cs = reader_.ClusterSize();
    // Bytes in a number of clusters, saturated: hostile runs and gaps can be near 2^64 clusters,
    // and a product that wrapped to 0 would make no progress.
    const auto bytesOf = [cs](uint64_t clusters) {
        return clusters > UINT64_MAX / cs ? UINT64_MAX : clusters * cs;
    };
    const auto& runs = stream_.Runs();
    size_t done = 0;
    while (done < size) {
        const uint64_t position = offset + done;
        const uint64_t vcn = position / cs;
        const uint64_t within = position % cs;
        // The run holding vcn: runs are in VCN order.
        const auto after = std::upper_bound(runs.begin(), runs.end(), vcn,
                                            [](uint64_t v, const DataRun& r) { return v < r.vcn; });
        const DataRun* run = after == runs.begin() ? nullptr : &*(after - 1);
        uint64_t piece;
        if (run == nullptr || run->resident || vcn - run->vcn >= run->clusterCount) {
            // A hole between extents: as far as the next run, if any.
            const uint64_t next = after == runs.end() ? UINT64_MAX : after->vcn;
            piece = next == UINT64_MAX
                        ? size - done
                        : std::min<uint64_t>(size - done, bytesOf(next - vcn) - within);
            std::memset(out + done, 0, static_cast<size_t>(piece));
        } else {
            piece = std::min<uint64_t>(size - done,
                                       bytesOf(run->clusterCount - (vcn - run->vcn)) - within);
            piece = std::min<uint64_t>(piece, UINT32_MAX / 2);
            if (run->IsSparse()) {
                std::memset(out + done, 0, static_cast<size_t>(piece));
            } else {
                const uint64_t lcn = run->firstCluster + (vcn - run->vcn);
                if (lcn > static_cast<uint64_t>(INT64_MAX) / cs)
                    return Error(kErrSeek, "no volume cluster " + std::to_string(lcn));
                Status read = reader_.ReadAt(static_cast<int64_t>(lcn * cs + within), out + done,
                                             static_cast<uint32_t>(piece),
                                             static_cast<VolumeReader::Stream>(window_));
                if (!read) return read.error();
            }
        }
        // Bytes past the initialized size are not the stream's: whatever the clusters hold.
        if (position + piece > initialized_) {
            const uint64_t from = initialized_ > position ? initialized_ - position : 0;
            std::memset(out + done + from, 0, static_cast<size_t>(piece - from));
        }
        done += static_cast<size_t>(piece);
    }
    return done;
}

}  // namespace qv
