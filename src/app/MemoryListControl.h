#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <string_view>
#include <vector>

#include "app/ListControl.h"

namespace qv {

// The deleted-files list kept in memory: what the terminal program shows, and what tests use.
class MemoryListControl : public ListControl {
public:
    // One row: the six texts kept in one string (a scan may list hundreds of thousands of rows).
    class Row {
    public:
        std::u16string_view Text(int column) const;
        void SetText(int column, std::u16string_view text);

        DeletedFileEntry* data = nullptr;
        bool checked = false;

    private:
        std::u16string texts_;
        std::array<uint32_t, kColumns> ends_{};  // where each column's text ends in texts_
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
    const std::deque<Row>& Rows() const { return rows_; }
    int Count() const { return static_cast<int>(rows_.size()); }

private:
    bool Valid(int item) const { return item >= 0 && item < Count(); }
    std::deque<Row> rows_;  // rows arrive at the top: inserting at 0 must not be linear
};

}  // namespace qv
