#include "model/studies/sweep.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <memory>
#include <cstdio>

#include "model/chain/chain_estimate.h"
#include "model/chain/markov_chain.h"
#include "model/long_run/success_curves.h"
#include "model/support/engine_error.h"
#include "model/support/parallel.h"
#include "model/support/work_progress.h"

namespace {

// "alpha", "beta" or "gamma": the parameter's index, or -1.
int parameterNamed(const std::string& name) {
    if (name == "alpha") return NetworkModel::Alpha;
    if (name == "beta") return NetworkModel::Beta;
    if (name == "gamma") return NetworkModel::Gamma;
    return -1;
}

// The node of "[i]" with 1 to 9 decimal digits, or -1.
int nodeIndexNamed(const std::string& text) {
    if (text.size() < 3 || text.size() > 11 || text.front() != '[' || text.back() != ']') return -1;
    int node = 0;
    for (size_t k = 1; k + 1 < text.size(); ++k) {
        if (text[k] < '0' || text[k] > '9') return -1;
        node = node * 10 + (text[k] - '0');
    }
    return node;
}

std::string valueText(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

}  // namespace

SweepAxis sweepAxis(const std::string& name, std::vector<double> values) {
    SweepAxis axis;
    axis.name = name;
    const size_t bracket = name.find('[');
    axis.parameter = parameterNamed(name.substr(0, bracket));
    if (bracket != std::string::npos) axis.node = nodeIndexNamed(name.substr(bracket));
    if (axis.parameter < 0 || (bracket != std::string::npos && axis.node < 0))
        throw EngineError(EngineError::BadInput,
                          name + ": the name is alpha, beta or gamma, or alpha[i] for node i");
    for (const double value : values)
        if (!(value >= 0.0 && value <= 1.0))
            throw EngineError(EngineError::BadInput,
                              name + ": the value " + valueText(value) + " is outside [0, 1]");
    axis.values = std::move(values);
    return axis;
}

SweepGrid::SweepGrid(std::vector<SweepAxis> axes) : axes_(std::move(axes)) {
    for (const auto& axis : axes_) {
        pointCount_ *= static_cast<long long>(axis.values.size());
        if (pointCount_ > MaxSweepPoints)
            throw EngineError(EngineError::BeyondLimit,
                              "the sweep has more than " + std::to_string(MaxSweepPoints) + " points");
    }
}

std::vector<double> SweepGrid::valuesAt(long long point) const {
    std::vector<double> values(axes_.size());
    for (size_t k = axes_.size(); k-- > 0;) {
        const long long size = static_cast<long long>(axes_[k].values.size());
        values[k] = axes_[k].values[static_cast<size_t>(point % size)];
        point /= size;
    }
    return values;
}

void SweepGrid::apply(long long point, NetworkModel& network) const {
    const std::vector<double> values = valuesAt(point);
    for (size_t k = 0; k < axes_.size(); ++k) {
        std::vector<double>& parameter = network.params[axes_[k].parameter];
        if (axes_[k].node < 0)
            parameter.assign(parameter.size(), values[k]);
        else
            parameter[axes_[k].node] = values[k];
    }
}

void SweepGrid::checkNodes(int nodeCount) const {
    for (const auto& axis : axes_)
        if (axis.node >= nodeCount)
            throw EngineError(EngineError::BadInput,
                              axis.name + ": the network has nodes 0 to " + std::to_string(nodeCount - 1));
}

namespace {

// Configurations from which rows are worth spreading over threads within one
// point rather than running points side by side.
constexpr int ConfigurationsForParallelPoint = 1 << 18;

// How the points of a sweep share the jobs and the memory. Every point has
// the same configurations, so one estimate sizes them all; a point whose
// weights turn exactly zero may have other transitions, which its own build
// keeps within its share.
struct PointPlan {
    ChainEstimate estimate;
    int sideBySide = 1;
    int pointJobs = 1;
    TransitionBudget budget;
};

// `keptPerPoint`: what following one point's chain takes beside it;
// `keptForAll`: what the sweep keeps of every point until the end.
PointPlan planPoints(ChainRules rules, const NetworkModel& network, const NeighbourLists& neighbours, const SweepGrid& grid,
                     long long first, long long count, int configurations, int jobs, const ChainLimits& limits,
                     double keptPerPoint, double keptForAll) {
    NetworkModel firstPoint = network;
    grid.apply(first, firstPoint);
    PointPlan plan;
    plan.estimate.configurations = configurations;
    plan.estimate = estimateChain(rules, firstPoint, neighbours, configurations, limits, keptPerPoint + keptForAll);
    checkEstimate(plan.estimate, limits);
    ChainEstimate alone = plan.estimate;
    alone.keptBytes = keptPerPoint;
    const bool pointsSideBySide = configurations < ConfigurationsForParallelPoint && count > 1;
    const double fitting = std::floor((limits.maxBytes - keptForAll) / alone.bytes(1));
    plan.sideBySide = pointsSideBySide ? static_cast<int>(std::max(1.0, std::min<double>(jobs, fitting))) : 1;
    ChainLimits pointLimits = limits;
    pointLimits.maxBytes = (limits.maxBytes - keptForAll) / plan.sideBySide;
    plan.pointJobs = pointsSideBySide ? 1 : jobsWithin(alone, pointLimits, jobs);
    plan.budget = transitionBudget(alone, pointLimits, plan.pointJobs);
    return plan;
}

}  // namespace

namespace {

// Runs `work(k, chain, pointJobs, stopsWithSweep)` on the chain of each of
// the `count` points from `first`, as many side by side as fit in `limits`
// with `besideChain` bytes held beside each chain and `results` bytes kept in
// all. A large point counts on its own and stops with the sweep.
template <typename Work>
void forEachPointWithin(ChainRules rules, const NetworkModel& network, const SweepGrid& grid, long long first, long long count,
                        int configurations, int jobs, const ChainLimits& limits, double besideChain, double results,
                        WorkProgress* progress, Work&& work) {
    const NeighbourLists neighbours = neighbourLists(network);
    PointPlan plan;
    plan.estimate.configurations = configurations;
    try {
        plan = planPoints(rules, network, neighbours, grid, first, count, configurations, jobs, limits, besideChain, results);
        forEachChunk(plan.sideBySide, count, 1, [&](int, long long k, long long, long long) {
            NetworkModel point = network;
            grid.apply(first + k, point);
            WorkProgress pointProgress(progress);
            WorkProgress* const stopsWithSweep = progress ? &pointProgress : nullptr;
            const MarkovChain chain =
                buildMarkovChain(rules, point, neighbours, configurations, plan.pointJobs, stopsWithSweep, plan.budget);
            work(k, chain, plan.pointJobs, stopsWithSweep);
            addProgress(progress, 1);
        });
    } catch (...) {
        refuseAsLimit(plan.estimate, limits);
    }
}

// "alpha[1]=0.5, gamma=0.25: "
std::string pointText(const SweepGrid& grid, long long point) {
    std::string text;
    const std::vector<double> values = grid.valuesAt(point);
    for (size_t k = 0; k < values.size(); ++k) text += (k ? ", " : "") + grid.axes()[k].name + "=" + valueText(values[k]);
    return text + ": ";
}

}  // namespace

std::vector<std::vector<double>> sweepCurves(ChainRules rules, const NetworkModel& network, const SweepGrid& grid,
                                             long long first, long long count, int configurations, int horizon,
                                             int jobs, WorkProgress* progress, const ChainLimits& limits) {
    std::vector<std::vector<double>> curves(static_cast<size_t>(count));
    if (count <= 0) return curves;
    forEachPointWithin(rules, network, grid, first, count, configurations, jobs, limits, 0.0,
                       static_cast<double>(count) * (horizon + 1.0) * sizeof(double), progress,
                       [&](long long k, const MarkovChain& chain, int pointJobs, WorkProgress* stopsWithSweep) {
                           curves[k] = computeSuccessCurves(chain.transitions, chain.marked, horizon, false,
                                                            pointJobs, stopsWithSweep)
                                           .average;
                       });
    return curves;
}

std::vector<LongRunFigures> sweepLongRun(ChainRules rules, const NetworkModel& network, const SweepGrid& grid,
                                         long long first, long long count, int configurations,
                                         const LongRunOptions& options, WorkProgress* progress,
                                         const ChainLimits& limits) {
    std::vector<LongRunFigures> figures(static_cast<size_t>(count));
    if (count <= 0) return figures;
    LongRunOptions pointOptions = options;
    pointOptions.quantiles.clear();
    pointOptions.keepPerConfiguration = false;
    checkLongRunOptions(pointOptions);
    // The first point that fails is reported whatever the jobs: points after
    // a failure are skipped, points before it still run.
    std::atomic<long long> firstFailure{count};
    std::vector<std::unique_ptr<LongRunCapReached>> failures(static_cast<size_t>(count));
    forEachPointWithin(
        rules, network, grid, first, count, configurations, options.jobs, limits,
        static_cast<double>(longRunMemory(configurations)), static_cast<double>(count) * sizeof(LongRunFigures),
        progress, [&](long long k, const MarkovChain& chain, int pointJobs, WorkProgress* stopsWithSweep) {
            if (k > firstFailure) return;
            LongRunOptions jobsOfPoint = pointOptions;
            jobsOfPoint.jobs = pointJobs;
            try {
                figures[k] = computeLongRun(chain.transitions, chain.marked, jobsOfPoint, stopsWithSweep);
            } catch (const LongRunCapReached& e) {
                failures[k] = std::make_unique<LongRunCapReached>(pointText(grid, first + k) + e.what(), e.limit(),
                                                                  e.meanSteps());
                for (long long seen = firstFailure; k < seen && !firstFailure.compare_exchange_weak(seen, k);) {
                }
            }
        });
    if (firstFailure < count) throw *failures[firstFailure];
    return figures;
}

std::vector<RateFigures> sweepRates(const NetworkModel& network, const SweepGrid& grid, long long first,
                                    long long count, int configurations, const RateOptions& options,
                                    WorkProgress* progress, const ChainLimits& limits) {
    std::vector<RateFigures> figures;
    const NeighbourLists neighbours = neighbourLists(network);
    for (long long k = 0; k < count; ++k) {
        NetworkModel point = network;
        grid.apply(first + k, point);
        WorkProgress pointProgress(progress);
        try {
            figures.push_back(
                ratesWithin(point, neighbours, configurations, options, limits, progress ? &pointProgress : nullptr));
        } catch (const RatesCapReached& e) {
            throw RatesCapReached(pointText(grid, first + k) + e.what());
        }
        addProgress(progress, 1);
    }
    return figures;
}
