#pragma once

#include <CLI/CLI.hpp>

#include <cstdint>
#include <string>
#include <vector>

#include "cli/FilterOptions.h"

namespace qv {

// Exit statuses of the terminal program.
constexpr int kExitOk = 0;
constexpr int kExitCannotOpen = 1;
constexpr int kExitBadArguments = 2;
constexpr int kExitSomeNotRecovered = 3;
constexpr int kExitInterrupted = 130;

struct ScanArguments {
    std::string source;
    int partition = 0;
    bool json = false;
    bool csv = false;
    bool noAdvanced = false;
    bool wide = false;
    FilterArguments filters;
};

struct RecoverArguments {
    std::string source;
    int partition = 0;
    std::string destination;
    bool all = false;
    std::vector<uint64_t> records;
    bool noPaths = false;
    std::string ifExists = "ask";
    bool keepTimes = false;
    bool noAdvanced = false;
    bool allowSameVolume = false;
    bool wide = false;
    FilterArguments filters;
};

struct CatArguments {
    std::string source;
    int partition = 0;
    uint64_t record = 0;
    std::string stream;
};

struct VolumesArguments {
    std::vector<std::string> sources;
};

void AddScanCommand(CLI::App& app, ScanArguments& options);
void AddVolumesCommand(CLI::App& app, VolumesArguments& options);
int RunVolumesCommand(const VolumesArguments& options);
void AddRecoverCommand(CLI::App& app, RecoverArguments& options);
int RunScanCommand(const ScanArguments& options);
int RunRecoverCommand(const RecoverArguments& options);
void AddCatCommand(CLI::App& app, CatArguments& options);
int RunCatCommand(const CatArguments& options);

}  // namespace qv
