#include "ui/ResultModel.h"

#include <algorithm>

#include "ui/QtText.h"

namespace qv {

namespace {

constexpr int kSizeColumn = static_cast<int>(Column::kSize);
constexpr int kNameColumn = static_cast<int>(Column::kName);
constexpr int kPathColumn = static_cast<int>(Column::kPath);

QVariant Alignment(int column) {
    if (column == kSizeColumn) return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
}

}  // namespace

ResultModel::ResultModel(QObject* parent) : QAbstractTableModel(parent) {}

const std::array<QString, ResultModel::kColumns>& ResultModel::Headings() {
    // The trailing blanks leave room for the sort image beside the text.
    static const std::array<QString, kColumns> headings = {
        QStringLiteral("Name  "),    QStringLiteral("Type"),      QStringLiteral("Size  "),
        QStringLiteral("Created  "), QStringLiteral("Deleted  "), QStringLiteral("Path  "),
        QStringLiteral("State  ")};
    return headings;
}

const std::array<int, ResultModel::kColumns>& ResultModel::ColumnWidths() {
    static const std::array<int, kColumns> widths = {192, 45, 92, 145, 145, 384, 150};
    return widths;
}

int ResultModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : Count();
}

int ResultModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumns;
}

QVariant ResultModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || !Valid(index.row()) || index.column() >= kColumns) return {};
    switch (role) {
        case Qt::DisplayRole:
            return ToQString(
                ColumnText(File(index.row()), static_cast<Column>(index.column()), letter_));
        case Qt::CheckStateRole:
            if (index.column() == kNameColumn)
                return Checked(index.row()) ? Qt::Checked : Qt::Unchecked;
            return {};
        case Qt::TextAlignmentRole: return Alignment(index.column());
        case Qt::ToolTipRole: {
            // Names and paths whole, however narrow their column; the size to the byte.
            const DeletedFile& file = File(index.row());
            if (index.column() == kSizeColumn) return ToQString(ExactSizeText(file.size));
            if (index.column() == kNameColumn) return ToQString(file.name);
            if (index.column() == kPathColumn) return ToQString(PathText(file, letter_));
            return {};
        }
        default: return {};
    }
}

bool ResultModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::CheckStateRole || !index.isValid() || index.column() != kNameColumn ||
        !Valid(index.row()))
        return false;
    SetChecked(index.row(), value.value<Qt::CheckState>() == Qt::Checked);
    return true;
}

Qt::ItemFlags ResultModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.column() == kNameColumn) f |= Qt::ItemIsUserCheckable;
    return f;
}

QVariant ResultModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= kColumns)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (role) {
        case Qt::DisplayRole: return Headings()[static_cast<size_t>(section)];
        case Qt::TextAlignmentRole: return Alignment(section);
        default: return {};
    }
}

void ResultModel::Append(std::vector<DeletedFile>&& files, char16_t letter) {
    if (letter != letter_) {
        letter_ = letter;
        if (!rows_.empty())
            emit dataChanged(index(0, kColumns - 1), index(Count() - 1, kColumns - 1),
                             {Qt::DisplayRole});
    }
    if (files.empty()) return;
    beginInsertRows(QModelIndex(), Count(), Count() + static_cast<int>(files.size()) - 1);
    rows_.reserve(rows_.size() + files.size());
    for (DeletedFile& file : files)
        rows_.push_back(Row{std::move(file), false});
    endInsertRows();
}

void ResultModel::Clear() {
    if (rows_.empty()) return;
    beginResetModel();
    std::vector<Row>().swap(rows_);
    checkedCount_ = 0;
    endResetModel();
}

void ResultModel::SetAllChecked(bool checked) {
    if (rows_.empty()) return;
    for (Row& row : rows_)
        row.checked = checked;
    checkedCount_ = checked ? Count() : 0;
    emit dataChanged(index(0, kNameColumn), index(Count() - 1, kNameColumn), {Qt::CheckStateRole});
}

void ResultModel::SetChecked(int row, bool checked) {
    if (!Valid(row)) return;
    Mark(row, checked);
    const QModelIndex at = index(row, kNameColumn);
    emit dataChanged(at, at, {Qt::CheckStateRole});
}

void ResultModel::SetChecked(const std::vector<int>& rows, bool checked) {
    int first = Count(), last = -1;
    for (const int row : rows) {
        if (!Valid(row)) continue;
        Mark(row, checked);
        first = std::min(first, row);
        last = std::max(last, row);
    }
    // One signal for the lot: a view repaints once, not once per row.
    if (last >= 0)
        emit dataChanged(index(first, kNameColumn), index(last, kNameColumn), {Qt::CheckStateRole});
}

void ResultModel::Mark(int row, bool checked) {
    bool& mark = rows_[static_cast<size_t>(row)].checked;
    if (mark != checked) checkedCount_ += checked ? 1 : -1;
    mark = checked;
}

