// quorvane-cli: find deleted files on an NTFS volume or image, and copy them out.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <string>

#include "cli/Commands.h"

int main(int argc, char** argv) {
    CLI::App app{
        "Finds deleted files on an NTFS volume (a block device, an image file, or a "
        "drive letter such as E:) and copies them out.",
        "quorvane-cli"};
    app.set_version_flag("--version", std::string("quorvane-cli ") + QUORVANE_VERSION);
    app.require_subcommand(1);
    qv::ScanArguments scan;
    qv::RecoverArguments recover;
    qv::VolumesArguments volumes;
    qv::CatArguments cat;
    qv::AddScanCommand(app, scan);
    qv::AddRecoverCommand(app, recover);
    qv::AddVolumesCommand(app, volumes);
    qv::AddCatCommand(app, cat);
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        app.exit(e);
        return qv::kExitBadArguments;
    }
    if (app.got_subcommand("scan")) return qv::RunScanCommand(scan);
    if (app.got_subcommand("volumes")) return qv::RunVolumesCommand(volumes);
    if (app.got_subcommand("cat")) return qv::RunCatCommand(cat);
    return qv::RunRecoverCommand(recover);
}
