#include "deepscan/RollbackCheck.h"

#include "deepscan/RecordUndo.h"
#include "ntfs/FileRecord.h"

namespace qv {

namespace {

// Parses a copy of an image on its own, reading nothing from the volume.
bool Parses(const std::vector<uint8_t>& image, uint32_t clusterSize) {
    std::vector<uint8_t> copy = image;
    FileRecord record;
    return record.Parse(copy, clusterSize, nullptr) != Parsed::kDamaged;
}

std::unique_ptr<FileRecord> BuildAsFound(DeletedFileImages& file, const ImagesAsFound& asFound,
                                         uint32_t clusterSize, VolumeReader* reader) {
    const ImagesAsFound rolled = ImagesAsFound::Take(file);
    asFound.Restore(file);
    std::unique_ptr<FileRecord> built = file.BuildFileRecord(clusterSize, reader);
    rolled.Restore(file);
    return built;
}

}  // namespace

ImagesAsFound ImagesAsFound::Take(const DeletedFileImages& file) {
    ImagesAsFound taken;
    if (file.Base() != nullptr) taken.base = file.Base()->image;
    for (const auto& [number, image] : file.Extensions())
        taken.extensions.emplace_back(number, image->image);
    return taken;
}

void ImagesAsFound::Restore(DeletedFileImages& file) const {
    if (file.Base() != nullptr) file.Base()->image = base;
    auto& images = file.Extensions();
    for (const auto& [number, bytes] : extensions)
        if (auto it = images.find(number); it != images.end()) it->second->image = bytes;
}

bool RollbackKeepsFile(DeletedFileImages& file, const ImagesAsFound& asFound, uint32_t clusterSize,
                       VolumeReader* reader) {
    if (file.Base() == nullptr) return false;
    // Every image: sound after, and parsing after if it parsed before.
    auto imageKept = [&](const std::vector<uint8_t>& before, const std::vector<uint8_t>& after) {
        if (before == after) return true;
        if (!IsSoundRecordImage(after)) return false;
        return Parses(after, clusterSize) || !Parses(before, clusterSize);
    };
    if (!imageKept(asFound.base, file.Base()->image)) return false;
    for (const auto& [number, bytes] : asFound.extensions) {
        const auto it = file.Extensions().find(number);
        if (it != file.Extensions().end() && !imageKept(bytes, it->second->image)) return false;
    }

    const std::unique_ptr<FileRecord> found = BuildAsFound(file, asFound, clusterSize, reader);
    const std::unique_ptr<FileRecord> rolled = file.BuildFileRecord(clusterSize, reader);
    // A file the normal scan does not list is not listed by the advanced scan either.
    if (!found || !rolled) return false;
    if (rolled->Damaged() && !found->Damaged()) return false;
    for (size_t i = 0; i < found->StreamCount(); ++i) {
        const RunList* before = found->GetDataStream(i);
        if (before == nullptr) continue;
        const RunList* after = rolled->FindStream(before->Name());
        if (after == nullptr) return false;
        if (after->TotalSize(clusterSize) < before->TotalSize(clusterSize)) return false;
        if (after->Runs().size() < before->Runs().size()) return false;
        if (after->Damaged() && !before->Damaged()) return false;
    }
    return true;
}

}  // namespace qv
