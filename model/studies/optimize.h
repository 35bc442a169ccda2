#pragma once

#include <string>
#include <vector>

#include "model/chain/chain_estimate.h"
#include "model/long_run/long_run.h"
#include "model/network/network.h"
#include "model/studies/sweep.h"

class WorkProgress;

// Parameters that make a long-run figure best, within bounds: the mean steps
// until S (first passage into the S of the network the search starts from,
// held fixed), a node's long-run rate, or the least rate of all nodes
// (fairness). Each figure comes with its exact gradient (gradient.h), which a
// bound-constrained method of NLopt follows: L-BFGS for one figure, MMA for
// the least rate, the largest t with t <= rate_i for every node i. Several
// starts: the network's own values (clamped to the bounds) first, then
// points drawn uniformly in the bounds from a seeded generator.

enum class Objective { MinimizeMeanSteps, MaximizeRate, MaximizeLeastRate };

struct OptimizeOptions {
    Objective objective = Objective::MinimizeMeanSteps;
    // The node of MaximizeRate.
    int node = 0;
    // The parameters searched, each with its bounds as values[0] and values[1]
    // (a name without a node ties every node's parameter to one value).
    std::vector<SweepAxis> variables;
    int starts = 1;
    unsigned seed = 1;
    // Of the figures and intervals of the best point; the search's own
    // evaluations go to a tolerance of their own.
    double precision = 1e-9;
    int maxEvaluations = 300;
    int jobs = 1;
};

struct OptimizeResult {
    // The best point, one value per variable, as the network block gives it
    // back; the network with it.
    std::vector<double> point;
    NetworkModel network;
    // The figure there with its certified interval.
    BoundedFigure figure;
    // The gradient's norm over the variables, leaving out those at a bound
    // where the gradient points out of the box.
    double gradientNorm = 0.0;
    int evaluations = 0;
    int bestStart = 0;
};

// The figure at `x` (values of the options' variables) and its gradient
// over them, as the search sees it: for the least rate, the rate of the node
// lowest there. `target` holds S for the mean steps (targetOf), else nothing.
struct ObjectiveValue {
    double value = 0.0;
    std::vector<double> gradient;
};
std::vector<bool> targetOf(const NetworkModel& network, const OptimizeOptions& options, const ChainLimits& limits);
ObjectiveValue evaluateObjective(const NetworkModel& network, const OptimizeOptions& options,
                                 const std::vector<double>& x, const std::vector<bool>& target,
                                 const ChainLimits& limits);

// "mean-steps", "rate[3]", "min-rate".
std::string objectiveName(const OptimizeOptions& options);

// Throws EngineError (bad input) for no variable, bounds outside [0, 1] or
// reversed, a node the network lacks, or fewer than one start.
OptimizeResult optimize(const NetworkModel& network, const OptimizeOptions& options, const ChainLimits& limits,
                        WorkProgress* progress = nullptr);
