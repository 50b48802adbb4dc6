#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "scan/DeletedFile.h"

namespace qv {

// Which files the window's list shows: a search text, types and states; every condition set
// must hold. The search text is a pattern when it holds * or ?, otherwise a text looked for
// anywhere; either is matched case-insensitively against the name and the path as shown
// ("C:\A\B\"), and a pattern also against path and name together ("*\docs\*.jpg"). Fast enough
// for a whole list per keystroke: each folder's path text is made once and kept.
class ListFilter {
public:
    void SetLetter(char16_t letter) { letter_ = letter; }
    void SetSearchText(std::u16string_view text);
    // Extensions folded to small letters (none: every type).
    void SetTypes(std::vector<std::u16string> types) { types_ = std::move(types); }
    // One bit per FileState (0: every state).
    void SetStates(uint32_t states) { states_ = states; }

    bool Empty() const { return search_.empty() && types_.empty() && states_ == 0; }
    bool Matches(const DeletedFile& file) const;

private:
    bool SearchMatches(const DeletedFile& file) const;
    const std::u16string& FoldedPath(const DeletedFile& file) const;

    char16_t letter_ = u'C';
    std::u16string search_;  // folded
    bool pattern_ = false;
    std::vector<std::u16string> types_;
    uint32_t states_ = 0;
    struct Kept {
        FolderPath keep;  // keeps the chain alive so that its identity is not reused
        std::u16string path;
    };
    mutable std::unordered_map<uintptr_t, Kept> paths_;
};

constexpr uint32_t StateBit(FileState state) {
    return uint32_t{1} << static_cast<unsigned>(state);
}

// Whether text matches a pattern of * (any run) and ? (any one unit), unit by unit.
bool MatchesPattern(std::u16string_view pattern, std::u16string_view text);

}  // namespace qv
