#pragma once

#include <CLI/CLI.hpp>

#include <functional>
#include <string>
#include <vector>

#include "model/network_input.h"
#include "model/analysis.h"
#include "model/kept_values.h"

class WorkProgress;

// A subcommand's work, run once the whole command line has been parsed.
using CommandRun = std::function<void()>;

// Options shared by the subcommands that build a network's chain.
struct ChainOptions {
    long long maxConfigurations = DefaultMaxConfigurations;
    int jobs = 1;
};

void addNetworkArgument(CLI::App& command, std::string& path);
void addJobsOption(CLI::App& command, int& jobs);
void addChainOptions(CLI::App& command, ChainOptions& options);
void addFormatOption(CLI::App& command, std::string& format);
void addOutputOption(CLI::App& command, std::string& path, const std::string& what);

// The network's configuration count, or CliError (beyond a limit) when it
// exceeds `limit`.
int configurationCountWithin(const NetworkInput& input, long long limit);

// The chain of the network, with progress shown on a terminal.
MarkovChain buildChain(const NetworkInput& input, const ChainOptions& options, WorkProgress& progress);

// "S" or "C".
const char* markText(bool marked);

// A label for a network in legends: the file name without its folders, or
// the path as given where two names would be the same.
std::vector<std::string> legendLabels(const std::vector<std::string>& paths);
