#pragma once

#include <pybind11/pybind11.h>

#include <vector>

#include "model/long_run/long_run.h"
#include "model/rules/outcome_rules.h"
#include "model/support/engine_error.h"
#include "model/text/network_input.h"
#include "python_network.h"

// The long-run arguments that Network.settle and sweep share.
struct LongRunArguments {
    double precision = 1e-9;
    bool direct = false;
    long long maxIterations = 1000000;
};

// The engine's options for `jobs` threads; EngineError (bad input) for a
// precision that is not a number of at least 1e-13 or an iteration cap
// outside 1 to 10^12.
LongRunOptions longRunOptions(const LongRunArguments& arguments, int jobs);

// Runs `work`, naming the network at the start of a long-run refusal as the
// command does.
template <typename Work>
auto namingTheNetwork(const PythonNetwork& network, Work work) -> decltype(work()) {
    try {
        return work();
    } catch (const LongRunCapReached& e) {
        throw LongRunCapReached(locationOf(network.name) + e.what(), e.limit(), e.meanSteps());
    } catch (const EngineError& e) {
        // Refusals within the memory limits name the network already.
        const std::string location = locationOf(network.name);
        if (std::string(e.what()).compare(0, location.size(), location) == 0) throw;
        throw EngineError(e.kind(), location + e.what());
    }
}

// The long run as `vorlask-cli settle` gives it, as a dict of numpy columns:
// measure, value, low and high, a row each for the limit, the mean steps and
// the steps to each quantile (inf where the curve never gets there); with
// perConfiguration the nine per-configuration columns instead.
pybind11::dict settleOf(const PythonNetwork& network, ChainRules rules, const LongRunArguments& arguments,
                        const std::vector<double>& quantiles, bool perConfiguration, long long jobs,
                        long long maxConfigurations, const pybind11::object& progress);

// The columns of a long-run sweep's points: limit, limit_low, limit_high,
// mean_steps, mean_steps_low, mean_steps_high.
void addLongRunColumns(pybind11::dict& columns, std::vector<LongRunFigures>&& figures);
