#include "ui/DriveChooser.h"

#include <QComboBox>

#include <algorithm>
#include <numeric>

#include "base/Format.h"
#include "ui/QtText.h"

namespace qv {

QString DriveChooserText(const Drive& drive) {
    if (drive.noNtfs)
        return ToQString(Format(u"(%c:) %s - no NTFS partition", drive.letter, drive.label));
    if (drive.source.partition > 0)
        return ToQString(Format(u"(%c:) %s - NTFS", drive.letter, drive.label));
    return ToQString(Format(u"%s(%c:) - NTFS", drive.label, drive.letter));
}

void FillDriveChooser(QComboBox* chooser, const std::vector<Drive>& drives) {
    std::vector<QString> texts;
    texts.reserve(drives.size());
    for (const Drive& drive : drives)
        texts.push_back(DriveChooserText(drive));
    std::vector<size_t> order(drives.size());
    std::iota(order.begin(), order.end(), size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        const int c = QString::compare(texts[a], texts[b], Qt::CaseInsensitive);
        return c != 0 ? c < 0 : texts[a] < texts[b];
    });
    chooser->clear();
    for (const size_t i : order)
        chooser->addItem(texts[i], QVariant::fromValue(drives[i]));
    chooser->setCurrentIndex(-1);
}

void ChooseDrive(QComboBox* chooser, const Source& source) {
    int found = -1;
    for (int i = 0; i < chooser->count() && found < 0; ++i) {
        const QVariant drive = chooser->itemData(i, Qt::UserRole);
        if (drive.canConvert<Drive>() && drive.value<Drive>().source == source) found = i;
    }
    chooser->setCurrentIndex(found);
}

std::optional<Drive> ChosenDrive(const QComboBox* chooser) {
    const QVariant drive = chooser->currentData(Qt::UserRole);
    if (chooser->currentIndex() < 0 || !drive.canConvert<Drive>()) return std::nullopt;
    return drive.value<Drive>();
}

}  // namespace qv
