#include <cstdio>

#include "cli/Commands.h"

namespace qv {

void AddRecoverCommand(CLI::App& app, RecoverOptions& options) {
    CLI::App* recover = app.add_subcommand("recover", "Copy deleted files out of a volume.");
    recover->add_option("SOURCE", options.source, "image file, block device, or drive letter")
        ->required();
}

int RunRecoverCommand(const RecoverOptions&) {
    std::fprintf(stderr, "quorvane-cli: recover is not available yet\n");
    return kExitBadArguments;
}

}  // namespace qv
