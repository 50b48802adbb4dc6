#include "app/DriveList.h"

#include "platform/Text.h"
#include "volume/DiskVolumes.h"
#include "volume/VolumeReader.h"

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

ImageOffer OfferImage(const std::u16string& path) {
    ImageOffer offer;
    auto layout = ExamineDisk(path);
    if (!layout) {
        offer.refusal = layout.error().Text();
        return offer;
    }
    const std::u16string fileName = path.substr(path.rfind(u'/') + 1);
    if (layout->scheme.empty()) {
        // A bare volume: offered when it opens as NTFS, as a scan will open it.
        const DiskVolume& whole = layout->volumes.front();
        VolumeReader reader;
        if (!whole.ntfs) {
            offer.refusal = whole.notNtfs;
        } else if (const Status opened = reader.Open(whole.source); !opened) {
            offer.refusal = opened.error().Text();
        } else {
            offer.drives.push_back(ImageDrive(path));
        }
        return offer;
    }
    for (const DiskVolume* volume : layout->NtfsVolumes())
        offer.drives.push_back(Drive{
            0, fileName + u", partition " + FromUtf8(std::to_string(volume->partition.number)),
            volume->source});
    if (offer.drives.empty()) offer.drives.push_back(Drive{0, fileName, Source{path}, true});
    return offer;
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
