#include "long_run_bindings.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <string>

#include "arguments.h"
#include "interruptible_work.h"
#include "model/analysis.h"
#include "model/long_run/long_run.h"
#include "model/support/engine_error.h"
#include "model/support/kept_values.h"
#include "model/support/work_progress.h"
#include "model/text/network_input.h"
#include "owned_arrays.h"

namespace py = pybind11;

namespace {

constexpr long long MaxIterationsLimit = 1000000000000LL;

const PhaseShares SettlePhases = {{"enumerating transitions", 0.5}, {"marking", 0.0}, {"settling", 0.5}};

// "steps_to_0.99", as the settle command names the measure: the quantile in
// the fewest digits that read back as it. Kept apart from the model, whose
// page build has no floating-point to_chars.
std::string quantileMeasure(double q) {
    char digits[32];
    const auto written = std::to_chars(digits, digits + sizeof digits, q);
    return "steps_to_" + std::string(digits, written.ptr);
}

double stepsValue(long long steps) {
    return steps == NeverReached ? std::numeric_limits<double>::infinity() : static_cast<double>(steps);
}

py::dict averagedColumns(const LongRunFigures& figures) {
    py::list measures;
    std::vector<double> value, low, high;
    auto add = [&](const std::string& measure, double v, double l, double h) {
        measures.append(measure);
        value.push_back(v);
        low.push_back(l);
        high.push_back(h);
    };
    add("limit", figures.limit.value, figures.limit.low, figures.limit.high);
    add("mean_steps", figures.meanSteps.value, figures.meanSteps.low, figures.meanSteps.high);
    const BoundedFigure& ifReached = figures.meanStepsIfReached;
    add("mean_steps_if_reached", ifReached.value, ifReached.low, ifReached.high);
    for (const QuantileSteps& steps : figures.quantiles)
        add(quantileMeasure(steps.quantile),
            steps.resolved ? stepsValue(steps.value) : std::numeric_limits<double>::quiet_NaN(),
            stepsValue(steps.low), stepsValue(steps.high));
    const auto rows = static_cast<py::ssize_t>(value.size());
    py::dict columns;
    columns["measure"] = py::module_::import("numpy").attr("array")(measures);
    columns["value"] = ownedArray(std::move(value), {rows});
    columns["low"] = ownedArray(std::move(low), {rows});
    columns["high"] = ownedArray(std::move(high), {rows});
    return columns;
}

py::dict perConfigurationColumns(LongRunFigures& figures) {
    const auto rows = static_cast<py::ssize_t>(figures.limitValue.size());
    py::dict columns;
    columns["limit"] = ownedArray(std::move(figures.limitValue), {rows});
    columns["limit_low"] = ownedArray(std::move(figures.limitLow), {rows});
    columns["limit_high"] = ownedArray(std::move(figures.limitHigh), {rows});
    columns["mean_steps"] = ownedArray(std::move(figures.meanValue), {rows});
    columns["mean_steps_low"] = ownedArray(std::move(figures.meanLow), {rows});
    columns["mean_steps_high"] = ownedArray(std::move(figures.meanHigh), {rows});
    columns["mean_steps_if_reached"] = ownedArray(std::move(figures.ifReachedValue), {rows});
    columns["mean_steps_if_reached_low"] = ownedArray(std::move(figures.ifReachedLow), {rows});
    columns["mean_steps_if_reached_high"] = ownedArray(std::move(figures.ifReachedHigh), {rows});
    return columns;
}

}  // namespace

LongRunOptions longRunOptions(const LongRunArguments& arguments, int jobs) {
    checkRange("max_iterations", arguments.maxIterations, 1, MaxIterationsLimit);
    LongRunOptions options;
    options.precision = arguments.precision;
    options.method = arguments.direct ? LongRunMethod::Direct : LongRunMethod::Automatic;
    options.maxIterations = arguments.maxIterations;
    options.jobs = jobs;
    checkLongRunOptions(options);
    return options;
}

py::dict settleOf(const PythonNetwork& network, ChainRules rules, const LongRunArguments& arguments,
                  const std::vector<double>& quantiles, bool perConfiguration, long long jobs,
                  long long maxConfigurations, const py::object& progress) {
    LongRunOptions options = longRunOptions(arguments, jobsArgument(jobs));
    options.quantiles = quantiles;
    options.keepPerConfiguration = perConfiguration;
    checkLongRunOptions(options);
    const int count = configurationsWithin(network, maxConfigurations);
    if (perConfiguration)
        checkKeptValues(9ULL * static_cast<unsigned long long>(count),
                        "per_configuration with " + std::to_string(count) + " configurations");
    const NetworkModel model = network.model;
    WorkProgress counts;
    LongRunFigures figures;
    runInterruptibly(counts, SettlePhases, progress, [&] {
        const ChainLimits limits = memoryLimits(network.name);
        const MarkovChain chain = buildMarkovChainWithin(rules, model, neighbourLists(model), count, options.jobs,
                                                         limits, static_cast<double>(longRunMemory(count)), &counts);
        // What is left beside the chain and the long run's vectors is the
        // room of a direct solve's factorisation.
        options.maxDirectBytes =
            std::max(0.0, limits.maxBytes - static_cast<double>(chain.transitions.memoryBytes()) -
                              static_cast<double>(chain.configurations.entries.size()) * sizeof(int) -
                              static_cast<double>(longRunMemory(count)));
        figures = namingTheNetwork(network, [&] { return computeLongRun(chain.transitions, chain.marked, options, &counts); });
    });
    return perConfiguration ? perConfigurationColumns(figures) : averagedColumns(figures);
}

void addLongRunColumns(py::dict& columns, std::vector<LongRunFigures>&& figures) {
    const auto rows = static_cast<py::ssize_t>(figures.size());
    constexpr int Count = 9;
    std::vector<double> values[Count];
    for (auto& column : values) column.reserve(figures.size());
    for (const LongRunFigures& point : figures) {
        const BoundedFigure& ifReached = point.meanStepsIfReached;
        const double row[Count] = {point.limit.value,     point.limit.low,     point.limit.high,
                                   point.meanSteps.value, point.meanSteps.low, point.meanSteps.high,
                                   ifReached.value,       ifReached.low,       ifReached.high};
        for (int c = 0; c < Count; ++c) values[c].push_back(row[c]);
    }
    const char* const names[Count] = {"limit",      "limit_low",      "limit_high",
                                      "mean_steps", "mean_steps_low", "mean_steps_high",
                                      "mean_steps_if_reached", "mean_steps_if_reached_low",
                                      "mean_steps_if_reached_high"};
    for (int c = 0; c < Count; ++c) columns[names[c]] = ownedArray(std::move(values[c]), {rows});
}
