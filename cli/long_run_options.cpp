#include "cli/long_run_options.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>

#include "cli/cli_error.h"
#include "cli/number_text.h"
#include "model/support/engine_error.h"
#include "model/text/message_text.h"

void addLongRunOptions(CLI::App& command, LongRunTextOptions& options) {
    command
        .add_option("--precision", options.precision,
                    "every interval is at most EPS x max(1, |value|) wide; at least 1e-13, and at least about "
                    "4e-16 times the steps a configuration takes to settle, which the rounding of doubles allows")
        ->capture_default_str();
    command.add_flag("--direct", options.direct,
                     "solve by a sparse LU factorisation (up to " + std::to_string(MaxDirectConfigurations) +
                         " transient configurations) instead of iterations, if its factorisation fits in "
                         "--max-memory");
    command
        .add_option("--max-iterations", options.maxIterations,
                    "passes over the transitions before giving up with the intervals reached")
        ->check(CLI::Range(1LL, 1000000000000LL))
        ->capture_default_str();
}

namespace {

// The whole text as a decimal number, or false; one too small or too large
// for a double reads as 0 or infinity.
bool readsAsNumber(const std::string& text, double& value) {
    const auto parsed = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || parsed.ptr != text.data() + text.size()) return false;
    if (parsed.ec == std::errc::result_out_of_range) value = std::strtod(text.c_str(), nullptr);
    return parsed.ec == std::errc() || parsed.ec == std::errc::result_out_of_range;
}

}  // namespace

double precisionNumber(const LongRunTextOptions& options) {
    double precision = 0.0;
    if (!readsAsNumber(options.precision, precision) || !std::isfinite(precision))
        throw CliError(ExitBadInput, "--precision " + quotedText(options.precision) + " is not a number");
    return precision;
}

LongRunOptions parseLongRunOptions(const LongRunTextOptions& options, int jobs) {
    const double precision = precisionNumber(options);
    if (!(precision >= FinestLongRunPrecision))
        throw CliError(ExitBadInput, "--precision " + options.precision + " is below 1e-13");
    LongRunOptions longRun;
    longRun.precision = precision;
    longRun.method = options.direct ? LongRunMethod::Direct : LongRunMethod::Automatic;
    longRun.maxIterations = options.maxIterations;
    longRun.jobs = jobs;
    return longRun;
}

std::vector<double> parseQuantiles(const std::string& text) {
    std::vector<double> quantiles;
    size_t start = 0;
    for (;;) {
        const size_t comma = text.find(',', start);
        const std::string entry = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        double q = 0.0;
        const auto parsed = std::from_chars(entry.data(), entry.data() + entry.size(), q);
        if (entry.empty() || parsed.ec != std::errc() || parsed.ptr != entry.data() + entry.size())
            throw CliError(ExitBadInput, "--quantiles " + quotedText(text) + ": " + quotedText(entry) + " is not a number");
        if (!(q > 0.0 && q <= 1.0))
            throw CliError(ExitBadInput, "--quantiles " + quotedText(text) + ": " + entry + " is outside (0, 1]");
        quantiles.push_back(q);
        if (comma == std::string::npos) return quantiles;
        start = comma + 1;
    }
}

LongRunOptions withDirectSolveRoom(LongRunOptions options, const MarkovChain& chain, double maxBytes) {
    const ConfigurationList& configurations = chain.configurations;
    const double held = static_cast<double>(chain.transitions.memoryBytes()) +
                        static_cast<double>(configurations.entries.size()) * sizeof(int) +
                        static_cast<double>(longRunMemory(configurations.count));
    options.maxDirectBytes = std::max(0.0, maxBytes - held);
    return options;
}

LongRunFigures computeLongRunOf(const NetworkInput& input, const MarkovChain& chain, const LongRunOptions& options,
                                WorkProgress& progress) {
    try {
        return computeLongRun(chain.transitions, chain.marked, options, &progress);
    } catch (const LongRunCapReached& e) {
        throw CliError(ExitFailure, locationOf(input.name) + e.what());
    } catch (const EngineError& e) {
        throw EngineError(e.kind(), locationOf(input.name) + e.what());
    }
}

const char* const LongRunColumns[LongRunColumnCount] = {
    "limit",          "limit_low",       "limit_high", "mean_steps", "mean_steps_low", "mean_steps_high",
    "mean_steps_if_reached", "mean_steps_if_reached_low", "mean_steps_if_reached_high"};

std::array<double, LongRunColumnCount> longRunColumnValues(const BoundedFigure& limit, const BoundedFigure& meanSteps,
                                                           const BoundedFigure& ifReached) {
    return {limit.value,     limit.low,     limit.high,     meanSteps.value, meanSteps.low,
            meanSteps.high,  ifReached.value, ifReached.low, ifReached.high};
}
