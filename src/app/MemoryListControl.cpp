#include "app/MemoryListControl.h"

#include <algorithm>

namespace qv {

int MemoryListControl::InsertItem(int index, const std::u16string& text, DeletedFileEntry* data) {
    index = std::clamp(index, 0, Count());
    Row row;
    row.SetText(0, text);
    row.data = data;
    if (index == 0) {
        rows_.push_front(std::move(row));
    } else {
        rows_.insert(rows_.begin() + index, std::move(row));
    }
    return index;
}

void MemoryListControl::SetItemText(int item, int column, const std::u16string& text) {
    if (Valid(item) && column >= 0 && column < kColumns) rows_[item].SetText(column, text);
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
    return std::u16string(rows_[item].Text(column));
}

std::u16string_view MemoryListControl::Row::Text(int column) const {
    const uint32_t begin = column == 0 ? 0 : ends_[column - 1];
    return std::u16string_view(texts_).substr(begin, ends_[column] - begin);
}

void MemoryListControl::Row::SetText(int column, std::u16string_view text) {
    const uint32_t begin = column == 0 ? 0 : ends_[column - 1];
    const uint32_t old = ends_[column] - begin;
    texts_.replace(begin, old, text);
    const int64_t grow = static_cast<int64_t>(text.size()) - old;
    for (int c = column; c < kColumns; ++c)
        ends_[c] = static_cast<uint32_t>(ends_[c] + grow);
    texts_.shrink_to_fit();
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
