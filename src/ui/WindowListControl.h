#pragma once

#include <QElapsedTimer>

#include <utility>
#include <vector>

#include "app/ListControl.h"
#include "ui/ResultModel.h"

namespace qv {

// The deleted-files list as the workers see it, in front of the window's ResultModel.
//
// The model belongs to the window thread; every call that reaches it is a synchronous call onto
// that thread, so it has taken effect when it returns. A scan inserts its rows at the top one by
// one; those are gathered here and handed to the model in batches (a round trip per row would
// make the window's scan several times slower than the terminal's), at the latest after
// kFlushInterval ms, before any other call reaches the model, and when the worker closes its
// progress window. Rows waiting here are part of the list for every call.
//
// A recovery only reads the list. Behind the modal progress window nobody can change the rows
// or their check boxes, so the row entries and check states are read once per run and served
// from that copy; the texts of the rows recovered are still asked for one by one.
class WindowListControl final : public ListControl {
public:
    static constexpr int kFlushRows = 4096;
    static constexpr int kFlushInterval = 100;

    explicit WindowListControl(ResultModel& model) : model_(model) {}

    int InsertItem(int index, const std::u16string& text, DeletedFileEntry* data) override;
    void SetItemText(int item, int column, const std::u16string& text) override;
    void DeleteAllItems() override;
    int GetNextItem(int after) const override;
    bool GetCheck(int item) const override;
    DeletedFileEntry* GetItemData(int item) const override;
    std::u16string GetItemText(int item, int column) const override;

    // Called on the worker thread: hands the gathered rows to the model and waits for it.
    void Flush();
    // Called on the window thread before a worker starts: forgets what the last run read.
    void BeginRun();

private:
    int Staged() const { return static_cast<int>(staged_.size()); }
    // The staged row shown at list index item (item < Staged()).
    ResultModel::Row& StagedAt(int item) {
        return staged_[staged_.size() - 1 - static_cast<size_t>(item)];
    }
    void FlushIfDue();
    void Snapshot() const;

    ResultModel& model_;
    std::vector<ResultModel::Row> staged_;  // oldest first: the last one is the top row
    QElapsedTimer sinceFlush_;
    mutable bool snapshotTaken_ = false;
    mutable std::vector<std::pair<DeletedFileEntry*, bool>> snapshot_;  // entry, checked
};

QString ToQString(const std::u16string& text);
std::u16string FromQString(const QString& text);

}  // namespace qv
