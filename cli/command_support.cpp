#include "cli/command_support.h"

#include <cmath>
#include <map>

#include "cli/cli_error.h"
#include "cli/option_values.h"
#include "cli/output.h"
#include "model/support/engine_error.h"
#include "model/support/parallel.h"
#include "model/support/system_memory.h"
#include "model/text/message_text.h"

namespace {

// Less than this runs nothing at all: the command itself takes more.
constexpr double LeastMaxMemory = 1 << 20;

}  // namespace

void addNetworkArgument(CLI::App& command, std::string& path) {
    command.add_option("NETWORK", path, "file with a \"DATA:\" network block, or - for standard input")
        ->required()
        ->check(FileName);
}

void addJobsOption(CLI::App& command, int& jobs) {
    jobs = availableJobs();
    command.add_option("-j,--jobs", jobs, "threads to work on; the output is the same for any number")
        ->check(CLI::Range(1, 4096))
        ->capture_default_str();
}

void addChainOptions(CLI::App& command, ChainOptions& options) {
    command
        .add_option_function<std::string>(
            "--chain", [&options](const std::string& text) { parseChainRules(text, options.rules); },
            "whose one-step weights to analyse: process, the step's own (Space, simulate), or window, the "
            "window's analysis (the A key, the figures of version 1)")
        ->type_name("RULES")
        ->check(CLI::IsMember({"process", "window"}))
        ->default_str("process");
    addJobsOption(command, options.jobs);
    command
        .add_option("--max-configurations", options.maxConfigurations,
                    "refuse networks with more configurations than this")
        ->check(CLI::Range(1LL, MaxConfigurationsLimit))
        ->capture_default_str();
    options.maxMemory = 0.8 * availableMemory();
    command
        .add_option_function<std::string>(
            "--max-memory", [&options](const std::string& text) { parseByteSize(text, options.maxMemory); },
            "refuse networks whose chain would take more memory than SIZE bytes (K, M, G, T: powers of 1024), "
            "at least 1M; default: 80 % of the memory available at start")
        ->type_name("SIZE")
        ->check(CLI::Validator(
            [](std::string& text) {
                double bytes = 0;
                if (!parseByteSize(text, bytes))
                    return std::string("expected a number of bytes above 0, with K, M, G or T");
                return bytes < LeastMaxMemory ? quotedText(text) + " is below the least, 1M" : std::string();
            },
            "SIZE"));
}

void addFormatOption(CLI::App& command, std::string& format) {
    format = "csv";
    command.add_option("--format", format, "csv or json")->check(CLI::IsMember({"csv", "json"}))->capture_default_str();
}

void addOutputOption(CLI::App& command, std::string& path, const std::string& what) {
    path = "-";
    command.add_option("-o,--output", path, what + " (- for standard output)")->capture_default_str()->check(FileName);
}

int configurationCountWithin(const NetworkInput& input, long long limit) {
    return configurationCountWithin(input, limit, "--max-configurations");
}

ChainLimits chainLimits(const NetworkInput& input, const ChainOptions& options) {
    ChainLimits limits;
    limits.maxBytes = options.maxMemory;
    limits.name = locationOf(input.name);
    limits.limitName = "--max-memory";
    return limits;
}

MarkovChain buildChain(const NetworkInput& input, const ChainOptions& options, WorkProgress& progress,
                       double keptBytes, bool keepSuccessChances) {
    const int count = configurationCountWithin(input, options.maxConfigurations);
    return buildMarkovChainWithin(options.rules, input.network, neighbourLists(input.network), count, options.jobs,
                                  chainLimits(input, options), keptBytes, &progress, keepSuccessChances);
}

void refuseForMemory(const NetworkInput& input, const ChainOptions& options, size_t transitions) {
    throw CliError(ExitBeyondLimit, locationOf(input.name) + "could not get the memory to follow " +
                                        countText(static_cast<double>(transitions)) + " transitions; --max-memory is " +
                                        byteText(options.maxMemory));
}

void checkOutcomePathsOf(const NetworkInput& input) {
    const NeighbourLists neighbours = neighbourLists(input.network);
    const long long count = configurationCount(neighbours, MaxAnalysisConfigurations);
    if (count < 0) return;
    try {
        checkOutcomePaths(ChainRules::Window, input.network, neighbours, static_cast<int>(count),
                          MaxOutcomePathsPerRow);
    } catch (const TooManyOutcomePaths& e) {
        throw EngineError(EngineError::BeyondLimit, locationOf(input.name) + e.what());
    }
}

const char* markText(bool marked) { return marked ? "S" : "C"; }

void writeJsonWithRows(Output& out, const nlohmann::ordered_json& head, const MarkovChain& chain,
                       const std::function<void(int, nlohmann::ordered_json&)>& addFigures) {
    std::string text = head.dump();
    text.pop_back();
    out.stream() << text << ",\"rows\":[";
    const ConfigurationList& configurations = chain.configurations;
    for (int l = 0; l < configurations.count; ++l) {
        nlohmann::ordered_json row;
        row["configuration"] = l;
        for (int i = 0; i < configurations.nodeCount; ++i) row["node" + std::to_string(i)] = configurations[l][i];
        row["mark"] = markText(chain.marked[l]);
        addFigures(l, row);
        out.stream() << (l ? "," : "") << row.dump();
        if (l % 4096 == 0) out.check();
    }
    out.stream() << "]}\n";
}

std::vector<std::string> legendLabels(const std::vector<std::string>& paths) {
    std::vector<std::string> labels;
    std::map<std::string, int> uses;
    for (const auto& path : paths) {
        const size_t slash = path.rfind('/');
        labels.push_back(path == "-" ? "standard input" : slash == std::string::npos ? path : path.substr(slash + 1));
        ++uses[labels.back()];
    }
    for (size_t k = 0; k < paths.size(); ++k)
        if (uses[labels[k]] > 1) labels[k] = paths[k];
    return labels;
}

void addTableOptions(CLI::App& command, bool& perConfiguration, std::string& format, std::string& output,
                     ChainOptions& chain, std::string& network) {
    command.add_flag("--per-configuration", perConfiguration, "one row per start configuration");
    addFormatOption(command, format);
    addOutputOption(command, output, "the data file");
    addChainOptions(command, chain);
    addNetworkArgument(command, network);
}

nlohmann::ordered_json numberJson(double value) {
    if (std::isnan(value)) return "nan";
    if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
    return value;
}
