#pragma once

#include <CLI/CLI.hpp>

#include <cstdint>
#include <string>
#include <vector>

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
    bool noAdvanced = false;
    bool wide = false;
};

struct RecoverArguments {
    std::string source;
    int partition = 0;
    std::string destination;
    bool all = false;
    std::vector<uint64_t> records;
    std::vector<std::string> patterns;
    bool noPaths = false;
    std::string ifExists = "ask";
    bool keepTimes = false;
    bool noAdvanced = false;
    bool allowSameVolume = false;
    bool wide = false;
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

}  // namespace qv
