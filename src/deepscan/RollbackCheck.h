#pragma once

#include <cstdint>
#include <vector>

#include "deepscan/DeletedFileImages.h"

namespace qv {

class VolumeReader;

// The images of a file as the $MFT copy holds them, taken before its rollback.
struct ImagesAsFound {
    std::vector<uint8_t> base;
    std::vector<std::pair<uint64_t, std::vector<uint8_t>>> extensions;

    static ImagesAsFound Take(const DeletedFileImages& file);
    // Puts them back into the file's images.
    void Restore(DeletedFileImages& file) const;
};

// True when a rolled-back file is at least as good as the file built from its records as found:
// the file built as found would be listed and the rolled-back one is too; every image that
// parsed as found still parses; every image is a sound FILE record (attributes inside it and
// 8-byte aligned); and no stream of the file as found is missing, shorter, or has fewer runs.
bool RollbackKeepsFile(DeletedFileImages& file, const ImagesAsFound& asFound, uint32_t clusterSize,
                       VolumeReader* reader);

}  // namespace qv
