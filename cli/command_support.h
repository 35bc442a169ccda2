#pragma once

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <functional>
#include <limits>
#include <new>
#include <string>
#include <vector>

#include "cli/cli_error.h"
#include "cli/terminal_progress.h"
#include "model/analysis.h"
#include "model/chain/chain_estimate.h"
#include "model/long_run/long_run.h"
#include "model/support/kept_values.h"
#include "model/support/work_progress.h"
#include "model/text/network_input.h"

class Output;


// A subcommand's work, run once the whole command line has been parsed.
using CommandRun = std::function<void()>;

// Options shared by the subcommands that build a network's chain.
struct ChainOptions {
    ChainRules rules = ChainRules::Process;
    long long maxConfigurations = DefaultMaxConfigurations;
    int jobs = 1;
    // Bytes a run may take; addChainOptions sets 80 % of what is available.
    double maxMemory = std::numeric_limits<double>::infinity();
};

void addNetworkArgument(CLI::App& command, std::string& path);

// What a command that writes a table of the chain's figures takes:
// --per-configuration, --format, -o, the chain's limits and the network.
void addTableOptions(CLI::App& command, bool& perConfiguration, std::string& format, std::string& output,
                     ChainOptions& chain, std::string& network);
void addJobsOption(CLI::App& command, int& jobs);
void addChainOptions(CLI::App& command, ChainOptions& options);
void addFormatOption(CLI::App& command, std::string& format);
void addOutputOption(CLI::App& command, std::string& path, const std::string& what);

// The network's configuration count, or CliError (beyond a limit) when it
// exceeds `limit`.
int configurationCountWithin(const NetworkInput& input, long long limit);

// The limits a chain of `input` is built within.
ChainLimits chainLimits(const NetworkInput& input, const ChainOptions& options);

// The chain of the network within the options' limits, on as many of the
// jobs as fit beside it, with progress shown on a terminal; `keptBytes` are
// what the command holds beside the chain while it follows it. A network
// beyond a limit is refused (EngineError) before the chain is built.
MarkovChain buildChain(const NetworkInput& input, const ChainOptions& options, WorkProgress& progress,
                       double keptBytes = 0.0, bool keepSuccessChances = false);

// Ends the command with one line when following a chain of `transitions`
// entries could not get memory.
[[noreturn]] void refuseForMemory(const NetworkInput& input, const ChainOptions& options, size_t transitions);

// Runs `follow`, work on a chain of `transitions` entries, so that a failure
// to get memory ends the command with one line rather than a bare message.
template <typename Follow>
auto followWithinMemory(const NetworkInput& input, const ChainOptions& options, size_t transitions, Follow&& follow) {
    try {
        return follow();
    } catch (const std::bad_alloc&) {
        refuseForMemory(input, options, transitions);
    }
}

// Refuses (EngineError) a network that the window's analysis accepts but
// one of whose rows has more outcome paths than the command follows.
void checkOutcomePathsOf(const NetworkInput& input);

// JSON has no infinity or NaN: they are the words CSV writes, "inf",
// "-inf" and "nan".
nlohmann::ordered_json numberJson(double value);

// Runs `work(progress)` with its progress shown on a terminal. The long
// run's iteration cap becomes a failure naming the network, and the
// engine's refusals name it too, unless a limit's refusal named it already.
template <typename Work>
auto workNamingTheNetwork(const NetworkInput& input, Work&& work) {
    WorkProgress progress;
    TerminalProgress display(progress);
    try {
        return work(progress);
    } catch (const LongRunCapReached& e) {
        throw CliError(ExitFailure, locationOf(input.name) + e.what());
    } catch (const EngineError& e) {
        if (e.kind() == EngineError::BeyondLimit) throw;
        throw EngineError(e.kind(), locationOf(input.name) + e.what());
    }
}

// "S" or "C".
const char* markText(bool marked);

// The JSON document `head` with a "rows" array of one object per
// configuration, written row by row: a document of them all could take far
// more memory than the values. `addFigures` adds a row's own fields after its
// configuration, nodes and mark.
void writeJsonWithRows(Output& out, const nlohmann::ordered_json& head, const MarkovChain& chain,
                       const std::function<void(int, nlohmann::ordered_json&)>& addFigures);

// A label for a network in legends: the file name without its folders, or
// the path as given where two names would be the same.
std::vector<std::string> legendLabels(const std::vector<std::string>& paths);
