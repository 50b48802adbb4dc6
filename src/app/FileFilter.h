#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "app/FilterValues.h"
#include "app/Glob.h"
#include "scan/DeletedFile.h"

namespace qv {

// Which deleted files a list shows or a recovery takes: every condition that is set must hold.
// Both front ends use it (the terminal's --match, --path, ... options, the window's filter bar
// and search field). Matches is fast enough to run over a whole list per keystroke: patterns
// are folded once, and each folder's path texts are made once and kept.
//
// Paths are matched as folder paths, names joined by "\" ("/" in a pattern means the same),
// without the leading and trailing separator: a file in C:\Documents\Reports\ has the folder
// path "Documents\Reports", and also "C:\Documents\Reports" with the list's letter, so both
// "Documents/*" and "C:\Documents\*" take it; "/" alone (an empty path) takes the files of the
// root folder. A partial path (its top folder is gone) has no letter form.
//
// Not safe to call from two threads at once: the folder cache is filled as files are matched.
class FileFilter {
public:
    // The letter the list shows its paths with (search text and path patterns may use it).
    void SetLetter(char16_t letter);
    // Names matching any of these patterns (none: every name).
    void SetNames(const std::vector<std::u16string>& patterns);
    // Folder paths matching any of these patterns (none: every folder).
    void SetPaths(const std::vector<std::u16string>& patterns);
    // Extensions as ParseTypes gives them (none: every type).
    void SetTypes(std::vector<std::u16string> types);
    void SetMinSize(std::optional<uint64_t> bytes) { minSize_ = bytes; }
    void SetMaxSize(std::optional<uint64_t> bytes) { maxSize_ = bytes; }
    // Deleted at or after / strictly before a time; a file whose time of deletion is unknown
    // matches neither.
    void SetDeletedAfter(std::optional<CTime> time) { deletedAfter_ = time; }
    void SetDeletedBefore(std::optional<CTime> time) { deletedBefore_ = time; }
    void SetStates(StateSet states) { states_ = states; }  // 0: every state
    // The window's search field: a pattern when it holds * ? or [, else a text looked for
    // anywhere, case-insensitive; matched against the name and against the path as shown
    // (C:\A\B\). A pattern with a "\" or "/" is matched against the path and name together
    // instead (*\Reports\*.csv, */Reports/*).
    void SetSearchText(std::u16string_view text);

    // Whether nothing is set: every file matches.
    bool Empty() const;
    bool Matches(const DeletedFile& file) const;

private:
    struct FolderTexts {
        FolderPath keep;            // keeps the chain alive so that its identity is not reused
        bool pathMatches = true;    // by the path patterns
        bool searchMatches = true;  // the search text is found in the shown path
        std::u16string shown;       // folded, as the list shows it
    };
    const FolderTexts& TextsOf(const DeletedFile& file) const;
    bool PathMatches(const DeletedFile& file) const;
    bool SearchMatches(const DeletedFile& file, std::u16string_view name) const;

    char16_t letter_ = u'C';
    std::vector<Glob> names_;
    std::vector<Glob> paths_;
    std::vector<std::u16string> types_;
    std::optional<uint64_t> minSize_, maxSize_;
    std::optional<CTime> deletedAfter_, deletedBefore_;
    StateSet states_ = 0;
    std::u16string search_;  // folded; empty: no search
    std::optional<Glob> searchGlob_;
    bool searchWithPath_ = false;  // the search pattern names folders
    mutable std::u16string name_;  // the folded name, kept to spare an allocation per file
    mutable std::unordered_map<uintptr_t, FolderTexts> folders_;
};

}  // namespace qv
