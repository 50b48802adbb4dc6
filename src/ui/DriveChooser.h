#pragma once

#include <QString>
#include <QStringList>

#include <string>
#include <vector>

#include "platform/DriveTable.h"

namespace qv {

// The drive chooser's entries: "Label(X:) - NTFS" for every drive whose file system is reported
// as exactly "NTFS", sorted as the chooser keeps them (alphabetically, case-insensitive, as the
// old sorted drop-down did).
QStringList DriveChooserItems(const std::vector<DriveTable::Drive>& drives);

// Why an image given on the command line cannot be offered ("cannot open x.img: No such file or
// directory", "not an NTFS volume: ..."), or "" when it opens as an NTFS volume.
std::string WhyNotAnNtfsVolume(const std::u16string& image);

// The letter an entry shows in parentheses before ":)", e.g. 'E' for "Data (old)(E:) - NTFS";
// 0 when there is none.
char16_t LetterOfDriveItem(const QString& item);

}  // namespace qv
