#include "ntfs/DataCopy.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "base/Error.h"
#include "base/Progress.h"
#include "ntfs/FileRecord.h"
#include "ntfs/Lznt1.h"
#include "ntfs/RunList.h"
#include "volume/VolumeReader.h"

namespace qv {

namespace {

// Plain streams are read in pieces of up to 1 MiB (at least one cluster); the volume reader's
// window makes consecutive pieces cheap.
constexpr uint64_t kPieceBytes = 1u << 20;
// NTFS compression units are 16 clusters of at most 4 KiB; refuse absurd ones.
constexpr uint64_t kMaxUnitBytes = 1u << 20;  // 16 clusters of 64 KiB

// Writes the stream front to back: cuts at the stream's size, zeroes what lies past the
// initialized size, reports progress.
class StreamWriter {
public:
    StreamWriter(ByteSink& output, Progress& progress, uint64_t total, uint64_t initialized)
        : output_(output), progress_(progress), total_(total), initialized_(initialized) {}

    bool Done() const { return position_ >= total_; }
    uint64_t Remaining() const { return total_ - position_; }

    // Writes the first min(size, Remaining()) bytes of data; data may be changed (zeroed).
    Status Put(uint8_t* data, uint64_t size) {
        const uint64_t n = std::min(size, Remaining());
        if (n == 0) return {};
        if (position_ + n > initialized_) {
            const uint64_t from = initialized_ > position_ ? initialized_ - position_ : 0;
            std::memset(data + from, 0, n - from);
        }
        if (Status written = output_.Write(data, n); !written) return written;
        position_ += n;
        progress_.Step(n);
        return {};
    }

    // Put for bytes that lie wholly before the initialized size.
    Status PutWhole(const uint8_t* data, uint64_t size) {
        const uint64_t n = std::min(size, Remaining());
        if (n == 0) return {};
        if (Status written = output_.Write(data, n); !written) return written;
        position_ += n;
        progress_.Step(n);
        return {};
    }

    Status PutZeros(uint64_t size, std::vector<uint8_t>& scratch) {
        uint64_t left = std::min(size, Remaining());
        while (left > 0) {
            const uint64_t n = std::min<uint64_t>(left, scratch.size());
            std::memset(scratch.data(), 0, n);
            if (Status put = Put(scratch.data(), n); !put) return put;
            left -= n;
        }
        return {};
    }

private:
    ByteSink& output_;
    Progress& progress_;
    uint64_t total_;
    uint64_t initialized_;
    uint64_t position_ = 0;
};

Result<Copied> CopyResident(const DataRun& run, StreamWriter& writer) {
    // A resident value is initialized whole: nothing of it is zeroed, so it is written as it is.
    if (Status put = writer.PutWhole(run.residentBytes.data(), run.residentBytes.size()); !put)
        return put.error();
    return Copied::kWhole;
}

Result<Copied> CopyPlain(const RunList& stream, VolumeReader& reader, StreamWriter& writer,
                         Progress& progress) {
    const uint64_t cs = reader.ClusterSize();
    // As large as a piece, or as the stream when it is smaller: a recovery of many small files
    // must not allocate (and zero) a megabyte for each.
    const uint64_t size = writer.Remaining();
    const uint64_t streamClusters = size / cs + (size % cs != 0);
    const uint64_t pieceClusters =
        std::max<uint64_t>(1, std::min(kPieceBytes / cs, streamClusters));
    std::vector<uint8_t> buffer(pieceClusters * cs);
    uint64_t nextVcn = 0;
    bool gap = false;
    for (const DataRun& run : stream.Runs()) {
        if (progress.IsCancelled()) return Copied::kStopped;
        if (writer.Done()) break;
        if (run.resident) {
            if (auto r = CopyResident(run, writer); !r) return r;
            continue;
        }
        if (run.vcn > nextVcn) {
            // An extent is missing: keep the offsets of what follows, and say so at the end.
            gap = true;
            if (Status put = writer.PutZeros((run.vcn - nextVcn) * cs, buffer); !put)
                return put.error();
            nextVcn = run.vcn;
        }
        uint64_t index = nextVcn - run.vcn;  // skip clusters an overlapping extent gave already
        while (index < run.clusterCount && !writer.Done()) {
            if (progress.IsCancelled()) return Copied::kStopped;
            // Not (Remaining() + cs - 1) / cs: that wraps for a data size near 2^64, and a piece
            // of 0 clusters never ends the loop.
            const uint64_t remaining = writer.Remaining();
            const uint64_t wanted = remaining / cs + (remaining % cs != 0);
            const uint64_t n = std::min({pieceClusters, run.clusterCount - index, wanted});
            const uint32_t bytes = static_cast<uint32_t>(n * cs);
            if (run.IsSparse()) {
                std::memset(buffer.data(), 0, bytes);
            } else {
                Status read = reader.ReadClusters(run.firstCluster + index, buffer.data(), bytes);
                if (!read) return read.error();
            }
            if (Status put = writer.Put(buffer.data(), bytes); !put) return put.error();
            index += n;
        }
        nextVcn = std::max(nextVcn, run.vcn + run.clusterCount);
    }
    if (!writer.Done() || gap) return Copied::kIncomplete;
    return Copied::kWhole;
}

// Walks a stream's runs cluster range by cluster range in VCN order.
class RunCursor {
public:
    explicit RunCursor(const std::vector<DataRun>& runs) : runs_(runs) {}

