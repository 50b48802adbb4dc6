#pragma once

#include <string>

namespace qv {

class DeletedFileEntry;

// The deleted-files list as workers see it: rows of six column texts, a check box and the row's
// entry. Every call has taken effect when it returns.
class ListControl {
public:
    static constexpr int kColumns = 6;  // Name, Type, Size, Created, Deleted, Path

    virtual ~ListControl() = default;
    // Inserts a row at index with the Name text and the entry; returns the row's index.
    virtual int InsertItem(int index, const std::u16string& text, DeletedFileEntry* data) = 0;
    virtual void SetItemText(int item, int column, const std::u16string& text) = 0;
    virtual void DeleteAllItems() = 0;
    // The row after `after` (-1: the first row); -1 when there is none.
    virtual int GetNextItem(int after) const = 0;
    virtual bool GetCheck(int item) const = 0;
    virtual DeletedFileEntry* GetItemData(int item) const = 0;
    virtual std::u16string GetItemText(int item, int column) const = 0;
};

}  // namespace qv
