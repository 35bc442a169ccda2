#include "model/long_run/settling_curve.h"

#include <algorithm>

#include "model/support/bounded_arithmetic.h"
#include "model/support/parallel.h"
#include "model/transient/transient_rows.h"

// Bounds of the exact curve. Let x_p be the exact values of the transient
// configurations after p steps and x~_p the computed ones. A row's computed
// sum of k non-negative products is within g = dotProductSlack(k) of the
// exact sum of the same terms, plus eta = UnderflowSlack where products
// underflow; S's
// terms are exact, the others carry the drift of step p, and a row's weight
// into R is at most w. By induction
//     G_p x_p - e_p <= x~_p <= F_p x_p + e_p,
//     F_p = (1 + g)^p, G_p = (1 - g)^p, e_{p+1} = (1 + g) w e_p + eta.
// The average adds h non-negative values in blocks, each value through at
// most 8191 + blocks additions, within s = dotProductSlack(8192 + blocks) of
// the exact sum, and divides once (u). So the exact average a_p satisfies
//     (a~_p / ((1 + s)(1 + u)) - e_p) / F_p <= a_p <= (a~_p / ((1 - s)(1 - u)) + e_p) / G_p,
// every operation rounded outwards.

namespace {

long long blockCount(int configurations) {
    return (configurations + ConfigurationsPerBlock - 1) / ConfigurationsPerBlock;
}

// A bound of the largest weight a transient row puts on transient columns.
double largestWeightIntoTransient(const SparseRows& transitions, const TransientSet& set) {
    double largest = 0.0;
    for (const int l : set.transient()) {
        double sum = 0.0;
        transitions.forEachEntry(l, [&](int column, double weight) {
            if (set.kind(column) == TransientSet::Transient) sum += weight;
        });
        largest = std::max(largest, sum);
    }
    return inflated(largest * (1 + dotProductSlack(static_cast<size_t>(set.longestRow()))));
}

// The first step from `from` at which `values` reaches `threshold`, or -1.
long long firstReaching(const std::vector<double>& values, double threshold, long long from = 0) {
    const auto found =
        std::find_if(values.begin() + from, values.end(), [&](double value) { return value >= threshold; });
    return found == values.end() ? -1 : static_cast<long long>(found - values.begin());
}

// Steps the lower bound must go without rising before the curve counts as
// settled: more than any period of the averaged curve's rises is likely to
// leave flat, and an eighth of the steps held, so that giving up costs
// little beside the steps already taken.
constexpr long long StalledSteps = 64;

}  // namespace

SettlingCurve::SettlingCurve(const SparseRows& transitions, const TransientSet& set)
    : configurationCount_(set.configurationCount()),
      stepSlack_(dotProductSlack(static_cast<size_t>(set.longestRow()))),
      sumSlack_(dotProductSlack(static_cast<size_t>(ConfigurationsPerBlock + blockCount(set.configurationCount())))),
      underflowPerStep_(UnderflowSlack),
      rowWeightBound_(largestWeightIntoTransient(transitions, set)) {
    const double start = static_cast<double>(set.markedCount()) / configurationCount_;
    average_.push_back(start);
    low_.push_back(down(start));
    high_.push_back(up(start));
}

void SettlingCurve::append(const std::vector<double>& blockSums) {
    double total = 0.0;
    for (const double sum : blockSums) total += sum;
    average_.push_back(total / configurationCount_);
    appendBounds();
}

void SettlingCurve::appendBounds() {
    const double stepUp = up(1 + stepSlack_);
    drift_ = up(up(up(stepUp * rowWeightBound_) * drift_) + underflowPerStep_);
    growth_ = up(growth_ * stepUp);
    shrink_ = down(shrink_ * down(1 - stepSlack_));
    const double sumUp = up(up(1 + sumSlack_) * up(1 + UnitRoundoff));
    const double sumDown = down(down(1 - sumSlack_) * down(1 - UnitRoundoff));
    const double average = average_.back();
    low_.push_back(std::max(0.0, down(down(down(average / sumUp) - drift_) / growth_)));
    high_.push_back(up(up(up(average / sumDown) + drift_) / shrink_));
    if (low_.back() > highestLow_) {
        highestLow_ = low_.back();
        highestLowStep_ = lastStep();
    }
}

bool SettlingCurve::lowerBoundStalled() const {
    return lastStep() - highestLowStep_ > std::max(StalledSteps, lastStep() / 8);
}

// The exact crossing is the first step whose exact average reaches q a,
// a the exact limit. Before `low` even the upper bound of the curve stays
// below q times the lower bound of the limit; at `high` the lower bound of
// the curve has reached q times its upper bound.
bool SettlingCurve::crossing(double q, const BoundedFigure& limit, QuantileSteps& steps,
                             long long& searched) const {
    steps.quantile = q;
    steps.high = firstReaching(low_, up(q * limit.high), searched);
    if (steps.high < 0) {
        searched = lastStep() + 1;
        return false;
    }
    steps.value = firstReaching(average_, q * limit.value);
    steps.low = firstReaching(high_, down(q * limit.low));
    return true;
}

QuantileSteps SettlingCurve::unresolvedCrossing(double q, const BoundedFigure& limit) const {
    const long long low = firstReaching(high_, down(q * limit.low));
    QuantileSteps steps{q, NeverReached, low < 0 ? lastStep() + 1 : low, NeverReached};
    steps.resolved = false;
    return steps;
}

void stepCurve(const SparseRows& transitions, const TransientSet& set, const std::vector<double>& current,
               std::vector<double>& next, std::vector<double>& blockSums, int jobs) {
    const long long h = set.configurationCount();
    blockSums.assign(static_cast<size_t>(blockCount(set.configurationCount())), 0.0);
    forEachChunk(jobs, h, ConfigurationsPerBlock, [&](int, long long block, long long begin, long long end) {
        sumTransientRows<1>(transitions, set, {current.data()}, begin, end,
                            [&](int l, const std::array<double, 1>& sums) { next[l] = sums[0]; });
        blockSums[block] = curveBlockSum(set, next.data(), begin, end);
    });
}

std::vector<double> curveStart(const TransientSet& set) {
    std::vector<double> start(static_cast<size_t>(set.configurationCount()), 0.0);
    for (int l = 0; l < set.configurationCount(); ++l)
        if (set.kind(l) == TransientSet::Marked) start[l] = 1.0;
    return start;
}
