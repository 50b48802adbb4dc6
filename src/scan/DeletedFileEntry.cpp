#include "scan/DeletedFileEntry.h"

#include "app/ListControl.h"
#include "app/WorkerContext.h"
#include "scan/ScanSession.h"

namespace qv {

namespace {
constexpr const char* kTimeFormat = "%Y-%m-%d %H:%M";
}

std::u16string SizeText(uint64_t size) {
    const uint64_t kilobytes = size / 1024 + (size % 1024 != 0 ? 1 : 0);
    std::u16string text;
    for (const char c : std::to_string(kilobytes))
        text.push_back(static_cast<char16_t>(c));
    return text + u" KB";
}

std::u16string TypeOf(const std::u16string& name) {
    const size_t dot = name.rfind(u'.');
    if (dot == std::u16string::npos || dot == 0) return {};
    return name.substr(dot + 1);
}

std::u16string DeletedFileEntry::ColumnText(int column) const {
    switch (column) {
        case kName: return name;
        case kType: return type;
        case kSize: return SizeText(size);
        case kCreated: return created.Format(kTimeFormat);
        case kDeleted: return deleted.Format(kTimeFormat);
        case kPath: return path;
        default: return {};
    }
}

std::unique_ptr<DeletedFileEntry> MakeEntry(std::unique_ptr<FileRecord> record,
                                            ScanSession& session) {
    auto entry = std::make_unique<DeletedFileEntry>();
    entry->name = record->GetName();
    CTime accessed;
    record->GetTimes(entry->created, entry->deleted, accessed);  // none without a name
    entry->size = record->TotalDataSize(session.ClusterSize());
    session.BuildPath(*record, entry->path);  // empty or partial when the climb stops
    entry->type = TypeOf(entry->name);
    entry->record = std::move(record);
    return entry;
}

void InsertRow(ListControl& list, DeletedFileEntry& entry) {
    const int item = list.InsertItem(0, entry.name, &entry);
    for (int column = DeletedFileEntry::kType; column <= DeletedFileEntry::kPath; ++column)
        list.SetItemText(item, column, entry.ColumnText(column));
}

int CompareEntries(const DeletedFileEntry& a, const DeletedFileEntry& b, int column) {
    // std::u16string compares code unit by code unit, as unsigned 16-bit values.
    auto three = [](const auto& x, const auto& y) { return x < y ? -1 : (y < x ? 1 : 0); };
    switch (column) {
        case DeletedFileEntry::kName: return three(a.name, b.name);
        case DeletedFileEntry::kType: return three(a.type, b.type);
        case DeletedFileEntry::kSize:
            return three(static_cast<int64_t>(a.size), static_cast<int64_t>(b.size));
        case DeletedFileEntry::kCreated: return three(a.created.Seconds(), b.created.Seconds());
        case DeletedFileEntry::kDeleted: return three(a.deleted.Seconds(), b.deleted.Seconds());
        case DeletedFileEntry::kPath: return three(a.path, b.path);
        default: return 0;
    }
}

int WorkerContext::ClearResults() {
    results.clear();
    return 0;
}

}  // namespace qv
