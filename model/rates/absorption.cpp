#include "model/rates/absorption.h"

#include <algorithm>
#include <cmath>

#include "model/support/bounded_arithmetic.h"
#include "model/support/parallel.h"

namespace {

constexpr long long StatesPerChunk = 4096;

// The most entries that add into one configuration's weight in a pass.
size_t mostEntriesInto(const SparseRows& rows) {
    std::vector<size_t> into(static_cast<size_t>(rows.rowCount()), 0);
    size_t most = 0;
    for (int l = 0; l < rows.rowCount(); ++l)
        rows.forEachEntry(l, [&](int column, double) { most = std::max(most, ++into[column]); });
    return most;
}

size_t longestRow(const SparseRows& rows) {
    size_t longest = 0;
    for (int l = 0; l < rows.rowCount(); ++l) longest = std::max(longest, rows.end(l) - rows.begin(l));
    return longest;
}

void takeBounds(const std::vector<BoundedSum>& absorbed, double transient, double error, ClassProbabilities& bounds) {
    const size_t count = absorbed.size();
    bounds.value.resize(count);
    bounds.low.resize(count);
    bounds.high.resize(count);
    bounds.transient = transient;
    for (size_t c = 0; c < count; ++c) {
        bounds.value[c] = absorbed[c].value();
        bounds.low[c] = std::max(0.0, down(absorbed[c].low() - error));
        bounds.high[c] = std::min(1.0, up(up(absorbed[c].high() + transient) + error));
    }
}

}  // namespace

ClassProbabilities endingProbabilities(const SparseRows& rows, const ClosedClasses& classes,
                                       const std::vector<double>& start, double weightSlack, double precision,
                                       PassBudget& budget, ClassProbabilities& reached) {
    std::vector<BoundedSum> absorbed(static_cast<size_t>(classes.count()));
    const std::vector<int> transient = classes.transient();
    std::vector<double> mass(start.size(), 0.0);
    for (size_t l = 0; l < start.size(); ++l) {
        if (classes.classOf[l] >= 0)
            absorbed[classes.classOf[l]].add(start[l]);
        else
            mass[l] = start[l];
    }
    // Per pass, the weight moved is off its exact value by the weights'
    // slack and the rounding of a product and of the sums it joins.
    const double slackPerPass =
        (weightSlack + dotProductSlack(std::max(mostEntriesInto(rows), longestRow(rows)) + 2)) * 1.01;
    double error = 0.0;
    std::vector<double> next(start.size(), 0.0);
    for (;;) {
        BoundedSum left;
        for (const int l : transient) left.add(mass[l]);
        const double still = up(left.high() * (1 + slackPerPass));
        takeBounds(absorbed, still, error, reached);
        if (up(still + 2 * error) <= precision) return reached;
        budget.spend();
        for (const int l : transient) {
            const double weight = mass[l];
            if (weight == 0.0) continue;
            rows.forEachEntry(l, [&](int column, double w) {
                const double moved = weight * w;
                const int c = classes.classOf[column];
                if (c >= 0)
                    absorbed[c].add(moved);
                else
                    next[column] += moved;
            });
            mass[l] = 0.0;
        }
        error = up(error + up(slackPerPass * still) + UnderflowSlack);
        mass.swap(next);
    }
}

namespace {

// Backward bounds of the start rates: one pass from `low`/`high` into
// `nextLow`/`nextHigh` over the transient configurations.
class StartBounds {
public:
    StartBounds(const SparseRows& rows, const ClosedClasses& classes, const ClassGains& gains, double weightSlack)
        : rows_(rows), classes_(classes), gains_(gains), nodes_(gains.nodes), transient_(classes.transient()) {
        slack_ = (weightSlack + dotProductSlack(longestRow(rows) + 2)) * 1.01;
    }

    const std::vector<int>& transient() const { return transient_; }

