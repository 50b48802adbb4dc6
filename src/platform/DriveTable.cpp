#include "platform/DriveTable.h"

#include <algorithm>

namespace qv {

namespace {
char16_t Upper(char16_t c) {
    return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c;
}
}  // namespace

DriveTable& DriveTable::Global() {
    static DriveTable table;
    return table;
}

char16_t DriveTable::Assign(const std::u16string& path, const std::u16string& label) {
    std::lock_guard lock(mutex_);
    for (const Drive& d : drives_)
        if (d.path == path) return d.letter;
    for (char16_t letter = u'C'; letter <= u'Z'; ++letter) {
        const bool taken = std::any_of(drives_.begin(), drives_.end(),
                                       [&](const Drive& d) { return d.letter == letter; });
        if (taken) continue;
        drives_.push_back(Drive{letter, path, label, u"NTFS"});
        std::sort(drives_.begin(), drives_.end(),
                  [](const Drive& a, const Drive& b) { return a.letter < b.letter; });
        return letter;
    }
    return 0;
}

bool DriveTable::Set(char16_t letter, const std::u16string& path, const std::u16string& label) {
    letter = Upper(letter);
    if (letter < u'A' || letter > u'Z') return false;
    std::lock_guard lock(mutex_);
    drives_.erase(std::remove_if(drives_.begin(), drives_.end(),
                                 [&](const Drive& d) { return d.letter == letter; }),
                  drives_.end());
    drives_.push_back(Drive{letter, path, label, u"NTFS"});
    std::sort(drives_.begin(), drives_.end(),
              [](const Drive& a, const Drive& b) { return a.letter < b.letter; });
    return true;
}

std::optional<DriveTable::Drive> DriveTable::Find(char16_t letter) const {
    letter = Upper(letter);
    std::lock_guard lock(mutex_);
    for (const Drive& d : drives_)
        if (d.letter == letter) return d;
    return std::nullopt;
}

std::vector<DriveTable::Drive> DriveTable::List() const {
    std::lock_guard lock(mutex_);
    return drives_;
}

void DriveTable::Clear() {
    std::lock_guard lock(mutex_);
    drives_.clear();
}

char16_t DriveTable::ParseLetter(const std::u16string& text) {
    if (text.empty() || text.size() > 3) return 0;
    const char16_t letter = Upper(text[0]);
    if (letter < u'A' || letter > u'Z') return 0;
    if (text.size() >= 2 && text[1] != u':') return 0;
    if (text.size() == 3 && text[2] != u'\\' && text[2] != u'/') return 0;
    return letter;
}

}  // namespace qv
