#include "cli/FilterOptions.h"

#include "platform/Text.h"

namespace qv {

namespace {

// A CLI11 check from one of the filter value parsers: its error text becomes the usage error.
template <typename Parse>
CLI::Validator Readable(Parse parse, const char* what) {
    return CLI::Validator(
        [parse](std::string& text) {
            const auto parsed = parse(FromUtf8(text));
            return parsed.ok() ? std::string() : parsed.error().Text();
        },
        what);
}

std::vector<std::u16string> Wide(const std::vector<std::string>& texts) {
    std::vector<std::u16string> wide;
    for (const std::string& text : texts)
        wide.push_back(FromUtf8(text));
    return wide;
}

}  // namespace

bool FilterArguments::Any() const {
    return !names.empty() || !paths.empty() || !types.empty() || !minSize.empty() ||
           !maxSize.empty() || !deletedAfter.empty() || !deletedBefore.empty() || !states.empty();
}

void AddFilterOptions(CLI::App& command, FilterArguments& arguments) {
    const char* group = "Filters (all must hold)";
    command
        .add_option("--match", arguments.names,
                    "files whose name matches this pattern: * ? [a-z], any case (repeatable)")
        ->group(group);
    command
        .add_option("--path", arguments.paths,
                    "files in a folder whose path matches this pattern: 'Documents/Reports', "
                    "'Documents/*' (below it), 'C:\\Users\\*', '/' (the root); repeatable")
        ->group(group);
    command
        .add_option("--type", arguments.types, "files with one of these extensions: jpg,png,pdf")
        ->check(Readable(ParseTypes, "EXT[,EXT]"))
        ->group(group);
    command
        .add_option("--min-size", arguments.minSize,
                    "files of at least this size: 1234, 10k, 5M, 1G")
        ->check(Readable(ParseSize, "SIZE"))
        ->group(group);
    command.add_option("--max-size", arguments.maxSize, "files of at most this size")
        ->check(Readable(ParseSize, "SIZE"))
        ->group(group);
    command
        .add_option("--deleted-after", arguments.deletedAfter,
                    "files deleted at or after this local time: 2024-03-01, '2024-03-01 14:30'")
        ->check(Readable(ParseDate, "DATE"))
        ->group(group);
    command
        .add_option("--deleted-before", arguments.deletedBefore,
                    "files deleted before this local time")
        ->check(Readable(ParseDate, "DATE"))
        ->group(group);
    command
        .add_option("--state", arguments.states,
                    "files in one of these states: resident, intact, partly (overwritten), "
                    "overwritten, unknown")
        ->check(Readable(ParseStates, "STATE[,STATE]"))
        ->group(group);
}

FileFilter MakeFilter(const FilterArguments& arguments, char16_t letter) {
    FileFilter filter;
    filter.SetLetter(letter);
    filter.SetNames(Wide(arguments.names));
    filter.SetPaths(Wide(arguments.paths));
    std::vector<std::u16string> types;
    for (const std::string& list : arguments.types) {
        auto parsed = ParseTypes(FromUtf8(list));  // kept: a loop over *Parse...() would dangle
        types.insert(types.end(), parsed->begin(), parsed->end());
    }
    filter.SetTypes(std::move(types));
    if (!arguments.minSize.empty()) filter.SetMinSize(*ParseSize(FromUtf8(arguments.minSize)));
    if (!arguments.maxSize.empty()) filter.SetMaxSize(*ParseSize(FromUtf8(arguments.maxSize)));
    if (!arguments.deletedAfter.empty())
        filter.SetDeletedAfter(*ParseDate(FromUtf8(arguments.deletedAfter)));
    if (!arguments.deletedBefore.empty())
        filter.SetDeletedBefore(*ParseDate(FromUtf8(arguments.deletedBefore)));
    StateSet states = 0;
    for (const std::string& list : arguments.states)
        states |= *ParseStates(FromUtf8(list));
    filter.SetStates(states);
    return filter;
}

}  // namespace qv
