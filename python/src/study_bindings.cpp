#include "study_bindings.h"

#include <cstdint>
#include <string>
#include <vector>

#include "arguments.h"
#include "interruptible_work.h"
#include "model/chain/chain_estimate.h"
#include "model/long_run/success_curves.h"
#include "model/network/configurations.h"
#include "model/studies/replicate_summary.h"
#include "model/studies/simulation.h"
#include "model/studies/sweep.h"
#include "model/support/engine_error.h"
#include "model/support/kept_values.h"
#include "model/support/work_progress.h"
#include "owned_arrays.h"
#include "rates_bindings.h"

namespace py = pybind11;

namespace {

// Columns that would not fit in the memory limit are refused before any is
// made, in the line a chain's refusal has.
void checkColumnMemory(double bytes, const std::string& what, const std::string& networkName) {
    const ChainLimits limits = memoryLimits(networkName);
    if (bytes > limits.maxBytes)
        throw EngineError(EngineError::BeyondLimit, limits.name + "needs about " + byteText(bytes) + " for " + what +
                                                        "; " + limits.limitName + " is " + byteText(limits.maxBytes));
}

// The columns of sampled runs, filled in place: each replicate writes its own rows.
struct RunColumns {
    std::vector<int64_t> replicate, seed, step, node, successes;
    std::vector<double> chance;
    static constexpr double BytesPerRow = 5 * sizeof(int64_t) + sizeof(double);

    explicit RunColumns(size_t rows)
        : replicate(rows), seed(rows), step(rows), node(rows), successes(rows), chance(rows) {}

    void write(size_t row, int r, unsigned runSeed, const RunSnapshot& snapshot) {
        for (size_t i = 0; i < snapshot.successes.size(); ++i, ++row) {
            replicate[row] = r;
            seed[row] = runSeed;
            step[row] = snapshot.step;
            node[row] = static_cast<int64_t>(i);
            successes[row] = snapshot.successes[i];
            chance[row] = static_cast<double>(snapshot.successes[i]) / snapshot.step;
        }
    }

    py::dict moveIntoDict() {
        const auto rows = static_cast<py::ssize_t>(chance.size());
        py::dict columns;
        columns["replicate"] = ownedArray(std::move(replicate), {rows});
        columns["seed"] = ownedArray(std::move(seed), {rows});
        columns["step"] = ownedArray(std::move(step), {rows});
        columns["node"] = ownedArray(std::move(node), {rows});
        columns["successes"] = ownedArray(std::move(successes), {rows});
        columns["chance"] = ownedArray(std::move(chance), {rows});
        return columns;
    }
};

// Snapshots come after every `every`-th step and after the last, which
// alone need not be a multiple.
size_t snapshotIndex(uint32_t step, uint32_t every) {
    if (every == 0) return 0;
    return step % every == 0 ? step / every - 1 : step / every;
}

std::vector<SweepAxis> sweepAxes(const py::dict& vary) {
    if (vary.empty()) refuseArgument("vary needs at least one parameter, as in {\"alpha\": [0.25, 0.5]}");
    std::vector<SweepAxis> axes;
    for (const auto& [key, values] : vary) {
        if (!py::isinstance<py::str>(key))
            refuseArgument("vary's keys are names such as \"alpha\" or \"gamma[2]\", not " +
                           py::repr(key).cast<std::string>());
        const std::string name = key.cast<std::string>();
        std::vector<double> list = realValues(values, "vary[\"" + name + "\"]");
        if (list.empty()) refuseArgument("vary[\"" + name + "\"] holds no values");
        axes.push_back(sweepAxis(name, std::move(list)));
    }
    return axes;
}

}  // namespace

