#include "app/FileTexts.h"

#include "platform/Text.h"

namespace qv {

namespace {

constexpr const char* kTimeFormat = "%Y-%m-%d %H:%M";

template <typename T>
int Three(const T& x, const T& y) {
    return x < y ? -1 : (y < x ? 1 : 0);
}

int StateRank(FileState state) {
    return state == FileState::kUnknown ? 99 : static_cast<int>(state);
}

// Paths sort by the texts PathText makes; every file of one list has the same letter, so any
// letter gives the same order. Files of one folder share their chain and need no text.
int ComparePaths(const DeletedFile& a, const DeletedFile& b) {
    if (a.rooted == b.rooted && a.folder.Identity() == b.folder.Identity()) return 0;
    return Three(PathText(a, u'C'), PathText(b, u'C'));
}

}  // namespace

std::u16string SizeText(uint64_t size) {
    const uint64_t kilobytes = size / 1024 + (size % 1024 != 0 ? 1 : 0);
    std::u16string text;
    for (const char c : std::to_string(kilobytes))
        text.push_back(static_cast<char16_t>(c));
    return text + u" KB";
}

std::u16string GroupedNumber(uint64_t number) {
    const std::string digits = std::to_string(number);
    std::u16string text;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) text.push_back(u',');
        text.push_back(static_cast<char16_t>(digits[i]));
    }
    return text;
}

std::u16string ExactSizeText(uint64_t size) {
    return GroupedNumber(size) + (size == 1 ? u" byte" : u" bytes");
}

std::u16string TypeOf(const std::u16string& name) {
    const size_t dot = name.rfind(u'.');
    if (dot == std::u16string::npos || dot == 0) return {};
    return name.substr(dot + 1);
}

std::u16string TimeText(const CTime& time) {
    if (!time.IsSet()) return {};
    // Lists show many files of the same minute: local time is worked out once per minute. (Since
    // 1970 every zone's offset is whole minutes; older times are worked out each time.)
    thread_local int64_t minute = -1;
    thread_local std::u16string text;
    if (time.Seconds() < 0) return time.Format(kTimeFormat);
    if (time.Seconds() / 60 != minute) {
        minute = time.Seconds() / 60;
        text = time.Format(kTimeFormat);
    }
    return text;
}

std::u16string PathText(const DeletedFile& file, char16_t letter) {
    std::u16string text;
    if (file.rooted) {
        text.push_back(letter);
        text += u":\\";
    }
    for (const std::u16string& name : file.folder.Names()) {
        text += name;
        text += u'\\';
    }
    return text;
}

std::u16string StateText(const DeletedFile& file) {
    const std::string_view name = StateName(file.state);
    std::u16string text(name.begin(), name.end());
    if (file.state == FileState::kPartlyOverwritten)
        text += u" (" + FromUtf8(std::to_string(file.overwrittenPercent)) + u" %)";
    return text;
}

std::u16string ColumnText(const DeletedFile& file, Column column, char16_t letter) {
    switch (column) {
        case Column::kName: return file.name;
        case Column::kType: return TypeOf(file.name);
        case Column::kSize: return SizeText(file.size);
        case Column::kCreated: return TimeText(file.created);
        case Column::kDeleted: return TimeText(file.deleted);
        case Column::kPath: return PathText(file, letter);
        case Column::kState: return StateText(file);
    }
    return {};
}

int CompareFiles(const DeletedFile& a, const DeletedFile& b, Column column) {
    // std::u16string compares code unit by code unit, as unsigned 16-bit values.
    switch (column) {
        case Column::kName: return Three(a.name, b.name);
        case Column::kType: return Three(TypeOf(a.name), TypeOf(b.name));
        case Column::kSize: return Three(a.size, b.size);
        case Column::kCreated: return Three(a.created.Seconds(), b.created.Seconds());
        case Column::kDeleted: return Three(a.deleted.Seconds(), b.deleted.Seconds());
        case Column::kPath: return ComparePaths(a, b);
        case Column::kState:
            // From whole to gone: resident, intact, partly overwritten by share, overwritten,
            // then unknown.
            if (a.state != b.state) return Three(StateRank(a.state), StateRank(b.state));
            return Three(a.overwrittenPercent, b.overwrittenPercent);
    }
    return 0;
}

bool ListedBefore(const DeletedFile& a, const DeletedFile& b) {
    const int c = Three(a.name, b.name);
    return c != 0 ? c < 0 : a.record < b.record;
}

}  // namespace qv
