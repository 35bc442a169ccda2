#pragma once

#include <vector>

#include "model/long_run/pass_budget.h"
#include "model/rates/class_gains.h"
#include "model/rates/closed_classes.h"
#include "model/storage/sparse_rows.h"

// Where the process ends: from a start distribution, the probability of
// ending in each closed class, found by moving the start's weight forward
// step by step until what is still transient is within the precision. The
// weight that has reached a class is a lower bound of its probability; with
// the weight still transient added, an upper one; each is widened by the
// weights' slack and the rounding of every pass.
struct ClassProbabilities {
    std::vector<double> value;
    std::vector<double> low;
    std::vector<double> high;
    // The weight still transient when the bounds were taken, rounded up.
    double transient = 0.0;
};

// `start` holds one weight per configuration, summing to 1. Throws
// PassBudget::Exhausted at the cap, `reached` holding the bounds so far, and
// RatesOutOfReach where the weights' slack over the time the weight takes to
// leave is wider than the precision. Weight that leaves slowly, from at most
// 2048 transient configurations, is followed by a direct solve.
ClassProbabilities endingProbabilities(const SparseRows& rows, const ClosedClasses& classes,
                                       const std::vector<double>& start, double weightSlack, double precision,
                                       PassBudget& budget, ClassProbabilities& reached);

// From every start configuration, each node's long-run rate: its class's
// rate in a class, and from a transient configuration the rates of the
// classes it may end in, weighted by their probabilities. Found backwards
// from the classes' bounds, a lower and an upper value per configuration and
// node, each pass one step further, until every interval is within the
// precision; h x N values in `low`, `high` and `value`. Throws
// PassBudget::Exhausted at the cap with the intervals reached.
struct StartRates {
    std::vector<double> value;
    std::vector<double> low;
    std::vector<double> high;
};

StartRates ratesFromEveryStart(const SparseRows& rows, const ClosedClasses& classes, const ClassGains& gains,
                               double weightSlack, double precision, int jobs, PassBudget& budget,
                               StartRates& reached);