namespace {

long long nodeNumber(const py::handle& item) {
    py::object index = py::reinterpret_steal<py::object>(PyNumber_Index(item.ptr()));
    const long long value = index ? PyLong_AsLongLong(index.ptr()) : -1;
    if (!index || (value == -1 && PyErr_Occurred())) {
        PyErr_Clear();
        refuseArgument("start holds " + py::repr(item).cast<std::string>() + ", which is not a node number");
    }
    return value;
}

RunStart startArgument(const py::object& start, const NetworkModel& model) {
    if (py::isinstance<py::str>(start)) {
        const std::string name = start.cast<std::string>();
        if (name == "start") return RunStart{};
        if (name == "uniform") return RunStart{RunStart::Uniform, {}};
        refuseArgument("start must be \"start\", \"uniform\" or one partner value per node, not \"" + name + "\"");
    }
    if (!py::isinstance<py::iterable>(start))
        refuseArgument("start must be \"start\", \"uniform\" or one partner value per node, not " +
                       py::repr(start).cast<std::string>());
    std::vector<long long> partners;
    for (const py::handle item : start) partners.push_back(nodeNumber(item));
    try {
        return configurationStart(neighbourLists(model), partners);
    } catch (const EngineError& e) {
        refuseArgument(std::string("start: ") + e.what());
    }
}

py::dict summaryColumns(const std::vector<ChanceInterval>& intervals, long long replicates) {
    const size_t nodes = intervals.size();
    std::vector<int64_t> node(nodes), count(nodes, replicates);
    std::vector<double> chance(nodes), low(nodes), high(nodes);
    for (size_t i = 0; i < nodes; ++i) {
        node[i] = static_cast<int64_t>(i);
        chance[i] = intervals[i].chance;
        low[i] = intervals[i].low;
        high[i] = intervals[i].high;
    }
    const auto rows = static_cast<py::ssize_t>(nodes);
    py::dict columns;
    columns["node"] = ownedArray(std::move(node), {rows});
    columns["chance"] = ownedArray(std::move(chance), {rows});
    columns["low"] = ownedArray(std::move(low), {rows});
    columns["high"] = ownedArray(std::move(high), {rows});
    columns["replicates"] = ownedArray(std::move(count), {rows});
    return columns;
}

py::dict simulateSummary(const NetworkModel& model, const RunStart& start, uint32_t steps, long long seed,
                         long long replicates, double confidence, int threads, const py::object& progress) {
    if (replicates < 2) refuseArgument("summary needs replicates 2 or more, not " + std::to_string(replicates));
    if (!isConfidenceLevel(confidence)) refuseArgument("confidence " + numberText(confidence) + " is outside (0, 1)");
    WorkProgress counts;
    counts.begin("simulating", replicates * steps);
    std::vector<ChanceInterval> intervals;
    runInterruptibly(counts, {{"simulating", 1.0}}, progress, [&] {
        intervals = summarizeReplicates(model, start, static_cast<unsigned>(seed), static_cast<int>(replicates), steps,
                                        threads, confidence, &counts);
    });
    return summaryColumns(intervals, replicates);
}

}  // namespace

py::dict simulateRuns(const PythonNetwork& network, long long steps, std::optional<long long> every,
                      long long seed, long long replicates, const py::object& start, bool summary, double confidence,
                      long long jobs, const py::object& progress) {
    checkRange("steps", steps, 1, UINT32_MAX);
    if (every) checkRange("every", *every, 1, UINT32_MAX);
    checkRange("seed", seed, 0, UINT32_MAX);
    checkRange("replicates", replicates, 1, MaxReplicates);
    const int threads = jobsArgument(jobs);
    checkReplicateSeeds(static_cast<unsigned long long>(seed), replicates, "seed");
    const RunStart runStart = startArgument(start, network.model);
    if (summary) {
        if (every) refuseArgument("every has no place with summary=True, which reads the last step alone");
        return simulateSummary(network.model, runStart, static_cast<uint32_t>(steps), seed, replicates, confidence,
                               threads, progress);
    }
    const auto stepCount = static_cast<uint32_t>(steps);
    const auto snapshotEvery = static_cast<uint32_t>(every.value_or(0));
    const unsigned long long snapshots = snapshotCount(stepCount, snapshotEvery);
    const unsigned long long rows =
        static_cast<unsigned long long>(replicates) * snapshots * static_cast<unsigned long long>(network.model.nodeCount);
    checkKeptValues(rows * 6, "the runs' " + std::to_string(rows) + " rows");
    checkColumnMemory(static_cast<double>(rows) * RunColumns::BytesPerRow,
                      "the runs' " + std::to_string(rows) + " rows", network.name);

    RunColumns columns(static_cast<size_t>(rows));
    const NetworkModel model = network.model;
    WorkProgress counts;
    counts.begin("simulating", replicates * steps);
    runInterruptibly(counts, {{"simulating", 1.0}}, progress, [&] {
        const size_t nodes = static_cast<size_t>(model.nodeCount);
        simulateReplicates(
            model, runStart, static_cast<unsigned>(seed), static_cast<int>(replicates), stepCount, snapshotEvery,
            static_cast<int>(replicates), threads,
            [&](int r, const RunSnapshot& snapshot) {
                const size_t row = (static_cast<size_t>(r) * snapshots + snapshotIndex(snapshot.step, snapshotEvery)) * nodes;
                columns.write(row, r, static_cast<unsigned>(seed) + static_cast<unsigned>(r), snapshot);
            },
            [](int, int) {}, &counts);
    });
    return columns.moveIntoDict();
}

