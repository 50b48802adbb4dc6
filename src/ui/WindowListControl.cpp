#include "ui/WindowListControl.h"

#include "ui/UiThread.h"

namespace qv {

QString ToQString(const std::u16string& text) {
    return QString(reinterpret_cast<const QChar*>(text.data()),
                   static_cast<qsizetype>(text.size()));
}

std::u16string FromQString(const QString& text) {
    return std::u16string(reinterpret_cast<const char16_t*>(text.utf16()),
                          static_cast<size_t>(text.size()));
}

int WindowListControl::InsertItem(int index, const std::u16string& text, DeletedFileEntry* data) {
    snapshotTaken_ = false;
    ResultModel::Row row;
    row.texts[0] = ToQString(text);
    row.entry = data;
    if (index == 0) {
        // Flushed before, not after: the row's other texts follow at once and stay here too.
        if (!sinceFlush_.isValid()) sinceFlush_.start();
        FlushIfDue();
        staged_.push_back(std::move(row));
        return 0;
    }
    Flush();
    return CallOnUiThread(&model_, [&] { return model_.InsertAt(index, std::move(row)); });
}

void WindowListControl::SetItemText(int item, int column, const std::u16string& text) {
    if (column < 0 || column >= kColumns) return;
    if (item >= 0 && item < Staged()) {
        StagedAt(item).texts[static_cast<size_t>(column)] = ToQString(text);
        return;
    }
    Flush();
    const QString value = ToQString(text);
    CallOnUiThread(&model_, [&] { model_.SetText(item, column, value); });
}

void WindowListControl::DeleteAllItems() {
    staged_.clear();
    snapshotTaken_ = false;
    CallOnUiThread(&model_, [&] { model_.Clear(); });
}

void WindowListControl::Snapshot() const {
    if (snapshotTaken_) return;
    const_cast<WindowListControl*>(this)->Flush();
    snapshot_ = CallOnUiThread(&model_, [&] {
        std::vector<std::pair<DeletedFileEntry*, bool>> rows;
        rows.reserve(static_cast<size_t>(model_.Count()));
        for (int i = 0; i < model_.Count(); ++i)
            rows.emplace_back(model_.At(i).entry, model_.At(i).checked);
        return rows;
    });
    snapshotTaken_ = true;
}

int WindowListControl::GetNextItem(int after) const {
    Snapshot();
    const int next = after < 0 ? 0 : after + 1;
    return next < static_cast<int>(snapshot_.size()) ? next : -1;
}

bool WindowListControl::GetCheck(int item) const {
    Snapshot();
    return item >= 0 && item < static_cast<int>(snapshot_.size()) &&
           snapshot_[static_cast<size_t>(item)].second;
}

DeletedFileEntry* WindowListControl::GetItemData(int item) const {
    Snapshot();
    if (item < 0 || item >= static_cast<int>(snapshot_.size())) return nullptr;
    return snapshot_[static_cast<size_t>(item)].first;
}

std::u16string WindowListControl::GetItemText(int item, int column) const {
    const_cast<WindowListControl*>(this)->Flush();
    const QString text = CallOnUiThread(&model_, [&] {
        if (!model_.Valid(item) || column < 0 || column >= kColumns) return QString();
        return model_.At(item).texts[static_cast<size_t>(column)];
    });
    return FromQString(text);
}

void WindowListControl::FlushIfDue() {
    if (Staged() >= kFlushRows || sinceFlush_.elapsed() >= kFlushInterval) Flush();
}

void WindowListControl::Flush() {
    sinceFlush_.start();
    if (staged_.empty()) return;
    std::vector<ResultModel::Row> rows;
    rows.swap(staged_);
    CallOnUiThread(&model_, [&] { model_.InsertOnTop(std::move(rows)); });
}

void WindowListControl::BeginRun() {
    snapshotTaken_ = false;
    snapshot_.clear();
}

}  // namespace qv