SortedResults::SortedResults(ResultModel& model, QObject* parent)
    : QSortFilterProxyModel(parent), model_(model) {
    // Rows stay put between sorts: a tick or a scan's new rows must not move what the user sees.
    setDynamicSortFilter(false);
    setSourceModel(&model_);
    connect(&model_, &QAbstractItemModel::modelReset, this, [this] { rank_.clear(); });
}

void SortedResults::sort(int column, Qt::SortOrder order) {
    if (column < 0 || column >= ResultModel::kColumns) return;
    // Every row, shown or hidden, gets its place once; the proxy then orders by place, so that a
    // filter change re-sorts by comparing numbers only.
    std::vector<int> rows(static_cast<size_t>(model_.Count()));
    for (size_t i = 0; i < rows.size(); ++i)
        rows[i] = static_cast<int>(i);
    const bool ascending = order == Qt::AscendingOrder;
    std::sort(rows.begin(), rows.end(),
              [&](int a, int b) { return KeyBefore(a, b, column, ascending); });
    paths_.clear();
    rank_.assign(rows.size(), 0);
    for (size_t place = 0; place < rows.size(); ++place)
        rank_[static_cast<size_t>(rows[place])] = place;
    QSortFilterProxyModel::sort(column, order);
    emit headerDataChanged(Qt::Horizontal, 0, ResultModel::kColumns - 1);
}

QVariant SortedResults::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role == ResultModel::kSortImageRole && orientation == Qt::Horizontal) {
        if (section != sortColumn()) return -1;
        return sortOrder() == Qt::AscendingOrder ? 0 : 1;
    }
    return QSortFilterProxyModel::headerData(section, orientation, role);
}

void SortedResults::SetFilter(const std::u16string& search, const std::u16string& type,
                              std::optional<FileState> state) {
    filter_ = FileFilter();
    filter_.SetLetter(model_.Letter());
    filter_.SetSearchText(search);
    if (!type.empty()) filter_.SetTypes({type});
    if (state) filter_.SetStates(StateBit(*state));
    // The mapping is made afresh and put in the sort's order again: rows that come back take
    // their places instead of landing at the end.
    invalidate();
    if (sortColumn() >= 0) QSortFilterProxyModel::sort(sortColumn(), sortOrder());
}

bool SortedResults::filterAcceptsRow(int sourceRow, const QModelIndex& /*sourceParent*/) const {
    return filter_.Empty() || filter_.Matches(model_.File(sourceRow));
}

int SortedResults::SourceRow(int row) const {
    return mapToSource(index(row, 0)).row();
}

const DeletedFile& SortedResults::File(int row) const {
    return model_.File(SourceRow(row));
}

bool SortedResults::Checked(int row) const {
    return model_.Checked(SourceRow(row));
}

void SortedResults::SetShownChecked(bool checked) {
    std::vector<int> rows;
    rows.reserve(static_cast<size_t>(rowCount()));
    for (int row = 0; row < rowCount(); ++row)
        rows.push_back(SourceRow(row));
    model_.SetChecked(rows, checked);
}

std::vector<DeletedFile> SortedResults::CheckedFiles() const {
    // Rows a filter hides count as well: they take their places in the sort order.
    std::vector<int> rows;
    for (int row = 0; row < model_.Count(); ++row)
        if (model_.Checked(row)) rows.push_back(row);
    if (sortColumn() >= 0)
        std::stable_sort(rows.begin(), rows.end(), [&](int a, int b) { return Rank(a) < Rank(b); });
    std::vector<DeletedFile> files;
    files.reserve(rows.size());
    for (const int row : rows)
        files.push_back(model_.File(row));
    return files;
}

size_t SortedResults::Rank(int row) const {
    // Rows a scan added after the sort follow the sorted ones in the order they came.
    const auto at = static_cast<size_t>(row);
    return at < rank_.size() ? rank_[at] : rank_.size() + at;
}

const std::u16string& SortedResults::PathKey(const DeletedFile& file) const {
    const uintptr_t key = reinterpret_cast<uintptr_t>(file.folder.Identity()) * 2 + file.rooted;
    auto [it, made] = paths_.try_emplace(key);
    if (made) it->second = PathText(file, model_.Letter());
    return it->second;
}

bool SortedResults::KeyBefore(int left, int right, int column, bool ascending) const {
    const DeletedFile& a = model_.File(left);
    const DeletedFile& b = model_.File(right);
    // Paths compare as the texts shown; files of one folder share their text.
    const int c = column == static_cast<int>(Column::kPath)
                      ? PathKey(a).compare(PathKey(b))
                      : CompareFiles(a, b, static_cast<Column>(column));
    if (c != 0) return ascending ? c < 0 : c > 0;
    return a.record < b.record;  // equal keys by ascending record number, either way
}

bool SortedResults::lessThan(const QModelIndex& left, const QModelIndex& right) const {
    // A descending sort asks with the operands swapped; places already hold the order shown.
    const size_t a = Rank(left.row()), b = Rank(right.row());
    return sortOrder() == Qt::AscendingOrder ? a < b : b < a;
}

}  // namespace qv
