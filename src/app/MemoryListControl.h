#pragma once

#include <array>
#include <functional>
#include <vector>

#include "app/ListControl.h"

namespace qv {

// The deleted-files list kept in memory: what the terminal program shows, and what tests use.
class MemoryListControl : public ListControl {
public:
    struct Row {
        std::array<std::u16string, kColumns> texts;
        DeletedFileEntry* data = nullptr;
        bool checked = false;
    };

    int InsertItem(int index, const std::u16string& text, DeletedFileEntry* data) override;
    void SetItemText(int item, int column, const std::u16string& text) override;
    void DeleteAllItems() override { rows_.clear(); }
    int GetNextItem(int after) const override;
    bool GetCheck(int item) const override;
    DeletedFileEntry* GetItemData(int item) const override;
    std::u16string GetItemText(int item, int column) const override;

    void SetCheck(int item, bool checked);
    void CheckAll(bool checked);
    // Stable sort by a comparison of the rows' entries.
    void Sort(const std::function<bool(const DeletedFileEntry&, const DeletedFileEntry&)>& less);
    const std::vector<Row>& Rows() const { return rows_; }
    int Count() const { return static_cast<int>(rows_.size()); }

private:
    bool Valid(int item) const { return item >= 0 && item < Count(); }
    std::vector<Row> rows_;
};

}  // namespace qv
