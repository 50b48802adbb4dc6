#include "cli/SourceChoice.h"

#include <cstdio>

#include "cli/Commands.h"
#include "platform/Text.h"
#include "platform/VolumeEnumeration.h"
#include "volume/DiskVolumes.h"

namespace qv {

namespace {

void ListPartitions(const std::string& source, const DiskLayout& layout) {
    for (const DiskVolume& v : layout.volumes)
        std::fprintf(
            stderr, "  partition %d: %s, start %llu, %llu bytes\n", v.partition.number,
            v.ntfs ? "NTFS"
                   : (v.partition.fileSystem.empty() ? "not NTFS" : v.partition.fileSystem.c_str()),
            static_cast<unsigned long long>(v.partition.start),
            static_cast<unsigned long long>(v.partition.size));
    (void)source;
}

}  // namespace

SourceChoice ChooseSource(const std::string& source, int partition) {
    SourceChoice choice;
    const std::u16string text = FromUtf8(source);
    if (const char16_t letter = ParseDriveLetter(text)) {
        for (const Drive& drive : MakeDriveList(FindNtfsVolumes(), {}))
            if (drive.letter == letter) {
                choice.drive = drive;
                return choice;
            }
        std::fprintf(stderr, "quorvane-cli: %s names no NTFS volume of this machine\n",
                     source.c_str());
        choice.exitStatus = kExitBadArguments;
        return choice;
    }
    choice.drive = Drive{u'C', {}, Source{text}};
    auto layout = ExamineDisk(text);
    // What cannot be examined is scanned as it stands: the scan says why it cannot be opened.
    if (!layout && partition != 0) {
        std::fprintf(stderr, "quorvane-cli: %s\n", layout.error().Text().c_str());
        choice.exitStatus = kExitCannotOpen;
        return choice;
    }
    if (!layout || layout->scheme.empty()) {
        if (partition != 0) {
            std::fprintf(stderr, "quorvane-cli: --partition %d: %s has no partition table\n",
                         partition, source.c_str());
            choice.exitStatus = kExitBadArguments;
        }
        return choice;
    }
    const auto ntfs = layout->NtfsVolumes();
    const DiskVolume* chosen = nullptr;
    if (partition != 0) {
        for (const DiskVolume& v : layout->volumes)
            if (v.partition.number == partition) chosen = &v;
        if (!chosen || !chosen->ntfs) {
            std::fprintf(
                stderr, "quorvane-cli: --partition %d: %s\n", partition,
                chosen ? ("partition " + std::to_string(partition) + " of " + source + " is " +
                          chosen->notNtfs)
                             .c_str()
                       : ("no partition " + std::to_string(partition) + " on " + source).c_str());
            ListPartitions(source, *layout);
            choice.exitStatus = kExitBadArguments;
            return choice;
        }
    } else if (ntfs.size() == 1) {
        chosen = ntfs.front();
    } else if (ntfs.empty()) {
        std::fprintf(stderr, "quorvane-cli: %s holds no NTFS volume; its partitions:\n",
                     source.c_str());
        ListPartitions(source, *layout);
        choice.exitStatus = kExitCannotOpen;
        return choice;
    } else {
        std::fprintf(stderr,
                     "quorvane-cli: %s holds %zu NTFS partitions; choose one with --partition N:\n",
                     source.c_str(), ntfs.size());
        ListPartitions(source, *layout);
        choice.exitStatus = kExitBadArguments;
        return choice;
    }
    choice.drive.source = chosen->source;
    choice.drive.label =
        text + u", partition " + FromUtf8(std::to_string(chosen->partition.number));
    choice.note = "partition " + std::to_string(chosen->partition.number) + " of " + source +
                  " (NTFS, " + std::to_string(chosen->partition.size) + " bytes from byte " +
                  std::to_string(chosen->partition.start) + ")";
    return choice;
}

}  // namespace qv
