// quorvane-cli volumes: what each source holds, partition by partition.
#include <cstdio>

#include "cli/Commands.h"
#include "platform/Text.h"
#include "volume/DiskVolumes.h"

namespace qv {

void AddVolumesCommand(CLI::App& app, VolumesArguments& options) {
    CLI::App* volumes = app.add_subcommand(
        "volumes",
        "List what each SOURCE holds: its partitions (number, start, size, file system) and which "
        "are NTFS volumes that scan and recover can read (--partition N picks one).");
    volumes
        ->add_option("SOURCE", options.sources,
                     "image files (raw, E01, VHD(X), VMDK, QCOW2) "
                     "or block devices")
        ->required();
}

int RunVolumesCommand(const VolumesArguments& options) {
    int status = kExitOk;
    for (const std::string& source : options.sources) {
        auto layout = ExamineDisk(FromUtf8(source));
        if (!layout) {
            std::fprintf(stderr, "quorvane-cli: %s\n", layout.error().Text().c_str());
            status = kExitCannotOpen;
            continue;
        }
        const char* scheme = layout->scheme == "dos"   ? "MBR partition table"
                             : layout->scheme == "gpt" ? "GPT partition table"
                             : layout->scheme.empty()  ? "no partition table"
                                                       : layout->scheme.c_str();
        std::printf("%s: %s image, %llu bytes, %s\n", source.c_str(), layout->format.c_str(),
                    static_cast<unsigned long long>(layout->size), scheme);
        std::printf("%-5s %15s %15s  %-12s %s\n", "Part", "Start", "Size", "File system", "NTFS");
        for (const DiskVolume& v : layout->volumes) {
            const std::string number =
                v.partition.number ? std::to_string(v.partition.number) : std::string("-");
            const std::string fileSystem = v.ntfs ? "ntfs"
                                           : v.partition.fileSystem.empty()
                                               ? "-"
                                               : v.partition.fileSystem;
            std::printf("%-5s %15llu %15llu  %-12s %s\n", number.c_str(),
                        static_cast<unsigned long long>(v.partition.start),
                        static_cast<unsigned long long>(v.partition.size), fileSystem.c_str(),
                        v.ntfs ? "yes" : "no");
        }
    }
    return status;
}

}  // namespace qv
