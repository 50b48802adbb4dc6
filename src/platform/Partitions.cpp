#include "platform/Partitions.h"

#include <blkid/blkid.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include "base/LittleEndian.h"
#include "platform/Text.h"

namespace qv {

namespace {

struct Descriptor {
    int fd = -1;
    ~Descriptor() {
        if (fd >= 0) ::close(fd);
    }
};

using Probe = std::unique_ptr<std::remove_pointer_t<blkid_probe>, decltype(&blkid_free_probe)>;

// Copies [offset, offset + size) of disk into the same place of fd (a sparse file of the disk's
// size): what libblkid will read of a disk it cannot open itself.
bool CopyRange(BlockDevice& disk, int fd, uint64_t offset, uint64_t size) {
    std::vector<uint8_t> bytes(static_cast<size_t>(std::min<uint64_t>(size, 1u << 20)));
    while (size > 0 && offset < disk.Size()) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(size, bytes.size()));
        const Result<size_t> got = disk.ReadAt(offset, bytes.data(), n);
        if (!got) return false;
        if (*got == 0) break;
        if (::pwrite(fd, bytes.data(), *got, static_cast<off_t>(offset)) !=
            static_cast<ssize_t>(*got))
            return false;
        offset += *got;
        size -= *got;
    }
    return true;
}

// The extended boot records of an MBR's extended partitions, followed down their chain: they lie
// anywhere on the disk, so a copy of the disk's ends alone would miss the logical partitions.
void CopyBootRecordChain(BlockDevice& disk, int fd) {
    uint8_t mbr[512];
    const Result<size_t> got = disk.ReadAt(0, mbr, sizeof mbr);
    if (!got || *got != sizeof mbr || mbr[510] != 0x55 || mbr[511] != 0xAA) return;
    for (int i = 0; i < 4; ++i) {
        const uint8_t* entry = mbr + 446 + 16 * i;
        const uint8_t type = entry[4];
        if (type != 0x05 && type != 0x0F && type != 0x85) continue;
        const uint64_t extended = Load32(entry + 8);
        uint64_t next = extended;
        for (int hops = 0; hops < 256 && next != 0; ++hops) {
            uint8_t ebr[512];
            const Result<size_t> read = disk.ReadAt(next * 512, ebr, sizeof ebr);
            if (!read || *read != sizeof ebr) break;
            ::pwrite(fd, ebr, sizeof ebr, static_cast<off_t>(next * 512));
            const uint64_t link = Load32(ebr + 446 + 16 + 8);
            next = link == 0 ? 0 : extended + link;
        }
    }
}

// Whether a GPT header stands at the given logical block size.
bool GptAt(BlockDevice& disk, uint32_t sectorSize) {
    uint8_t header[8];
    const Result<size_t> got = disk.ReadAt(sectorSize, header, sizeof header);
    return got && *got == sizeof header && std::memcmp(header, "EFI PART", 8) == 0;
}

std::string FileSystemOf(int fd, uint64_t start, uint64_t size) {
    Probe probe(blkid_new_probe(), &blkid_free_probe);
    if (!probe || blkid_probe_set_device(probe.get(), fd, static_cast<blkid_loff_t>(start),
                                         static_cast<blkid_loff_t>(size)) != 0)
        return {};
    blkid_probe_enable_superblocks(probe.get(), 1);
    blkid_probe_set_superblocks_flags(probe.get(), BLKID_SUBLKS_TYPE);
    const char* type = nullptr;
    if (blkid_do_safeprobe(probe.get()) == 0 &&
        blkid_probe_lookup_value(probe.get(), "TYPE", &type, nullptr) == 0 && type)
        return type;
    return {};
}

}  // namespace

Result<PartitionTable> FindPartitions(const std::u16string& path, BlockDevice& disk,
                                      bool throughContainer) {
    const std::string native = ToUtf8(path);
    PartitionTable table;
    Descriptor fd;
    if (throughContainer) {
        fd.fd = ::memfd_create("quorvane-partitions", MFD_CLOEXEC);
        if (fd.fd < 0 || ::ftruncate(fd.fd, static_cast<off_t>(disk.Size())) != 0)
            return Error(kErrOpenVolume, "cannot read the partition table of " + native);
        const uint64_t edge = 1u << 20;
        CopyRange(disk, fd.fd, 0, edge);
        if (disk.Size() > edge) CopyRange(disk, fd.fd, disk.Size() - edge, edge);
        CopyBootRecordChain(disk, fd.fd);
    } else {
        fd.fd = ::open(native.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd.fd < 0)
            return Error(kErrOpenVolume, "cannot open " + native + ": " + std::strerror(errno),
                         errno);
    }
    Probe probe(blkid_new_probe(), &blkid_free_probe);
    if (!probe || blkid_probe_set_device(probe.get(), fd.fd, 0, 0) != 0)
        return Error(kErrOpenVolume, "cannot read the partition table of " + native);
    // An image file carries no logical block size; a GPT says it by where its header lies.
    if (!GptAt(disk, 512) && GptAt(disk, 4096)) {
        blkid_probe_set_sectorsize(probe.get(), 4096);
        table.sectorSize = 4096;
    }
    blkid_probe_enable_superblocks(probe.get(), 0);
    blkid_probe_enable_partitions(probe.get(), 1);
    blkid_probe_set_partitions_flags(probe.get(), BLKID_PARTS_ENTRY_DETAILS);
    if (blkid_do_fullprobe(probe.get()) != 0) return table;  // no partition table
    blkid_partlist list = blkid_probe_get_partitions(probe.get());
    if (!list) return table;
    if (blkid_parttable root = blkid_partlist_get_table(list))
        table.scheme = blkid_parttable_get_type(root) ? blkid_parttable_get_type(root) : "";
    const int count = blkid_partlist_numof_partitions(list);
    for (int i = 0; i < count; ++i) {
        blkid_partition p = blkid_partlist_get_partition(list, i);
        Partition part;
        part.number = blkid_partition_get_partno(p);
        part.start = static_cast<uint64_t>(blkid_partition_get_start(p)) * 512;
        part.size = static_cast<uint64_t>(blkid_partition_get_size(p)) * 512;
        part.extended = blkid_partition_is_extended(p) != 0;
        if (const char* type = blkid_partition_get_type_string(p)) {
            part.type = type;
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "0x%x", blkid_partition_get_type(p));
            part.type = hex;
        }
        table.partitions.push_back(part);
    }
    for (Partition& part : table.partitions) {
        if (part.extended) continue;
        if (throughContainer)
            CopyRange(disk, fd.fd, part.start, std::min<uint64_t>(part.size, 1u << 20));
        part.fileSystem = FileSystemOf(fd.fd, part.start, part.size);
    }
    return table;
}

}  // namespace qv
