#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/Error.h"
#include "platform/BlockDevice.h"

namespace qv {

// One partition of a disk (or a disk image), as its partition table describes it.
struct Partition {
    int number = 0;          // as the table numbers it: 1-4 primary, 5 on logical (MBR)
    uint64_t start = 0;      // bytes from the disk's start
    uint64_t size = 0;       // bytes
    std::string type;        // the table's type: "0x7", a GPT type GUID
    std::string fileSystem;  // what libblkid finds on it ("ntfs", "vfat", ""...)
    bool extended = false;   // an MBR extended partition: a container of logical ones
};

// The partition table of a disk: its scheme ("dos", "gpt"; empty when it has none) and its
// partitions, found with libblkid's partition probing. path is the disk's file or device; disk
// reads its bytes (a container's disk, when path is an image container), and the probing reads
// through a private copy of the sectors the tables lie in.
struct PartitionTable {
    std::string scheme;
    uint32_t sectorSize = 512;
    std::vector<Partition> partitions;
};
Result<PartitionTable> FindPartitions(const std::u16string& path, BlockDevice& disk,
                                      bool throughContainer);

}  // namespace qv
