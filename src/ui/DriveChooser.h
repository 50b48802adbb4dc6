#pragma once

#include <QMetaType>
#include <QString>

#include <optional>
#include <string>
#include <vector>

#include "app/DriveList.h"

class QComboBox;

Q_DECLARE_METATYPE(qv::Drive)

namespace qv {

// The text the drive chooser shows for a drive: "Label(X:) - NTFS"; for a partition of a disk
// image "(X:) stick.img, partition 2 - NTFS"; for a disk without one "(X:) stick.img - no NTFS
// partition".
QString DriveChooserText(const Drive& drive);

// Empties the chooser and offers the drives, each entry keeping its drive beside its text
// (Qt::UserRole), sorted by text alphabetically, case-insensitive (case-sensitive where that
// ties). No entry is chosen.
void FillDriveChooser(QComboBox* chooser, const std::vector<Drive>& drives);

// Chooses the entry of the drive read from this source; none when no entry is.
void ChooseDrive(QComboBox* chooser, const Source& source);

// The drive of the entry chosen; nothing when none is.
std::optional<Drive> ChosenDrive(const QComboBox* chooser);

}  // namespace qv
