#include <algorithm>
#include <cstdio>
#include <thread>

#include "app/Log.h"
#include "cli/Commands.h"
#include "cli/Output.h"
#include "cli/ScanRunner.h"
#include "cli/SourceChoice.h"
#include "platform/DestinationFolder.h"
#include "platform/SameVolume.h"
#include "platform/Text.h"
#include "recovery/TargetNames.h"

namespace qv {

void AddRecoverCommand(CLI::App& app, RecoverArguments& options) {
    CLI::App* recover = app.add_subcommand(
        "recover",
        "Scan like 'scan', tick the chosen files and copy them below DIR, in their folders.\n"
        "Exit status: 0 all chosen files recovered, 1 volume cannot be opened, 2 bad arguments,\n"
        "3 some files failed, were incomplete or skipped, 130 interrupted (Ctrl-C is Stop).");
    recover->add_option("SOURCE", options.source, "image file, block device, or drive letter (E:)")
        ->required();
    recover
        ->add_option("--partition", options.partition,
                     "the NTFS partition to recover from, on a disk with several (see "
                     "'volumes')")
        ->check(CLI::PositiveNumber);
    recover->add_option("--to", options.destination, "destination folder (made when missing)")
        ->required();
    auto* all = recover->add_flag("--all", options.all, "every deleted file");
    auto* records = recover->add_option("--record", options.records,
                                        "the file of this MFT record number (repeatable)");
    all->excludes(records);
    recover->add_flag("--no-paths", options.noPaths,
                      "put every file straight into DIR (do not recover pathnames)");
    recover
        ->add_option("--if-exists", options.ifExists,
                     "when a target exists: ask (default; skip without a terminal), "
                     "overwrite, skip, rename")
        ->check(CLI::IsMember({"ask", "overwrite", "skip", "rename"}));
    recover->add_flag("--keep-times", options.keepTimes,
                      "give recovered files their modification and access times");
    recover->add_flag("--no-advanced", options.noAdvanced, "do not use the volume's log file");
    recover->add_flag("--wide", options.wide,
                      "print names and paths whole on a terminal too (they are cut to fit it)");
    recover->add_flag("--allow-same-volume", options.allowSameVolume,
                      "recover even when DIR lies on the device being scanned (this can "
                      "overwrite the very files being recovered)");
    AddFilterOptions(*recover, options.filters);
    recover->callback([&options] {
        if (!options.all && options.records.empty() && !options.filters.Any())
            throw CLI::RequiredError("--all, --record or a filter (--match, --type, ...)");
    });
}

namespace {

// A file is chosen when --record lists it (or no --record was given) and every filter holds.
bool Chosen(const RecoverArguments& options, const FileFilter& filter, const DeletedFile& file) {
    const bool listed = options.records.empty() ||
                        std::find(options.records.begin(), options.records.end(), file.record) !=
                            options.records.end();
    return listed && filter.Matches(file);
}

ExistingFile ExistingFilePolicy(const std::string& text) {
    if (text == "overwrite") return ExistingFile::kOverwrite;
    if (text == "skip") return ExistingFile::kSkip;
    if (text == "rename") return ExistingFile::kRename;
    return ExistingFile::kAsk;
}

}  // namespace

int RunRecoverCommand(const RecoverArguments& options) {
    // The destination is checked before the scan: a scan of a large volume must not end in
    // finding that there is nowhere to put the files.
    const std::u16string destination = TidyDestination(FromUtf8(options.destination));
    if (destination.empty()) {
        std::fprintf(stderr, "quorvane-cli: --to: the destination folder is blank\n");
        return kExitBadArguments;
    }
    if (Status usable = CheckDestination(destination); !usable) {
        std::fprintf(stderr, "quorvane-cli: --to: %s\n", usable.error().Text().c_str());
        return kExitBadArguments;
    }
    ScanRunner runner;
    // Nor must it end in finding that the destination lies on the volume being scanned.
    const SourceChoice choice = ChooseSource(options.source, options.partition);
    if (choice.exitStatus >= 0) return choice.exitStatus;
    if (const Drive* drive = &choice.drive) {
        if (!options.allowSameVolume && DestinationOnSource(drive->source.path, destination)) {
            std::fprintf(stderr,
                         "quorvane-cli: --to: cannot recover into %s: it is on the volume being "
                         "scanned (%s); --allow-same-volume recovers there anyway\n",
                         ToUtf8(destination).c_str(), ToUtf8(drive->source.path).c_str());
            return kExitBadArguments;
        }
    }
    if (const int status = runner.ScanSource(choice, !options.noAdvanced); status >= 0)
        return status;
    std::vector<DeletedFile>& files = runner.Files();
    const size_t width = options.wide ? 0 : TerminalWidth(stdout);
    // The table is printed while the files are recovered, unless it would be interleaved with
    // the recovery's log lines (both going to one terminal or file): then it comes first. On the
    // null device it is not made at all: nothing of it would be kept, and on a busy machine its
    // making takes time from the recovery.
    const bool tableWanted = !WritesToNullDevice(stdout);
    const bool tableAlongside = tableWanted && !SameDestination(stdout, stderr);
    if (tableWanted && !tableAlongside) {
        PrintTable(ListedByName(files), runner.Letter(), stdout, width);
        std::fflush(stdout);
    }

    for (const uint64_t record : options.records) {
        const bool listed = std::any_of(files.begin(), files.end(),
                                        [&](const DeletedFile& f) { return f.record == record; });
        if (!listed)
            Log::Global().Write(u"Record %u is not a deleted file of this volume\n", record);
    }
    WorkerContext& context = runner.Context();
    const FileFilter filter = MakeFilter(options.filters, runner.Letter());
    // Each file is judged once: the filters may match patterns against every name and path.
    std::vector<bool> taken(files.size());
    size_t chosenCount = 0;
    for (size_t i = 0; i < files.size(); ++i) {
        taken[i] = Chosen(options, filter, files[i]);
        if (taken[i]) ++chosenCount;
    }
    // The recovery only reads the list, as the table does: when every file is chosen the list
    // moves into the recovery whole (copying it would cost time and memory), and the table is
    // printed from there; otherwise the chosen files are copied and the list stays for the table.
    const bool allChosen = chosenCount == files.size();
    context.chosen.clear();
    if (allChosen) {
        context.chosen = std::move(files);
        files.clear();
    } else {
        context.chosen.reserve(chosenCount);
        for (size_t i = 0; i < files.size(); ++i)
            if (taken[i]) context.chosen.push_back(files[i]);
    }
    const std::vector<DeletedFile>& listed = allChosen ? context.chosen : files;
    std::thread table;
    if (tableAlongside)
        table = std::thread([&listed, &runner, width] {
            PrintTable(ListedByName(listed), runner.Letter(), stdout, width);
            std::fflush(stdout);
        });
    const int chosen = static_cast<int>(context.chosen.size());

    RecoveryOptions& recovery = context.recovery;
    recovery.destination = destination;
    recovery.recreatePaths = !options.noPaths;
    recovery.existingFile = ExistingFilePolicy(options.ifExists);
    recovery.keepTimes = options.keepTimes;
    recovery.sameVolume = options.allowSameVolume ? SameVolume::kAllow : SameVolume::kRefuse;
    recovery.recordOrder = true;
    const ScanRunner::Outcome outcome = runner.Recover();
    if (table.joinable()) table.join();
    if (outcome == ScanRunner::Outcome::kCancelled) return kExitInterrupted;
    const RecoverySummary& c = context.summary;
    if (c.refused) {
        std::fprintf(stderr, "quorvane-cli: --to: cannot recover into %s%s\n",
                     ToUtf8(c.refusal).c_str(),
                     c.onSameVolume ? "; --allow-same-volume recovers there anyway" : "");
        return kExitBadArguments;
    }
    // Named streams are written as files of their own and counted as such.
    std::fprintf(stderr, "%d chosen, %d recovered", chosen, c.recovered);
    if (c.incomplete) std::fprintf(stderr, ", %d incomplete", c.incomplete);
    if (c.failed) std::fprintf(stderr, ", %d failed", c.failed);
    if (c.skipped) std::fprintf(stderr, ", %d skipped", c.skipped);
    if (c.notReached) std::fprintf(stderr, ", %d not reached", c.notReached);
    std::fprintf(stderr, "\n");
    const bool allWell = !c.failed && !c.incomplete && !c.skipped && !c.notReached;
    return allWell ? kExitOk : kExitSomeNotRecovered;
}

}  // namespace qv
