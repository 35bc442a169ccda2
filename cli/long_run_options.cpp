#include "cli/long_run_options.h"

#include <charconv>
#include <cmath>

#include "cli/cli_error.h"
#include "cli/number_text.h"
#include "model/support/engine_error.h"
#include "model/text/message_text.h"

void addLongRunOptions(CLI::App& command, LongRunTextOptions& options) {
    command
        .add_option("--precision", options.precision,
                    "every interval is at most EPS x max(1, |value|) wide; at least 1e-15")
        ->capture_default_str();
    command.add_flag("--direct", options.direct,
                     "solve by a sparse LU factorisation (up to " + std::to_string(MaxDirectConfigurations) +
                         " transient configurations) instead of iterations");
    command
        .add_option("--max-iterations", options.maxIterations,
                    "passes over the transitions before giving up with the intervals reached")
        ->check(CLI::Range(1LL, 1000000000000LL))
        ->capture_default_str();
}

LongRunOptions parseLongRunOptions(const LongRunTextOptions& options, int jobs) {
    if (!(options.precision >= FinestLongRunPrecision) || !std::isfinite(options.precision))
        throw CliError(ExitBadInput, "--precision " + numberText(options.precision) +
                                         " is not a number of at least 1e-15");
    LongRunOptions longRun;
    longRun.precision = options.precision;
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
