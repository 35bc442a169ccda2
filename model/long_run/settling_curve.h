#pragma once

#include <vector>

#include "model/long_run/long_run.h"
#include "model/transient/transient_set.h"

// The averaged success curve a_p, step by step, as the success curves
// compute it (the rows' sums in column order, the configurations' in blocks
// of ConfigurationsPerBlock in order), with S held at 1 and the
// configurations that cannot reach S at 0, and bounds of its exact value
// that cover the rounding of every step (see settling_curve.cpp); from these
// the steps at which the curve reaches a share of the limit.
class SettlingCurve {
public:
    SettlingCurve(const SparseRows& transitions, const TransientSet& set);

    // The last step held.
    long long lastStep() const { return static_cast<long long>(average_.size()) - 1; }
    double average(long long step) const { return average_[step]; }

    // Appends the next step from the sums of its weights per block.
    void append(const std::vector<double>& blockSums);

    // The steps at which the curve reaches q x `limit`, or false while the
    // steps held cannot yet tell where the exact crossing lies. `limit` must
    // be positive; q in (0, 1). `searched` is the first step not yet known
    // to stay below the crossing's bound: 0 for a new search, which each
    // call then goes on with from where the last one stopped.
    bool crossing(double q, const BoundedFigure& limit, QuantileSteps& steps, long long& searched) const;

    // Whether the curve's lower bound has not risen for long: the curve has
    // come so close to its limit that the rounding of each further step
    // widens the bounds more than the step raises the curve, and a crossing
    // that its lower bound has not bracketed by then never will be.
    bool lowerBoundStalled() const;

    // The bounds of a crossing the curve cannot bracket: `low` as far as the
    // steps held show, `high` unknown.
    QuantileSteps unresolvedCrossing(double q, const BoundedFigure& limit) const;

private:
    void appendBounds();

    const int configurationCount_;
    const double stepSlack_;
    const double sumSlack_;
    const double underflowPerStep_;
    const double rowWeightBound_;
    std::vector<double> average_;
    std::vector<double> low_;
    std::vector<double> high_;
    // The relative and absolute drift of the computed configurations' values
    // from the exact ones after the last step.
    double growth_ = 1.0;
    double shrink_ = 1.0;
    double drift_ = 0.0;
    // The highest lower bound so far, and its step.
    double highestLow_ = 0.0;
    long long highestLowStep_ = 0;
};

// One step of the curve's vector over the transient rows: next = T current
// there, S and the configurations that cannot reach S kept; the block sums
// of next go to `blockSums`. The same for any number of jobs.
void stepCurve(const SparseRows& transitions, const TransientSet& set, const std::vector<double>& current,
               std::vector<double>& next, std::vector<double>& blockSums, int jobs);

// The curve's vector at step 0: 1 on S, 0 elsewhere.
std::vector<double> curveStart(const TransientSet& set);
