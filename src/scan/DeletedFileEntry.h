#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "ntfs/FileRecord.h"
#include "platform/LocalTime.h"

namespace qv {

class ListControl;
class ScanSession;

// One row of the deleted-files list: the file's parsed record and the texts shown for it.
class DeletedFileEntry {
public:
    enum Column { kName = 0, kType, kSize, kCreated, kDeleted, kPath };

    std::u16string name;
    uint64_t size = 0;
    CTime created;
    CTime deleted;  // the modification time of the file's name, shown as Deleted
    std::u16string path;
    std::u16string type;
    std::unique_ptr<FileRecord> record;

    uint64_t RecordNumber() const { return record ? record->RecordNumber() : 0; }
    std::u16string ColumnText(int column) const;
};

// Makes the entry of a deleted file: name, times, size, and its folder path.
std::unique_ptr<DeletedFileEntry> MakeEntry(std::unique_ptr<FileRecord> record,
                                            ScanSession& session);

// Inserts the entry's row at the top of the list and fills its six columns.
void InsertRow(ListControl& list, DeletedFileEntry& entry);

// "1 KB" for 1 to 1024 bytes, "0 KB" for none: the size in kilobytes, rounded up.
std::u16string SizeText(uint64_t size);
// What follows the last "." of a name when that dot is not the first character.
std::u16string TypeOf(const std::u16string& name);

// Orders two rows by a column, ascending: names, types and paths by UTF-16 code unit (case
// matters, no locale), sizes as numbers, times as times. Negative when a goes first.
int CompareEntries(const DeletedFileEntry& a, const DeletedFileEntry& b, int column);

}  // namespace qv
