#include "cli/rates_options.h"

#include <charconv>
#include <cmath>

#include "cli/cli_error.h"
#include "cli/number_text.h"
#include "model/support/engine_error.h"
#include "model/text/message_text.h"

namespace {

const char* const SamplingHint = "; simulate --summary estimates the rates at any size";

std::vector<int> partnerValues(const std::string& text) {
    std::vector<int> values;
    size_t start = 0;
    for (;;) {
        const size_t comma = text.find(',', start);
        const std::string entry = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        int value = 0;
        const auto parsed = std::from_chars(entry.data(), entry.data() + entry.size(), value);
        if (entry.empty() || parsed.ec != std::errc() || parsed.ptr != entry.data() + entry.size())
            throw CliError(ExitBadInput, "--from " + quotedText(text) + ": " + quotedText(entry) +
                                             " is not a node; the start is uniform or C0,C1,...");
        values.push_back(value);
        if (comma == std::string::npos) return values;
        start = comma + 1;
    }
}

}  // namespace

RateOptions rateOptions(double precision, long long maxIterations, bool perConfiguration, int jobs) {
    if (!(precision >= FinestRatePrecision && precision < 1.0))
        throw CliError(ExitBadInput, "--precision " + numberText(precision) + " is outside [1e-12, 1)");
    RateOptions options;
    options.precision = precision;
    options.maxIterations = maxIterations;
    options.perConfiguration = perConfiguration;
    options.jobs = jobs;
    return options;
}

RateStart rateStart(const std::string& text, const NetworkInput& input) {
    RateStart start;
    if (text == "uniform") return start;
    const std::vector<int> partners = partnerValues(text);
    const NeighbourLists neighbours = neighbourLists(input.network);
    const int nodes = input.network.nodeCount;
    if (static_cast<int>(partners.size()) != nodes)
        throw CliError(ExitBadInput, "--from " + quotedText(text) + " has " + std::to_string(partners.size()) +
                                         " entries; the network has " + std::to_string(nodes) + " nodes");
    int badNode = -1;
    const long long number = configurationNumber(neighbours, partners, badNode);
    if (number < 0)
        throw CliError(ExitBadInput,
                       "--from " + quotedText(text) + ": node " + std::to_string(badNode) + "'s partner " +
                           std::to_string(partners[badNode]) + " is not one of its neighbours" +
                           (neighbours[badNode].empty() ? " (it has none: -1)" : ""));
    start.uniform = false;
    start.configuration = static_cast<int>(number);
    return start;
}

RateFigures ratesOf(const NetworkInput& input, const ChainOptions& chain, const RateOptions& options,
                    WorkProgress& progress) {
    try {
        const int configurations = configurationCountWithin(input, chain.maxConfigurations);
        return ratesWithin(input.network, neighbourLists(input.network), configurations, options,
                           chainLimits(input, chain), &progress);
    } catch (const RatesCapReached& e) {
        throw CliError(ExitFailure, locationOf(input.name) + e.what());
    } catch (const CliError& e) {
        if (e.status() != ExitBeyondLimit) throw;
        throw CliError(ExitBeyondLimit, e.what() + std::string(SamplingHint));
    } catch (const EngineError& e) {
        if (e.kind() != EngineError::BeyondLimit) throw EngineError(e.kind(), locationOf(input.name) + e.what());
        throw EngineError(e.kind(), e.what() + std::string(SamplingHint));
    }
}
