#include "cli/command_support.h"

#include <map>

#include "model/parallel.h"

void addNetworkArgument(CLI::App& command, std::string& path) {
    command.add_option("NETWORK", path, "file with a \"DATA:\" network block, or - for standard input")->required();
}

void addJobsOption(CLI::App& command, int& jobs) {
    jobs = availableJobs();
    command.add_option("-j,--jobs", jobs, "threads to work on; the output is the same for any number")
        ->check(CLI::Range(1, 4096))
        ->capture_default_str();
}

void addChainOptions(CLI::App& command, ChainOptions& options) {
    addJobsOption(command, options.jobs);
    command
        .add_option("--max-configurations", options.maxConfigurations,
                    "refuse networks with more configurations than this")
        ->check(CLI::Range(1LL, MaxConfigurationsLimit))
        ->capture_default_str();
}

void addFormatOption(CLI::App& command, std::string& format) {
    format = "csv";
    command.add_option("--format", format, "csv or json")->check(CLI::IsMember({"csv", "json"}))->capture_default_str();
}

void addOutputOption(CLI::App& command, std::string& path, const std::string& what) {
    path = "-";
    command.add_option("-o,--output", path, what + " (- for standard output)")->capture_default_str();
}

int configurationCountWithin(const NetworkInput& input, long long limit) {
    return configurationCountWithin(input, limit, "--max-configurations");
}

MarkovChain buildChain(const NetworkInput& input, const ChainOptions& options, WorkProgress& progress) {
    const int count = configurationCountWithin(input, options.maxConfigurations);
    return buildMarkovChain(input.network, neighbourLists(input.network), count, options.jobs, &progress);
}

const char* markText(bool marked) { return marked ? "S" : "C"; }

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
