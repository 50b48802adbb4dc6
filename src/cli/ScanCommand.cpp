#include <cstdio>

#include "cli/Commands.h"
#include "cli/Output.h"
#include "cli/ScanRunner.h"

namespace qv {

void AddScanCommand(CLI::App& app, ScanArguments& options) {
    CLI::App* scan = app.add_subcommand(
        "scan", "List the deleted files of a volume: Name, Type, Size, Created, Deleted, Path.");
    scan->add_option("SOURCE", options.source, "image file, block device, or drive letter (E:)")
        ->required();
    scan->add_option("--partition", options.partition,
                     "the NTFS partition to scan, on a disk with several (see 'volumes')")
        ->check(CLI::PositiveNumber);
    scan->add_flag("--json", options.json, "print JSON Lines, one object per file");
    scan->add_flag("--wide", options.wide,
                   "print names and paths whole on a terminal too (they are cut to fit it)");
    scan->add_flag("--no-advanced", options.noAdvanced,
                   "do not use the volume's log file (the advanced scan is the default)");
}

int RunScanCommand(const ScanArguments& options) {
    ScanRunner runner;
    if (const int status =
            runner.ScanSource(options.source, options.partition, !options.noAdvanced);
        status >= 0)
        return status;
    if (options.json)
        PrintJsonLines(runner.Files(), runner.Letter(), stdout);
    else
        PrintTable(runner.Files(), runner.Letter(), stdout,
                   options.wide ? 0 : TerminalWidth(stdout));
    return kExitOk;
}

}  // namespace qv
