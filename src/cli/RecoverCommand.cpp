#include <fnmatch.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "app/Log.h"
#include "cli/Commands.h"
#include "cli/Output.h"
#include "cli/ScanRunner.h"
#include "platform/DestinationFolder.h"
#include "platform/DriveTable.h"
#include "platform/SameVolume.h"
#include "platform/Text.h"
#include "recovery/TargetNames.h"
#include "scan/DeletedFileEntry.h"

namespace qv {

void AddRecoverCommand(CLI::App& app, RecoverOptions& options) {
    CLI::App* recover = app.add_subcommand(
        "recover",
        "Scan like 'scan', tick the chosen files and copy them below DIR, in their folders.\n"
        "Exit status: 0 all chosen files recovered, 1 volume cannot be opened, 2 bad arguments,\n"
        "3 some files failed, were incomplete or skipped, 130 interrupted (Ctrl-C is Stop).");
    recover->add_option("SOURCE", options.source, "image file, block device, or drive letter (E:)")
        ->required();
    recover->add_option("--to", options.destination, "destination folder (made when missing)")
        ->required();
    auto* all = recover->add_flag("--all", options.all, "every deleted file");
    auto* records = recover->add_option("--record", options.records,
                                        "the file of this MFT record number (repeatable)");
    auto* match = recover->add_option("--match", options.patterns,
                                      "files whose name matches this shell pattern (repeatable)");
    all->excludes(records)->excludes(match);
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
    recover->callback([recover, &options] {
        if (!options.all && options.records.empty() && options.patterns.empty())
            throw CLI::RequiredError("--all, --record or --match");
        (void)recover;
    });
}

namespace {

bool Chosen(const RecoverOptions& options, const DeletedFileEntry& entry) {
    if (options.all) return true;
    if (std::find(options.records.begin(), options.records.end(), entry.RecordNumber()) !=
        options.records.end())
        return true;
    const std::string name = ToUtf8(entry.name);
    return std::any_of(options.patterns.begin(), options.patterns.end(), [&](const std::string& p) {
        return fnmatch(p.c_str(), name.c_str(), 0) == 0;
    });
}

WorkerContext::ExistingFile ExistingFilePolicy(const std::string& text) {
    if (text == "overwrite") return WorkerContext::ExistingFile::kOverwrite;
    if (text == "skip") return WorkerContext::ExistingFile::kSkip;
    if (text == "rename") return WorkerContext::ExistingFile::kRename;
    return WorkerContext::ExistingFile::kAsk;
}

}  // namespace

int RunRecoverCommand(const RecoverOptions& options) {
    // The destination is checked before the scan: a scan of a large volume must not end in
    // finding that there is nowhere to put the files.
    const std::u16string destination = TidyDestination(FromUtf8(options.destination));
    if (destination.empty()) {
        std::fprintf(stderr, "quorvane-cli: --to: the destination folder is blank\n");
        return kExitBadArguments;
    }
    std::u16string failing;
    if (const int error = CheckDestination(destination, &failing); error != 0) {
        std::fprintf(stderr, "quorvane-cli: --to: cannot recover into %s: %s\n",
                     ToUtf8(failing).c_str(), std::strerror(error));
        return kExitBadArguments;
    }
    ScanRunner runner;
    // Nor must it end in finding that the destination lies on the volume being scanned.
    if (const char16_t letter = runner.ResolveSource(options.source); letter != 0) {
        const auto drive = DriveTable::Global().Find(letter);
        if (drive && !options.allowSameVolume && DestinationOnSource(drive->path, destination)) {
            std::fprintf(stderr,
                         "quorvane-cli: --to: cannot recover into %s: it is on the volume being "
                         "scanned (%s); --allow-same-volume recovers there anyway\n",
                         ToUtf8(destination).c_str(), ToUtf8(drive->path).c_str());
            return kExitBadArguments;
        }
    }
    if (const int status = runner.ScanSource(options.source, !options.noAdvanced); status >= 0)
        return status;
    MemoryListControl& list = runner.List();
    PrintTable(list, stdout, options.wide ? 0 : TerminalWidth(stdout));
    std::fflush(stdout);

    int chosen = 0;
    for (int i = 0; i < list.Count(); ++i) {
        const bool pick = list.GetItemData(i) && Chosen(options, *list.GetItemData(i));
        list.SetCheck(i, pick);
        chosen += pick ? 1 : 0;
    }
    for (const uint64_t record : options.records) {
        const bool listed = std::any_of(list.Rows().begin(), list.Rows().end(), [&](const auto& r) {
            return r.data && r.data->RecordNumber() == record;
        });
        if (!listed)
            Log::Global().Write(u"Record %u is not a deleted file of this volume\n", record);
    }

    WorkerContext& context = runner.Context();
    context.destination = destination;
    context.sameVolume = options.allowSameVolume ? WorkerContext::SameVolume::kAllow
                                                 : WorkerContext::SameVolume::kRefuse;
    context.recreatePaths = options.noPaths ? 0 : 1;
    context.existingFile = ExistingFilePolicy(options.ifExists);
    context.keepTimes = options.keepTimes;
    if (runner.Recover() == ScanRunner::Outcome::kCancelled) return kExitInterrupted;
    const auto& c = context.counts;
    if (c.refused) {
        std::fprintf(stderr, "quorvane-cli: --to: cannot recover into %s%s\n",
                     ToUtf8(context.refusal).c_str(),
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
