#pragma once

#include <vector>

#include "model/long_run/pass_budget.h"
#include "model/rates/closed_classes.h"
#include "model/rules/process_operator.h"
#include "model/storage/sparse_rows.h"

// Each closed class's long-run success rate of every node: the share of
// steps in which the node succeeds while the process stays in the class,
// pi s, with pi the class's stationary distribution and s the node's chance
// to succeed in one step from each configuration.
//
// A class whose configurations follow one another for certain is a cycle:
// pi is uniform on it and the rate an average. Any other class is solved by
// relative value iteration, every node's values at once: for any values v,
// d = s + T v - v has pi d = pi s, so the rate lies between the least and
// the largest d over the class, whatever v is (Odoni's bounds); the bounds
// close as v approaches a solution of the Poisson equation. A class where no
// configuration may stay where it is may be periodic, so it is iterated
// with the lazy chain (T + I) / 2, which has the same pi.
//
// The bounds hold the exact rates of the process, not only of the stored
// weights: `weightSlack` bounds the relative distance of every stored weight
// and chance from its exact value, and each bound is widened by that and by
// the rounding of the pass that found it.
struct ClassGains {
    int nodes = 0;
    // Per class and node, at [class * nodes + node].
    std::vector<double> value;
    std::vector<double> low;
    std::vector<double> high;
};

struct GainOptions {
    double precision = 1e-9;
    double weightSlack = 0.0;
    int jobs = 1;
};

// Thrown once the passes cannot narrow a bound to the precision: rounding
// alone keeps it wider, however long the iteration goes on. `width` is the
// widest such bound. (The ending probabilities throw it too.)
struct RatesOutOfReach {
    double width = 0.0;
};

// Passes after which a bound that rounding keeps wider than the precision
// ends the iteration.
constexpr long long PassesBeforeGivingUp = 1000;

// The same for a chain that is one aperiodic class
// (ProcessOperator::mixesEverywhere), through the operator instead of rows:
// one class of every configuration.
ClassGains computeGainsThrough(ProcessOperator& process, const GainOptions& options, PassBudget& budget,
                               ClassGains& reached);

// Throws PassBudget::Exhausted at the budget's cap, with `reached` holding
// the bounds found so far, and RatesOutOfReach as said above (both
// functions).
ClassGains computeClassGains(const SparseRows& rows, const std::vector<double>& chances, int nodes,
                             const ClosedClasses& classes, const GainOptions& options, PassBudget& budget,
                             ClassGains& reached);
