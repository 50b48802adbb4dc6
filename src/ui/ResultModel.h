#pragma once

#include <QAbstractTableModel>
#include <QString>

#include <array>
#include <deque>
#include <vector>

#include "app/ListControl.h"

namespace qv {

class DeletedFileEntry;

// The rows of the deleted-files list. Each row keeps its own copy of its six texts, as the old
// list control did: the scan frees the entries before it empties the list, and a repaint in
// between must never read an entry. Only sorting looks at the entries, and it runs on the window
// thread while no worker does.
//
// Rows live in a deque so that a scan's inserts at the top cost O(1) each; check boxes on the
// Name column are the selection that recovery reads.
class ResultModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int kColumns = ListControl::kColumns;
    // Header role: which sort image a heading shows: 0 up, 1 down, -1 none.
    static constexpr int kSortImageRole = Qt::UserRole + 1;

    struct Row {
        std::array<QString, kColumns> texts;
        DeletedFileEntry* entry = nullptr;
        bool checked = false;
    };

    explicit ResultModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Puts rows on top of the list: the last of them ends up first, as if each had been
    // inserted at row 0 in turn.
    void InsertOnTop(std::vector<Row>&& rows);
    // Inserts one row at index (clamped to the list); returns its index.
    int InsertAt(int index, Row&& row);
    void SetText(int row, int column, const QString& text);
    void Clear();
    void SetAllChecked(bool checked);
    void SetChecked(int row, bool checked);
    // Sorts by a column's key (names, types and paths by UTF-16 code unit, sizes and times as
    // numbers); descending negates the comparison. Rows with equal keys go by record number.
    void Sort(int column, bool descending);
    // The sort image of a heading: 0 up, 1 down, -1 none.
    void SetHeaderImage(int column, int image);
    int HeaderImage(int column) const;

    int Count() const { return static_cast<int>(rows_.size()); }
    const Row& At(int row) const { return rows_[static_cast<size_t>(row)]; }
    bool Valid(int row) const { return row >= 0 && row < Count(); }

    static const std::array<QString, kColumns>& Headings();
    static const std::array<int, kColumns>& ColumnWidths();

private:
    std::deque<Row> rows_;
    std::array<int, kColumns> headerImages_;
};

}  // namespace qv