    void start(StartRates& rates) const {
        const size_t h = classes_.classOf.size();
        rates.value.assign(h * nodes_, 0.0);
        rates.low.assign(h * nodes_, 0.0);
        rates.high.assign(h * nodes_, 1.0);
        std::vector<double> least(nodes_, 1.0), most(nodes_, 0.0);
        for (int c = 0; c < classes_.count(); ++c)
            for (int i = 0; i < nodes_; ++i) {
                least[i] = std::min(least[i], gains_.low[static_cast<size_t>(c) * nodes_ + i]);
                most[i] = std::max(most[i], gains_.high[static_cast<size_t>(c) * nodes_ + i]);
            }
        for (size_t l = 0; l < h; ++l) {
            const int c = classes_.classOf[l];
            for (int i = 0; i < nodes_; ++i) {
                const size_t at = l * nodes_ + i;
                const size_t gain = static_cast<size_t>(c) * nodes_ + i;
                rates.low[at] = c >= 0 ? gains_.low[gain] : least[i];
                rates.high[at] = c >= 0 ? gains_.high[gain] : most[i];
                rates.value[at] = c >= 0 ? gains_.value[gain] : (least[i] + most[i]) / 2;
            }
        }
    }

    // Transient configurations [begin, end) of the list; the widest interval.
    double pass(const StartRates& from, StartRates& to, long long begin, long long end) const {
        double widest = 0.0;
        std::vector<double> low(nodes_), high(nodes_), value(nodes_);
        for (long long t = begin; t < end; ++t) {
            const int l = transient_[t];
            std::fill(low.begin(), low.end(), 0.0);
            std::fill(high.begin(), high.end(), 0.0);
            std::fill(value.begin(), value.end(), 0.0);
            rows_.forEachEntry(l, [&](int column, double w) {
                const size_t at = static_cast<size_t>(column) * nodes_;
                for (int i = 0; i < nodes_; ++i) {
                    low[i] += w * from.low[at + i];
                    high[i] += w * from.high[at + i];
                    value[i] += w * from.value[at + i];
                }
            });
            for (int i = 0; i < nodes_; ++i) {
                const size_t at = static_cast<size_t>(l) * nodes_ + i;
                // Each is a bound of the exact weights' average of bounds:
                // the better of it and the last bound stays.
                const double lower = down(low[i] * (1 - slack_)) - UnderflowSlack;
                const double upper = up(high[i] * (1 + slack_)) + UnderflowSlack;
                to.low[at] = std::max(from.low[at], lower);
                to.high[at] = std::min(from.high[at], upper);
                to.value[at] = std::clamp(value[i], to.low[at], to.high[at]);
                widest = std::max(widest, to.high[at] - to.low[at]);
            }
        }
        return widest;
    }

private:
    const SparseRows& rows_;
    const ClosedClasses& classes_;
    const ClassGains& gains_;
    const int nodes_;
    const std::vector<int> transient_;
    double slack_ = 0.0;
};

}  // namespace

StartRates ratesFromEveryStart(const SparseRows& rows, const ClosedClasses& classes, const ClassGains& gains,
                               double weightSlack, double precision, int jobs, PassBudget& budget,
                               StartRates& reached) {
    const StartBounds bounds(rows, classes, gains, weightSlack);
    bounds.start(reached);
    StartRates next = reached;
    const long long count = static_cast<long long>(bounds.transient().size());
    for (;;) {
        double widest = 0.0;
        for (const int l : bounds.transient())
            for (int i = 0; i < gains.nodes; ++i) {
                const size_t at = static_cast<size_t>(l) * gains.nodes + i;
                widest = std::max(widest, reached.high[at] - reached.low[at]);
            }
        if (widest <= precision) return reached;
        budget.spend();
        forEachChunk(jobs, count, StatesPerChunk,
                     [&](int, long long, long long begin, long long end) { bounds.pass(reached, next, begin, end); });
        std::swap(reached, next);
    }
}
