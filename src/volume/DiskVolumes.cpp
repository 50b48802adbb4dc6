#include "volume/DiskVolumes.h"

#include <span>

#include "platform/DiskImage.h"
#include "platform/Text.h"
#include "volume/BootSector.h"

namespace qv {

namespace {

// Whether the bytes at offset of disk begin an NTFS volume, and if not, why.
bool IsNtfs(BlockDevice& disk, uint64_t offset, std::string* why) {
    uint8_t sector[BootParameters::kSectorBytes];
    const Result<size_t> got = disk.ReadAt(offset, sector, sizeof sector);
    if (!got || *got != sizeof sector) {
        *why = "its first sector cannot be read";
        return false;
    }
    std::string reason;
    if (BootParameters::Parse(std::span<const uint8_t, 512>(sector), &reason)) return true;
    *why = "not an NTFS volume: " + reason;
    return false;
}

}  // namespace

std::vector<const DiskVolume*> DiskLayout::NtfsVolumes() const {
    std::vector<const DiskVolume*> found;
    for (const DiskVolume& v : volumes)
        if (v.ntfs) found.push_back(&v);
    return found;
}

Result<DiskLayout> ExamineDisk(const std::u16string& path) {
    const ImageFormat format = DetectImageFormat(path);
    auto opened = OpenDiskImage(path, format);
    if (!opened) return opened.error();
    BlockDevice& disk = **opened;
    DiskLayout layout;
    layout.format = ImageFormatName(format);
    layout.size = disk.Size();
    DiskVolume whole;
    whole.source = Source{path};
    whole.partition.size = disk.Size();
    if (IsNtfs(disk, 0, &whole.notNtfs)) {
        whole.ntfs = true;
        layout.volumes.push_back(whole);
        return layout;
    }
    auto table = FindPartitions(path, disk, format != ImageFormat::kRaw);
    if (!table) return table.error();
    layout.scheme = table->scheme;
    if (table->scheme.empty()) {
        // No table either: what there is, is said once, as the whole disk.
        layout.volumes.push_back(whole);
        return layout;
    }
    for (const Partition& part : table->partitions) {
        if (part.extended) continue;
        DiskVolume v;
        v.partition = part;
        v.source = Source{path, part.start, part.size, part.number};
        v.ntfs = IsNtfs(disk, part.start, &v.notNtfs);
        layout.volumes.push_back(std::move(v));
    }
    return layout;
}

}  // namespace qv
