#pragma once

#include <QString>

class QWidget;

namespace qv {

class SortedResults;

// "Export list…": asks for a file and writes the rows the list shows, in the order shown, as
// CSV or JSON Lines by the file name's ending. letter: the drive letter of rooted paths.
void ExportShownList(QWidget* owner, const SortedResults& shown, char16_t letter);

// Writes the rows shown to path. A name with another ending gets CSV, and a message says so; a
// failure gets a message naming the path and the cause. Whether the list was written.
bool WriteShownList(QWidget* owner, const QString& path, const SortedResults& shown,
                    char16_t letter);

}  // namespace qv
