#include "ui/DriveChooser.h"

#include <algorithm>

#include "base/Format.h"
#include "platform/BlockDevice.h"
#include "platform/Text.h"
#include "ui/WindowListControl.h"
#include "volume/VolumeReader.h"

namespace qv {

QStringList DriveChooserItems(const std::vector<DriveTable::Drive>& drives) {
    QStringList items;
    for (const DriveTable::Drive& d : drives) {
        if (d.fileSystem != u"NTFS") continue;  // exactly: "ntfs" or FAT32 are not offered
        items.append(ToQString(Format(u"%s(%c:) - %s", d.label, d.letter, d.fileSystem)));
    }
    std::stable_sort(items.begin(), items.end(), [](const QString& a, const QString& b) {
        const int c = QString::compare(a, b, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a < b;
    });
    return items;
}

std::string WhyNotAnNtfsVolume(const std::u16string& image) {
    int error = 0;
    auto device = DeviceFile::Open(image, &error);
    if (!device) return "cannot open " + ToUtf8(image) + ": " + ToUtf8(ErrorText(error));
    VolumeReader reader;
    if (reader.Open(std::move(device), 0) < 0) return reader.FailureReason();
    return {};
}

char16_t LetterOfDriveItem(const QString& item) {
    const qsizetype end = item.lastIndexOf(QStringLiteral(":)"));
    if (end < 1) return 0;
    return static_cast<char16_t>(item.at(end - 1).unicode());
}

}  // namespace qv
