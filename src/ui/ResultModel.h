#pragma once

#include <QAbstractTableModel>
#include <QSortFilterProxyModel>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "app/FileFilter.h"
#include "app/FileTexts.h"
#include "scan/DeletedFile.h"

namespace qv {

// The deleted files of the last scan, one row each in the order the scan delivered them, and a
// tick per file: the check boxes on the Name column are the choice Undelete recovers. Rows keep
// the files' values; the texts a view shows are made from them when it asks (data()), with the
// scanned entry's drive letter in front of paths that reach the root. Tool tips give names and
// paths whole and sizes to the byte. The model belongs to the window thread.
class ResultModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int kColumns = kColumnCount;
    // Header role: which sort image a heading shows: 0 up, 1 down, -1 none.
    static constexpr int kSortImageRole = Qt::UserRole + 1;

    explicit ResultModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Adds files of a scan after the rows there are, unticked. letter: the drive letter their
    // paths are shown with (every row of the list has the same).
    void Append(std::vector<DeletedFile>&& files, char16_t letter);
    void Clear();
    void SetAllChecked(bool checked);
    void SetChecked(int row, bool checked);
    // Ticks or unticks these rows, with one change signal.
    void SetChecked(const std::vector<int>& rows, bool checked);

    int Count() const { return static_cast<int>(rows_.size()); }
    int CheckedCount() const { return checkedCount_; }
    bool Valid(int row) const { return row >= 0 && row < Count(); }
    const DeletedFile& File(int row) const { return rows_[static_cast<size_t>(row)].file; }
    bool Checked(int row) const { return rows_[static_cast<size_t>(row)].checked; }
    char16_t Letter() const { return letter_; }

    static const std::array<QString, kColumns>& Headings();
    static const std::array<int, kColumns>& ColumnWidths();

private:
    struct Row {
        DeletedFile file;
        bool checked = false;
    };
    void Mark(int row, bool checked);

    std::vector<Row> rows_;
    int checkedCount_ = 0;
    char16_t letter_ = u'C';
};

// The list in the order the window shows it: the model's rows sorted by the column last asked
// for. Names, types and paths sort by UTF-16 code unit (case matters, no locale), sizes and times
// as numbers (CompareFiles); rows with equal keys go by ascending record number in either
// direction. Rows move only when sort() is called: ticking files and rows added by a scan leave
// the order alone. The headings show the sort image of the sorted column (kSortImageRole).
// A filter (search text, type, state) hides the rows that do not match; ticks stay on hidden
// rows.
class SortedResults final : public QSortFilterProxyModel {
    Q_OBJECT
public:
    explicit SortedResults(ResultModel& model, QObject* parent = nullptr);

    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Shows only the files that match: search text in name or path (a pattern with * or ?),
    // a type (folded, empty for all) and a state (nothing for all).
    void SetFilter(const std::u16string& search, const std::u16string& type,
                   std::optional<FileState> state);
    bool Filtered() const { return !filter_.Empty(); }

    // The file shown at row, and its tick.
    const DeletedFile& File(int row) const;
    bool Checked(int row) const;
    // Ticks or unticks every row shown, and only those.
    void SetShownChecked(bool checked);
    // Every ticked file, shown or hidden by the filter, in the order of the sort.
    std::vector<DeletedFile> CheckedFiles() const;

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;

private:
    int SourceRow(int row) const;
    // Whether source row left goes before right when sorted by column.
    bool KeyBefore(int left, int right, int column, bool ascending) const;
    // A source row's place in the last sort.
    size_t Rank(int row) const;
    // A file's path text for the sort, made once per folder while a sort runs.
    const std::u16string& PathKey(const DeletedFile& file) const;

    ResultModel& model_;
    FileFilter filter_;
    std::vector<size_t> rank_;  // by source row: its place in the last sort
    mutable std::unordered_map<uintptr_t, std::u16string> paths_;  // by folder chain and rooted
};

}  // namespace qv
