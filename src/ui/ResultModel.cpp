#include "ui/ResultModel.h"

#include <algorithm>
#include <numeric>

#include "scan/DeletedFileEntry.h"

namespace qv {

namespace {
constexpr int kSizeColumn = DeletedFileEntry::kSize;
}

ResultModel::ResultModel(QObject* parent) : QAbstractTableModel(parent) {
    headerImages_.fill(-1);
}

const std::array<QString, ResultModel::kColumns>& ResultModel::Headings() {
    // The trailing blanks leave room for the sort image beside the text.
    static const std::array<QString, kColumns> headings = {
        QStringLiteral("Name  "),    QStringLiteral("Type"),      QStringLiteral("Size  "),
        QStringLiteral("Created  "), QStringLiteral("Deleted  "), QStringLiteral("Path  ")};
    return headings;
}

const std::array<int, ResultModel::kColumns>& ResultModel::ColumnWidths() {
    static const std::array<int, kColumns> widths = {192, 45, 92, 145, 145, 384};
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
    const Row& row = At(index.row());
    switch (role) {
        case Qt::DisplayRole: return row.texts[static_cast<size_t>(index.column())];
        case Qt::CheckStateRole:
            if (index.column() == 0) return row.checked ? Qt::Checked : Qt::Unchecked;
            return {};
        case Qt::TextAlignmentRole:
            if (index.column() == kSizeColumn)
                return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
            return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
        default: return {};
    }
}

bool ResultModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::CheckStateRole || !index.isValid() || index.column() != 0 ||
        !Valid(index.row()))
        return false;
    SetChecked(index.row(), value.value<Qt::CheckState>() == Qt::Checked);
    return true;
}

Qt::ItemFlags ResultModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.column() == 0) f |= Qt::ItemIsUserCheckable;
    return f;
}

QVariant ResultModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= kColumns)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (role) {
        case Qt::DisplayRole: return Headings()[static_cast<size_t>(section)];
        case Qt::TextAlignmentRole:
            if (section == kSizeColumn)
                return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
            return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
        case kSortImageRole: return headerImages_[static_cast<size_t>(section)];
        default: return {};
    }
}

void ResultModel::InsertOnTop(std::vector<Row>&& rows) {
    if (rows.empty()) return;
    beginInsertRows(QModelIndex(), 0, static_cast<int>(rows.size()) - 1);
    for (Row& row : rows)
        rows_.push_front(std::move(row));
    endInsertRows();
}

int ResultModel::InsertAt(int index, Row&& row) {
    index = std::clamp(index, 0, Count());
    beginInsertRows(QModelIndex(), index, index);
    if (index == 0)
        rows_.push_front(std::move(row));
    else
        rows_.insert(rows_.begin() + index, std::move(row));
    endInsertRows();
    return index;
}

void ResultModel::SetText(int row, int column, const QString& text) {
    if (!Valid(row) || column < 0 || column >= kColumns) return;
    rows_[static_cast<size_t>(row)].texts[static_cast<size_t>(column)] = text;
    const QModelIndex at = index(row, column);
    emit dataChanged(at, at, {Qt::DisplayRole});
}

void ResultModel::Clear() {
    if (rows_.empty()) return;
    beginResetModel();
    rows_.clear();
    endResetModel();
}

void ResultModel::SetAllChecked(bool checked) {
    if (rows_.empty()) return;
    for (Row& row : rows_)
        row.checked = checked;
    emit dataChanged(index(0, 0), index(Count() - 1, 0), {Qt::CheckStateRole});
}

void ResultModel::SetChecked(int row, bool checked) {
    if (!Valid(row)) return;
    rows_[static_cast<size_t>(row)].checked = checked;
    const QModelIndex at = index(row, 0);
    emit dataChanged(at, at, {Qt::CheckStateRole});
}

void ResultModel::Sort(int column, bool descending) {
    if (column < 0 || column >= kColumns) return;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<int> order(rows_.size());
    std::iota(order.begin(), order.end(), 0);
    auto key = [&](int i) -> const DeletedFileEntry* {
        return rows_[static_cast<size_t>(i)].entry;
    };
    std::sort(order.begin(), order.end(), [&](int a, int b) {
        const DeletedFileEntry* x = key(a);
        const DeletedFileEntry* y = key(b);
        if (x && y) {
            int c = CompareEntries(*x, *y, column);
            if (descending) c = -c;
            if (c != 0) return c < 0;
            if (x->RecordNumber() != y->RecordNumber())
                return x->RecordNumber() < y->RecordNumber();
        } else if (x != y) {
            return x != nullptr;  // rows without an entry go last
        }
        return a < b;
    });
    std::deque<Row> sorted;
    std::vector<int> newRowOf(rows_.size());
    for (size_t i = 0; i < order.size(); ++i) {
        sorted.push_back(std::move(rows_[static_cast<size_t>(order[i])]));
        newRowOf[static_cast<size_t>(order[i])] = static_cast<int>(i);
    }
    rows_.swap(sorted);
    const QModelIndexList persistent = persistentIndexList();
    QModelIndexList moved;
    moved.reserve(persistent.size());
    for (const QModelIndex& old : persistent)
        moved.append(index(newRowOf[static_cast<size_t>(old.row())], old.column()));
    changePersistentIndexList(persistent, moved);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void ResultModel::SetHeaderImage(int column, int image) {
    if (column < 0 || column >= kColumns) return;
    headerImages_[static_cast<size_t>(column)] = image;
    emit headerDataChanged(Qt::Horizontal, column, column);
}

int ResultModel::HeaderImage(int column) const {
    if (column < 0 || column >= kColumns) return -1;
    return headerImages_[static_cast<size_t>(column)];
}

}  // namespace qv
