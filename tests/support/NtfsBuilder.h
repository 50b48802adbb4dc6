#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "volume/VolumeReader.h"

namespace qv::test {

// A whole small NTFS volume in memory: boot sector, a $MFT of a given number of records whose
// record 0 describes it, the root folder (record 5), and whatever records and data a test puts
// there. Records 1-23 are in-use placeholders unless a test sets them.
class NtfsBuilder {
public:
    static constexpr uint64_t kMftCluster = 16;
    static constexpr uint64_t kRootReference = 5 | (uint64_t{5} << 48);  // record 5, sequence 5

    explicit NtfsBuilder(uint32_t clusterSize = 4096, uint32_t recordSize = 1024,
                         uint64_t mftRecords = 64, uint64_t clusters = 2048);

    uint64_t MftClusters() const { return mftClusters_; }

    // A record image (RecordBuilder(recordSize)...Build()) at number n of the $MFT.
    void SetRecord(uint64_t n, std::vector<uint8_t> image);
    // Clusters after the $MFT that nothing uses yet. They stay free in the $Bitmap, as a
    // deletion leaves them.
    uint64_t Allocate(uint64_t clusters);
    void PutData(uint64_t lcn, const std::vector<uint8_t>& data);

    std::vector<uint8_t> Build() const;
    std::unique_ptr<VolumeReader> Open() const;
    // Writes the image to a file of this process under $TMPDIR and returns its path.
    std::string WriteImage(const std::string& name) const;

private:
    uint32_t clusterSize_, recordSize_;
    uint64_t mftRecords_, mftClusters_, clusters_, nextFree_;
    std::map<uint64_t, std::vector<uint8_t>> records_, data_;
    std::vector<uint8_t> bitmap_;
    bool ownBitmap_ = true;
};

}  // namespace qv::test