namespace {

// Points first .. first + count - 1 of a grid.
struct PointRange {
    long long first = 0;
    long long count = 0;
};

// The largest N of a shard K/N, as vorlask-cli's --shard takes it.
constexpr long long MaxShards = 999999999;

// The K-th of N contiguous blocks of the grid's points, as vorlask-cli's
// --shard K/N takes them: the shards' rows in order are the whole grid's.
PointRange shardOf(const SweepGrid& grid, std::pair<long long, long long> shard) {
    const auto [index, count] = shard;
    if (count < 1 || count > MaxShards || index < 1 || index > count)
        refuseArgument("shard (" + std::to_string(index) + ", " + std::to_string(count) +
                       ") is not (K, N) with 1 <= K <= N <= " + std::to_string(MaxShards));
    const long long points = grid.pointCount();
    const long long first = points * (index - 1) / count;
    return {first, points * index / count - first};
}

// The grid's values, a row per point of the range and `repeat` rows each.
py::dict axisColumns(const SweepGrid& grid, const PointRange& range, long long repeat) {
    const size_t rows = static_cast<size_t>(range.count * repeat);
    std::vector<std::vector<double>> values(grid.axes().size(), std::vector<double>(rows));
    size_t row = 0;
    for (long long point = range.first; point < range.first + range.count; ++point) {
        const std::vector<double> pointValues = grid.valuesAt(point);
        for (long long r = 0; r < repeat; ++r, ++row)
            for (size_t a = 0; a < values.size(); ++a) values[a][row] = pointValues[a];
    }
    py::dict columns;
    for (size_t a = 0; a < values.size(); ++a)
        columns[py::str(grid.axes()[a].name)] = ownedArray(std::move(values[a]), {static_cast<py::ssize_t>(rows)});
    return columns;
}

// The columns made of each point's results while they are still held: the
// nine figures, or a step and a success per step, and the axes' values.
constexpr double LongRunColumnBytes = 9 * sizeof(double);

double curveColumnBytes(long long horizon, const SweepGrid& grid) {
    return (horizon + 1.0) * (sizeof(int64_t) + sizeof(double) * (1 + grid.axes().size()));
}

py::dict longRunSweep(const PythonNetwork& network, ChainRules rules, const SweepGrid& grid, const PointRange& range,
                      const LongRunOptions& options, int configurations, const py::object& progress) {
    const NetworkModel model = network.model;
    WorkProgress counts;
    counts.begin("sweeping", range.count);
    std::vector<LongRunFigures> figures;
    runInterruptibly(counts, {{"sweeping", 1.0}}, progress, [&] {
        figures = namingTheNetwork(network, [&] {
            return sweepLongRun(rules, model, grid, range.first, range.count, configurations, options, &counts,
                                memoryLimits(network.name), LongRunColumnBytes);
        });
    });
    py::dict columns = axisColumns(grid, range, 1);
    addLongRunColumns(columns, std::move(figures));
    return columns;
}

}  // namespace

py::dict sweepTable(const PythonNetwork& network, ChainRules rules, const py::dict& vary, long long horizon,
                    const std::string& measure, const LongRunArguments& longRun, long long jobs,
                    long long maxConfigurations, std::pair<long long, long long> shard, const py::object& progress) {
    const SweepGrid grid(sweepAxes(vary));
    const PointRange range = shardOf(grid, shard);
    if (measure != "curve" && measure != "limit" && measure != "mean-steps" && measure != "rates")
        refuseArgument("measure must be \"curve\", \"limit\", \"mean-steps\" or \"rates\", not \"" + measure + "\"");
    const int threads = jobsArgument(jobs);
    const LongRunOptions options = longRunOptions(longRun, threads);
    grid.checkNodes(network.model.nodeCount);
    checkRange("horizon", horizon, 0, MaxCurveHorizon);
    const int configurations = configurationsWithin(network, maxConfigurations);
    if (measure == "rates") {
        if (rules != ChainRules::Process)
            refuseArgument("chain \"window\" has no rates: the window's analysis weighs no step the process takes");
        std::vector<RateFigures> figures = sweepRatesOf(network, grid, range.first, range.count, longRun.precision,
                                                        longRun.maxIterations, threads, configurations, progress);
        py::dict columns = axisColumns(grid, range, network.model.nodeCount);
        addRateColumns(columns, figures);
        return columns;
    }
    if (measure != "curve") return longRunSweep(network, rules, grid, range, options, configurations, progress);
    const long long points = range.count;
    const unsigned long long rows = static_cast<unsigned long long>(points) * static_cast<unsigned long long>(horizon + 1);
    checkKeptValues(rows, "the sweep's " + std::to_string(points) + " points");

    const NetworkModel model = network.model;
    WorkProgress counts;
    counts.begin("sweeping", points);
    std::vector<std::vector<double>> curves;
    runInterruptibly(counts, {{"sweeping", 1.0}}, progress, [&] {
        curves = sweepCurves(rules, model, grid, range.first, points, configurations, static_cast<int>(horizon),
                             threads, &counts, memoryLimits(network.name), curveColumnBytes(horizon, grid));
    });

    std::vector<int64_t> step(rows);
    std::vector<double> success(rows);
    size_t row = 0;
    for (long long point = 0; point < points; ++point) {
        for (long long p = 0; p <= horizon; ++p, ++row) {
            step[row] = p;
            success[row] = curves[static_cast<size_t>(point)][static_cast<size_t>(p)];
        }
    }
    py::dict columns = axisColumns(grid, range, horizon + 1);
    const auto size = static_cast<py::ssize_t>(rows);
    columns["step"] = ownedArray(std::move(step), {size});
    columns["success"] = ownedArray(std::move(success), {size});
    return columns;
}
