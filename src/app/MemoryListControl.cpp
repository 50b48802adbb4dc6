#include "app/MemoryListControl.h"

#include <algorithm>

namespace qv {

int MemoryListControl::InsertItem(int index, const std::u16string& text, DeletedFileEntry* data) {
    index = std::clamp(index, 0, Count());
    Row row;
    row.texts[0] = text;
    row.data = data;
    rows_.insert(rows_.begin() + index, std::move(row));
    return index;
}

void MemoryListControl::SetItemText(int item, int column, const std::u16string& text) {
    if (Valid(item) && column >= 0 && column < kColumns) rows_[item].texts[column] = text;
}

int MemoryListControl::GetNextItem(int after) const {
    const int next = after < 0 ? 0 : after + 1;
    return next < Count() ? next : -1;
}

bool MemoryListControl::GetCheck(int item) const {
    return Valid(item) && rows_[item].checked;
}

DeletedFileEntry* MemoryListControl::GetItemData(int item) const {
    return Valid(item) ? rows_[item].data : nullptr;
}

std::u16string MemoryListControl::GetItemText(int item, int column) const {
    if (!Valid(item) || column < 0 || column >= kColumns) return {};
    return rows_[item].texts[column];
}

void MemoryListControl::SetCheck(int item, bool checked) {
    if (Valid(item)) rows_[item].checked = checked;
}

void MemoryListControl::CheckAll(bool checked) {
    for (Row& row : rows_)
        row.checked = checked;
}

void MemoryListControl::Sort(
    const std::function<bool(const DeletedFileEntry&, const DeletedFileEntry&)>& less) {
    std::stable_sort(rows_.begin(), rows_.end(), [&](const Row& a, const Row& b) {
        if (!a.data || !b.data) return a.data != nullptr && b.data == nullptr;
        return less(*a.data, *b.data);
    });
}

}  // namespace qv
