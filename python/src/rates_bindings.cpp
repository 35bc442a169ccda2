#include "rates_bindings.h"

#include <pybind11/stl.h>

#include <string>
#include <vector>

#include "arguments.h"
#include "interruptible_work.h"
#include "long_run_bindings.h"
#include "model/network/configurations.h"
#include "model/support/engine_error.h"
#include "model/support/kept_values.h"
#include "model/support/work_progress.h"
#include "model/text/network_input.h"
#include "owned_arrays.h"

namespace py = pybind11;

namespace {

constexpr long long MaxIterationsLimit = 1000000000000LL;

const PhaseShares RatePhases = {{"estimating memory", 0.0}, {"enumerating transitions", 0.3}, {"marking", 0.0},
                                {"rates", 0.7}};

RateStart startOf(const py::object& start, const PythonNetwork& network) {
    RateStart result;
    if (py::isinstance<py::str>(start)) {
        if (start.cast<std::string>() != "uniform")
            refuseArgument("start is \"uniform\" or the partner of every node, not " + py::repr(start).cast<std::string>());
        return result;
    }
    std::vector<int> partners;
    try {
        partners = start.cast<std::vector<int>>();
    } catch (const py::cast_error&) {
        refuseArgument("start is \"uniform\" or the partner of every node, not " + py::repr(start).cast<std::string>());
    }
    const NeighbourLists neighbours = neighbourLists(network.model);
    if (partners.size() != neighbours.size())
        refuseArgument("start has " + std::to_string(partners.size()) + " entries; the network has " +
                       std::to_string(neighbours.size()) + " nodes");
    int badNode = -1;
    const long long number = configurationNumber(neighbours, partners, badNode);
    if (number < 0)
        refuseArgument("start: node " + std::to_string(badNode) + "'s partner " + std::to_string(partners[badNode]) +
                       " is not one of its neighbours");
    result.uniform = false;
    result.configuration = static_cast<int>(number);
    return result;
}

// Names the network at the start of a refusal, as the command does; limits'
// refusals name it already.
template <typename Work>
auto namingTheNetworkOnce(const PythonNetwork& network, Work work) -> decltype(work()) {
    try {
        return work();
    } catch (const RatesCapReached& e) {
        throw RatesCapReached(locationOf(network.name) + e.what());
    } catch (const EngineError& e) {
        if (e.kind() == EngineError::BeyondLimit) throw;
        throw EngineError(e.kind(), locationOf(network.name) + e.what());
    }
}

RateOptions optionsOf(double precision, long long maxIterations, bool perConfiguration, int jobs) {
    checkRange("max_iterations", maxIterations, 1, MaxIterationsLimit);
    RateOptions options;
    options.precision = precision;
    options.maxIterations = maxIterations;
    options.perConfiguration = perConfiguration;
    options.jobs = jobs;
    if (!(precision >= FinestRatePrecision && precision < 1.0))
        refuseArgument("precision " + numberText(precision) + " is outside [1e-12, 1)");
    return options;
}

}  // namespace

py::dict ratesOf(const PythonNetwork& network, const py::object& start, double precision, bool perConfiguration,
                 long long maxIterations, long long jobs, long long maxConfigurations, const py::object& progress) {
    RateOptions options = optionsOf(precision, maxIterations, perConfiguration, jobsArgument(jobs));
    options.start = startOf(start, network);
    const int count = configurationsWithin(network, maxConfigurations);
    if (perConfiguration)
        checkKeptValues(3ULL * static_cast<unsigned long long>(count) * network.model.nodeCount,
                        "per_configuration with " + std::to_string(count) + " configurations");
    const NetworkModel model = network.model;
    WorkProgress counts;
    RateFigures figures;
    runInterruptibly(counts, RatePhases, progress, [&] {
        figures = namingTheNetworkOnce(network, [&] {
            return ratesWithin(model, neighbourLists(model), count, options, memoryLimits(network.name), &counts);
        });
    });
    const int nodes = figures.nodes;
    py::dict columns;
    if (!perConfiguration) {
        std::vector<int64_t> node(nodes);
        std::vector<double> value(nodes), low(nodes), high(nodes);
        for (int i = 0; i < nodes; ++i) {
            node[i] = i;
            value[i] = figures.rates[i].value;
            low[i] = figures.rates[i].low;
            high[i] = figures.rates[i].high;
        }
        columns["node"] = ownedArray(std::move(node), {nodes});
        columns["rate"] = ownedArray(std::move(value), {nodes});
        columns["low"] = ownedArray(std::move(low), {nodes});
        columns["high"] = ownedArray(std::move(high), {nodes});
        return columns;
    }
    const auto rows = static_cast<py::ssize_t>(figures.perValue.size());
    std::vector<int64_t> configuration(rows), node(rows);
    for (py::ssize_t k = 0; k < rows; ++k) {
        configuration[k] = k / nodes;
        node[k] = k % nodes;
    }
    columns["configuration"] = ownedArray(std::move(configuration), {rows});
    columns["node"] = ownedArray(std::move(node), {rows});
    columns["rate"] = ownedArray(std::move(figures.perValue), {rows});
    columns["low"] = ownedArray(std::move(figures.perLow), {rows});
    columns["high"] = ownedArray(std::move(figures.perHigh), {rows});
    return columns;
}

std::vector<RateFigures> sweepRatesOf(const PythonNetwork& network, const SweepGrid& grid, long long first,
                                      long long count, double precision, long long maxIterations, int jobs,
                                      int configurations, const py::object& progress) {
    const RateOptions options = optionsOf(precision, maxIterations, false, jobs);
    const NetworkModel model = network.model;
    WorkProgress counts;
    counts.begin("sweeping", count);
    std::vector<RateFigures> figures;
    runInterruptibly(counts, {{"sweeping", 1.0}}, progress, [&] {
        figures = namingTheNetworkOnce(network, [&] {
            return sweepRates(model, grid, first, count, configurations, options, &counts,
                              memoryLimits(network.name));
        });
    });
    return figures;
}

void addRateColumns(py::dict& columns, const std::vector<RateFigures>& figures) {
    std::vector<int64_t> node;
    std::vector<double> value, low, high;
    for (const RateFigures& point : figures)
        for (int i = 0; i < point.nodes; ++i) {
            node.push_back(i);
            value.push_back(point.rates[i].value);
            low.push_back(point.rates[i].low);
            high.push_back(point.rates[i].high);
        }
    const auto rows = static_cast<py::ssize_t>(node.size());
    columns["node"] = ownedArray(std::move(node), {rows});
    columns["rate"] = ownedArray(std::move(value), {rows});
    columns["low"] = ownedArray(std::move(low), {rows});
    columns["high"] = ownedArray(std::move(high), {rows});
}