    struct Piece {
        uint64_t vcn;
        uint64_t count;
        uint64_t firstCluster;  // 0: sparse
    };

    // The next piece of a run at or after vcn (it may begin later: a hole); false at the end.
    bool Next(uint64_t vcn, Piece& piece) {
        while (index_ < runs_.size()) {
            const DataRun& r = runs_[index_];
            const uint64_t end = r.vcn + r.clusterCount;
            if (r.resident || end <= vcn) {
                ++index_;
                continue;
            }
            const uint64_t from = std::max(vcn, r.vcn);
            piece.vcn = from;
            piece.count = end - from;
            piece.firstCluster = r.IsSparse() ? 0 : r.firstCluster + (from - r.vcn);
            return true;
        }
        return false;
    }

private:
    const std::vector<DataRun>& runs_;
    size_t index_ = 0;
};

// A compression unit of u clusters is stored in one of three ways: all u clusters allocated
// (stored as is), none (zeros), or the first few allocated and the rest sparse (LZNT1, which
// decodes to the whole unit; what it does not produce is zeros).
Result<Copied> CopyCompressed(const RunList& stream, VolumeReader& reader, StreamWriter& writer,
                              Progress& progress) {
    const uint64_t cs = reader.ClusterSize();
    const uint64_t u = stream.ClustersPerUnit();
    if (u > kMaxUnitBytes / cs)
        return Error(kErrDecompress, "a compression unit of " + std::to_string(u) +
                                         " clusters is larger than NTFS makes them");
    const uint64_t unitBytes = u * cs;
    std::vector<uint8_t> input(unitBytes);
    std::vector<uint8_t> output(unitBytes);
    RunCursor cursor(stream.Runs());
    bool incomplete = false;
    for (uint64_t unitVcn = 0; !writer.Done(); unitVcn += u) {
        if (progress.IsCancelled()) return Copied::kStopped;
        uint64_t covered = 0;    // clusters of the unit the runs describe
        uint64_t allocated = 0;  // of which hold data, gathered at the front of input
        bool sparse = false;
        bool runsEnded = false;
        RunCursor::Piece piece{};
        while (covered < u) {
            if (!cursor.Next(unitVcn + covered, piece)) {
                runsEnded = true;
                break;
            }
            if (piece.vcn > unitVcn + covered) {
                // A hole between extents: an extent is missing.
                incomplete = true;
                sparse = true;
                covered = std::min(piece.vcn - unitVcn, u);
                continue;
            }
            const uint64_t count = std::min(piece.count, u - covered);
            if (piece.firstCluster == 0) {
                sparse = true;
            } else {
                Status read = reader.ReadClusters(piece.firstCluster, input.data() + allocated * cs,
                                                  static_cast<uint32_t>(count * cs));
                if (!read) return read.error();
                allocated += count;
            }
            covered += count;
        }
        if (covered == 0) break;  // the runs have ended at a unit boundary
        Status ok;
        if (allocated == u) {
            ok = writer.Put(input.data(), unitBytes);
        } else if (allocated == 0) {
            ok = writer.PutZeros(covered * cs, output);
        } else if (runsEnded && !sparse && allocated * cs >= writer.Remaining()) {
            // The file's last unit, stored as is in just the clusters it needs (ntfs-3g does
            // this): a compressed unit always ends in sparse clusters.
            ok = writer.Put(input.data(), allocated * cs);
        } else {
            const int32_t produced = DecompressUnit(ByteSpan(input.data(), allocated * cs), output);
            if (produced < 0)
                return Error(produced, "compression unit at cluster " + std::to_string(unitVcn) +
                                           " of the stream cannot be decoded");
            if (runsEnded && !sparse) {
                // The runs end inside a unit without its sparse tail and before the file's
                // size: write what the clusters decode to and report the copy as incomplete.
                incomplete = true;
                ok = writer.Put(output.data(), static_cast<uint64_t>(produced));
            } else {
                std::memset(output.data() + produced, 0, unitBytes - produced);
                ok = writer.Put(output.data(), unitBytes);
            }
        }
        if (!ok) return ok.error();
        if (runsEnded) break;
    }
    if (!writer.Done() || incomplete) return Copied::kIncomplete;
    return Copied::kWhole;
}

}  // namespace

Result<Copied> CopyTo(const RunList& stream, VolumeReader& reader, ByteSink& output,
                      Progress& progress) {
    const uint64_t total = stream.TotalSize(reader.ClusterSize());
    const uint64_t initialized =
        stream.HasSizes() ? std::min(stream.InitializedSize(), total) : total;
    StreamWriter writer(output, progress, total, stream.IsResident() ? total : initialized);
    try {
        if (stream.IsResident()) return CopyResident(stream.Runs().front(), writer);
        if (stream.IsCompressed()) return CopyCompressed(stream, reader, writer, progress);
        return CopyPlain(stream, reader, writer, progress);
    } catch (const std::bad_alloc&) {
        return Error(kErrNoMemory);
    }
}

Result<Copied> CopyRecordData(ByteSink& output, const FileRecord& record, VolumeReader& reader,
                              Progress& progress) {
    progress.SetSteps(static_cast<int64_t>(record.TotalDataSize(reader.ClusterSize())));
    if (progress.IsCancelled()) return Copied::kStopped;
    const RunList* content = record.UnnamedStream();
    if (content == nullptr) return Copied::kWhole;
    return CopyTo(*content, reader, output, progress);
}

}  // namespace qv
