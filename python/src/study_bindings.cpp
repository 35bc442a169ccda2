#include "study_bindings.h"

#include <cstdint>
#include <string>
#include <vector>

#include "arguments.h"
#include "interruptible_work.h"
#include "model/long_run/success_curves.h"
#include "model/studies/simulation.h"
#include "model/studies/sweep.h"
#include "model/support/kept_values.h"
#include "model/support/work_progress.h"
#include "owned_arrays.h"
#include "rates_bindings.h"

namespace py = pybind11;

namespace {

// The columns of sampled runs, filled in place: each replicate writes its own rows.
struct RunColumns {
    std::vector<int64_t> replicate, seed, step, node, successes;
    std::vector<double> chance;

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

py::dict simulateRuns(const PythonNetwork& network, long long steps, std::optional<long long> every,
                      long long seed, long long replicates, long long jobs, const py::object& progress) {
    checkRange("steps", steps, 1, UINT32_MAX);
    if (every) checkRange("every", *every, 1, UINT32_MAX);
    checkRange("seed", seed, 0, UINT32_MAX);
    checkRange("replicates", replicates, 1, MaxReplicates);
    const int threads = jobsArgument(jobs);
    checkReplicateSeeds(static_cast<unsigned long long>(seed), replicates, "seed");
    const auto stepCount = static_cast<uint32_t>(steps);
    const auto snapshotEvery = static_cast<uint32_t>(every.value_or(0));
    const unsigned long long snapshots = snapshotCount(stepCount, snapshotEvery);
    const unsigned long long rows =
        static_cast<unsigned long long>(replicates) * snapshots * static_cast<unsigned long long>(network.model.nodeCount);
    checkKeptValues(rows * 6, "the runs' " + std::to_string(rows) + " rows");

    RunColumns columns(static_cast<size_t>(rows));
    const NetworkModel model = network.model;
    WorkProgress counts;
    counts.begin("simulating", replicates * steps);
    runInterruptibly(counts, {{"simulating", 1.0}}, progress, [&] {
        const size_t nodes = static_cast<size_t>(model.nodeCount);
        simulateReplicates(
            model, static_cast<unsigned>(seed), static_cast<int>(replicates), stepCount, snapshotEvery,
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

py::dict longRunSweep(const PythonNetwork& network, ChainRules rules, const SweepGrid& grid, const PointRange& range,
                      const LongRunOptions& options, int configurations, const py::object& progress) {
    const NetworkModel model = network.model;
    WorkProgress counts;
    counts.begin("sweeping", range.count);
    std::vector<LongRunFigures> figures;
    runInterruptibly(counts, {{"sweeping", 1.0}}, progress, [&] {
        figures = namingTheNetwork(network, [&] {
            return sweepLongRun(rules, model, grid, range.first, range.count, configurations, options, &counts,
                                memoryLimits(network.name));
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
                             threads, &counts, memoryLimits(network.name));
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
