#include <cstdio>

#include "cli/Commands.h"
#include "cli/Output.h"
#include "cli/ScanRunner.h"

namespace qv {

void AddScanCommand(CLI::App& app, ScanArguments& options) {
    CLI::App* scan = app.add_subcommand(
        "scan",
        "List the deleted files of a volume: Name, Type, Size, Created, Deleted, Path, State.");
    scan->add_option("SOURCE", options.source, "image file, block device, or drive letter (E:)")
        ->required();
    scan->add_option("--partition", options.partition,
                     "the NTFS partition to scan, on a disk with several (see 'volumes')")
        ->check(CLI::PositiveNumber);
    auto* json = scan->add_flag("--json", options.json, "print JSON Lines, one object per file");
    scan->add_flag("--csv", options.csv,
                   "print CSV (RFC 4180), a header line and one line per file")
        ->excludes(json);
    scan->add_flag("--wide", options.wide,
                   "print names and paths whole on a terminal too (they are cut to fit it)");
    scan->add_flag("--no-advanced", options.noAdvanced,
                   "do not use the volume's log file (the advanced scan is the default)");
    AddFilterOptions(*scan, options.filters);
}

int RunScanCommand(const ScanArguments& options) {
    ScanRunner runner;
    if (const int status =
            runner.ScanSource(options.source, options.partition, !options.noAdvanced);
        status >= 0)
        return status;
    std::vector<DeletedFile>& files = runner.Files();
    if (options.filters.Any()) {
        const FileFilter filter = MakeFilter(options.filters, runner.Letter());
        std::erase_if(files, [&](const DeletedFile& file) { return !filter.Matches(file); });
    }
    const Rows rows = ListedByName(files);
    if (options.json)
        PrintJsonLines(rows, runner.Letter(), stdout);
    else if (options.csv)
        PrintCsv(rows, runner.Letter(), stdout);
    else
        PrintTable(rows, runner.Letter(), stdout, options.wide ? 0 : TerminalWidth(stdout));
    return kExitOk;
}

}  // namespace qv
