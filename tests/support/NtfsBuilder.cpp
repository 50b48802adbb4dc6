#include "support/NtfsBuilder.h"

#include <unistd.h>

#include <bit>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <stdexcept>

#include "support/MemoryDevice.h"
#include "support/RecordBuilder.h"
#include "support/VolumeImage.h"

namespace qv::test {

namespace {
uint8_t RecordByte(uint32_t recordSize, uint32_t clusterSize) {
    if (recordSize >= clusterSize) return static_cast<uint8_t>(recordSize / clusterSize);
    return static_cast<uint8_t>(256 - std::bit_width(recordSize - 1));  // -power, a signed byte
}
}  // namespace

NtfsBuilder::NtfsBuilder(uint32_t clusterSize, uint32_t recordSize, uint64_t mftRecords,
                         uint64_t clusters)
    : clusterSize_(clusterSize),
      recordSize_(recordSize),
      mftRecords_(mftRecords),
      mftClusters_((mftRecords * recordSize + clusterSize - 1) / clusterSize),
      clusters_(clusters),
      nextFree_(kMftCluster + mftClusters_),
      bitmap_((clusters + 7) / 8) {
    RecordBuilder mft = RecordBuilder(recordSize).InUse().RecordNumber(0);
    mft.FileName(kRootReference, u"$MFT", 3);
    SetRecord(0,
              mft.NonResidentData({{kMftCluster, mftClusters_}}, mftRecords * recordSize).Build());
    for (uint32_t n = 1; n < 24; ++n)
        SetRecord(n, RecordBuilder(recordSize).InUse().RecordNumber(n).Sequence(n).Build());
    RecordBuilder root = RecordBuilder(recordSize).InUse().Directory().Sequence(5).RecordNumber(5);
    SetRecord(5, root.FileName(kRootReference, u".", 3).Build());
    // The $Bitmap (record 6, resident while it fits; a test's own record 6 replaces it) marks
    // the boot sector's and the $MFT's clusters allocated.
    ownBitmap_ = true;  // the placeholder record 6 above is not a test's own
    for (uint64_t c = 0; c < kMftCluster + mftClusters_ && c < clusters_; ++c)
        bitmap_[c / 8] = static_cast<uint8_t>(bitmap_[c / 8] | (1u << (c % 8)));
}

void NtfsBuilder::SetRecord(uint64_t n, std::vector<uint8_t> image) {
    if (n >= mftRecords_) throw std::out_of_range("record beyond the $MFT");
    image.resize(recordSize_);
    records_[n] = std::move(image);
    if (n == 6) ownBitmap_ = false;
}

uint64_t NtfsBuilder::Allocate(uint64_t clusters) {
    const uint64_t lcn = nextFree_;
    nextFree_ += clusters;
    if (nextFree_ > clusters_) throw std::out_of_range("test volume full");
    return lcn;
}

void NtfsBuilder::PutData(uint64_t lcn, const std::vector<uint8_t>& data) {
    data_[lcn] = data;
}

std::vector<uint8_t> NtfsBuilder::Build() const {
    VolumeImage image(clusterSize_, clusters_, kMftCluster, 512,
                      RecordByte(recordSize_, clusterSize_));
    for (const auto& [n, record] : records_)
        image.PutAt(kMftCluster * clusterSize_ + n * recordSize_, record);
    if (ownBitmap_ && bitmap_.size() + 256 <= recordSize_) {
        RecordBuilder bitmap = RecordBuilder(recordSize_).InUse().RecordNumber(6).Sequence(6);
        bitmap.ResidentData(bitmap_);
        image.PutAt(kMftCluster * clusterSize_ + 6 * recordSize_, bitmap.Build());
    }
    for (const auto& [lcn, bytes] : data_)
        image.Put(lcn, bytes);
    return image.Bytes();
}

std::unique_ptr<VolumeReader> NtfsBuilder::Open() const {
    auto reader = std::make_unique<VolumeReader>();
    if (!reader->Open(std::make_unique<MemoryDevice>(Build())))
        throw std::runtime_error("synthetic volume does not open");
    return reader;
}

std::string NtfsBuilder::WriteImage(const std::string& name) const {
    // Tests run in parallel processes: the name gets the process id, so none overwrites
    // another's image while it is being scanned.
    const char* dir = std::getenv("TMPDIR");
    const std::string path =
        std::string(dir && *dir ? dir : "/tmp") + "/" + std::to_string(::getpid()) + "-" + name;
    const auto bytes = Build();
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return path;
}

}  // namespace qv::test
