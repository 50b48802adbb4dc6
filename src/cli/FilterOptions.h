#pragma once

#include <CLI/CLI.hpp>

#include <string>
#include <vector>

#include "app/FileFilter.h"

namespace qv {

// The filter options scan and recover share, as typed.
struct FilterArguments {
    std::vector<std::string> names;  // --match (any of them)
    std::vector<std::string> paths;  // --path (any of them)
    std::vector<std::string> types;  // --type, each a comma list
    std::string minSize, maxSize;
    std::string deletedAfter, deletedBefore;
    std::vector<std::string> states;  // --state, each a comma list

    bool Any() const;
};

// Adds --match, --path, --type, --min-size, --max-size, --deleted-after, --deleted-before and
// --state to a command. A value that cannot be read is a usage error naming the option and the
// value.
void AddFilterOptions(CLI::App& command, FilterArguments& arguments);
// The filter the (checked) arguments describe, for paths shown with letter.
FileFilter MakeFilter(const FilterArguments& arguments, char16_t letter);

}  // namespace qv
