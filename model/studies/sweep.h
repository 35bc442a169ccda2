#pragma once

#include <string>
#include <vector>

#include "model/chain/chain_estimate.h"
#include "model/long_run/long_run.h"
#include "model/rates/rates.h"
#include "model/network/network.h"

class WorkProgress;

// The most points a sweep may have.
constexpr long long MaxSweepPoints = 10000000;

// One varied parameter: alpha, beta or gamma of every node, or of one node
// ("alpha[2]"), over a list of values.
struct SweepAxis {
    std::string name;  // as written
    int parameter = 0;
    int node = -1;  // -1 for every node
    std::vector<double> values;
};

// The axis named `name` (alpha, beta or gamma, or alpha[i] for node i) over
// `values`. Throws EngineError (bad input) for another name or a value that is
// not a number in [0, 1]; the message starts with the name.
SweepAxis sweepAxis(const std::string& name, std::vector<double> values);

// The cross product of the axes, the first varying slowest.
class SweepGrid {
public:
    // Throws EngineError (beyond a limit) past MaxSweepPoints points.
    explicit SweepGrid(std::vector<SweepAxis> axes);

    const std::vector<SweepAxis>& axes() const { return axes_; }
    long long pointCount() const { return pointCount_; }
    // The value of each axis at a point.
    std::vector<double> valuesAt(long long point) const;
    // The network with the point's values set, later axes over earlier ones.
    void apply(long long point, NetworkModel& network) const;
    // Throws EngineError (bad input) when an axis names a node the network
    // does not have; the message starts with the axis's name.
    void checkNodes(int nodeCount) const;

private:
    std::vector<SweepAxis> axes_;
    long long pointCount_ = 1;
};

// The success curves under `rules` of points first .. first + count - 1 of
// the grid, for a network of `configurations` configurations, within
// `limits`: points side
// by side on the jobs when they are small, as many as fit, each point on all
// jobs that fit when they are large. The curves are the same for any number
// of jobs. Throws EngineError (beyond a limit) when a point's chain would
// not fit in the limits.
std::vector<std::vector<double>> sweepCurves(ChainRules rules, const NetworkModel& network, const SweepGrid& grid,
                                             long long first, long long count, int configurations, int horizon,
                                             int jobs, WorkProgress* progress = nullptr,
                                             const ChainLimits& limits = {});

// The long-run figures, averaged, of points first .. first + count - 1 of
// the grid, with `options` (its jobs shared out as for sweepCurves, its
// quantiles and per-configuration figures left out), within `limits` as
// sweepCurves. The same for any number of jobs. A point that reaches the
// iteration cap throws LongRunCapReached, its message starting with the
// point's values.
std::vector<LongRunFigures> sweepLongRun(ChainRules rules, const NetworkModel& network, const SweepGrid& grid,
                                         long long first, long long count, int configurations,
                                         const LongRunOptions& options, WorkProgress* progress = nullptr,
                                         const ChainLimits& limits = {});

// Every node's long-run rates from the options' start at points first ..
// first + count - 1 of the grid, each point within `limits` on all the
// options' jobs. The same for any number of jobs. A point that reaches the
// iteration cap throws RatesCapReached, its message starting with the
// point's values; a point beyond the limits throws EngineError likewise.
std::vector<RateFigures> sweepRates(const NetworkModel& network, const SweepGrid& grid, long long first,
                                    long long count, int configurations, const RateOptions& options,
                                    WorkProgress* progress = nullptr, const ChainLimits& limits = {});
