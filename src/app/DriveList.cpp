#include "app/DriveList.h"

namespace qv {

std::vector<Drive> MakeDriveList(const std::vector<FoundVolume>& volumes,
                                 const std::vector<Drive>& images) {
    std::vector<Drive> drives;
    auto add = [&](Drive drive) {
        drive.letter = static_cast<char16_t>(u'C' + drives.size() % 24);
        drives.push_back(std::move(drive));
    };
    for (const FoundVolume& v : volumes)
        add(Drive{0, v.label, Source{v.device}});
    for (const Drive& image : images)
        add(image);
    return drives;
}

Drive ImageDrive(const std::u16string& path) {
    std::u16string label = NtfsLabel(path);
    if (label.empty()) label = path.substr(path.rfind(u'/') + 1);
    return Drive{0, label, Source{path}};
}

char16_t ParseDriveLetter(const std::u16string& text) {
    if (text.empty() || text.size() > 3) return 0;
    char16_t letter = text[0];
    if (letter >= u'a' && letter <= u'z') letter = static_cast<char16_t>(letter - 32);
    if (letter < u'A' || letter > u'Z') return 0;
    if (text.size() >= 2 && text[1] != u':') return 0;
    if (text.size() == 3 && text[2] != u'\\' && text[2] != u'/') return 0;
    return letter;
}

}  // namespace qv
