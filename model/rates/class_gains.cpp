#include "model/rates/class_gains.h"

#include <Eigen/SparseCore>
#include <Eigen/SparseLU>

#include <algorithm>
#include <cmath>
#include <limits>

#include "model/support/bounded_arithmetic.h"
#include "model/support/parallel.h"

namespace {

constexpr long long StatesPerChunk = 4096;
constexpr double Infinity = std::numeric_limits<double>::infinity();
// A class the iteration has not settled after this many passes mixes
// slowly (its configurations rarely change), and if it is this small its
// Poisson equation is solved directly once, at a cost far below the passes
// it would still take.
constexpr long long SolveAfterPasses = PassesBeforeGivingUp;
constexpr int LargestSolvedClass = 2048;

// A cycle's rates: the average chance over its configurations, each chance
// within the slack of its exact value.
void averageOverCycle(const std::vector<int>& members, const std::vector<double>& chances, int nodes, double slack,
                      double* value, double* low, double* high) {
    const double length = static_cast<double>(members.size());
    for (int i = 0; i < nodes; ++i) {
        BoundedSum sum;
        for (const int l : members) sum.add(chances[static_cast<size_t>(l) * nodes + i]);
        value[i] = sum.value() / length;
        low[i] = std::max(0.0, down(down(down(sum.low() / length) * (1 - slack)) - UnderflowSlack));
        high[i] = std::min(1.0, up(up(up(sum.high() / length) * (1 + slack)) + UnderflowSlack));
    }
}

// Relative value iteration over the classes that are not cycles, all of
// them side by side, one value per configuration and node.
class GainIteration {
public:
    GainIteration(const SparseRows& rows, const std::vector<double>& chances, int nodes,
                  const ClosedClasses& classes, std::vector<int> iterated, const GainOptions& options)
        : rows_(rows),
          chances_(chances),
          nodes_(nodes),
          classes_(classes),
          iterated_(std::move(iterated)),
          options_(options),
          local_(rows.rowCount(), -1) {
        for (const int c : iterated_) {
            firstLocal_.push_back(static_cast<int>(states_.size()));
            for (const int l : classes.members[c]) {
                local_[l] = static_cast<int>(states_.size());
                states_.push_back(l);
                stateClass_.push_back(static_cast<int>(firstLocal_.size()) - 1);
            }
            lazy_.push_back(!classes.mayStay(rows, c));
            margins_.push_back(marginFactor(c));
            largestChance_.push_back(largestChances(c));
        }
        values_.assign(states_.size() * nodes_, 0.0);
        next_ = values_;
    }

    // Values from a direct solve of the Poisson equation of each class of at
    // most LargestSolvedClass configurations: (I - T) v + g = s with v = 0 at
    // the class's first configuration, g standing in that configuration's
    // column. The bounds stay Odoni's, so the solve's accuracy shows only in
    // their width. The lazy chain's values are twice the chain's.
    void startFromPoissonSolutions() {
        for (size_t k = 0; k < iterated_.size(); ++k) {
            const int begin = firstLocal_[k];
            const int size = classEnd(k) - begin;
            if (size > LargestSolvedClass) continue;
            const Eigen::MatrixXd solution = poissonSolution(begin, size);
            if (!solution.allFinite()) continue;
            const double scale = lazy_[k] ? 2.0 : 1.0;
            for (int r = 0; r < size; ++r)
                for (int i = 0; i < nodes_; ++i)
                    values_[static_cast<size_t>(begin + r) * nodes_ + i] = r == 0 ? 0.0 : scale * solution(r, i);
        }
    }

    // One pass; true once every bound is within the precision.
    bool pass(double* value, double* low, double* high) {
        const int workers = workerCount(options_.jobs, static_cast<long long>(states_.size()), StatesPerChunk);
        const size_t cells = iterated_.size() * nodes_;
        least_.assign(workers * cells, Infinity);
        most_.assign(workers * cells, -Infinity);
        forEachChunk(options_.jobs, static_cast<long long>(states_.size()), StatesPerChunk,
                     [&](int worker, long long, long long begin, long long end) { step(worker, begin, end); });
        bool precise = true;
        outOfReach_ = 0.0;
        for (size_t k = 0; k < iterated_.size(); ++k) {
            const double largestValue = largestMagnitude(k);
            for (int i = 0; i < nodes_; ++i) {
                double least = Infinity;
                double most = -Infinity;
                for (int w = 0; w < workers; ++w) {
                    least = std::min(least, least_[w * cells + k * nodes_ + i]);
                    most = std::max(most, most_[w * cells + k * nodes_ + i]);
                }
                const double margin =
                    up(margins_[k] * up(largestChance_[k][i] + 2.01 * largestValue)) + UnderflowSlack;
                const size_t at = static_cast<size_t>(iterated_[k]) * nodes_ + i;
                low[at] = std::max(0.0, down(least - margin));
                high[at] = std::min(1.0, up(most + margin));
                value[at] = std::clamp(least + (most - least) / 2, low[at], high[at]);
                precise = precise && high[at] - low[at] <= options_.precision;
                if (2 * margin > options_.precision) outOfReach_ = std::max(outOfReach_, high[at] - low[at]);
            }
        }
        recentre();
        return precise;
    }

    // The widest bound that rounding keeps above the precision in the last
    // pass, or 0.
    double outOfReach() const { return outOfReach_; }

private:
    // The relative error, beyond the values' own size, of a pass's d at one
    // configuration: the weights' and chances' slack, and the rounding of a
    // sum of up to k + 1 products and the three operations around it.
    double marginFactor(int c) const {
        size_t longest = 0;
        for (const int l : classes_.members[c]) longest = std::max(longest, rows_.end(l) - rows_.begin(l));
        return (options_.weightSlack + dotProductSlack(longest + 5)) * 1.01;
    }

    int classEnd(size_t k) const {
        return k + 1 < firstLocal_.size() ? firstLocal_[k + 1] : static_cast<int>(states_.size());
    }

    // Every node's (g, v(1), ..., v(size - 1)) of the class from local state
    // `begin`, or non-finite values where the factorisation fails.
    Eigen::MatrixXd poissonSolution(int begin, int size) const {
        std::vector<Eigen::Triplet<double>> entries;
        Eigen::MatrixXd chances(size, nodes_);
        for (int r = 0; r < size; ++r) {
            const int l = states_[begin + r];
            entries.emplace_back(r, 0, 1.0);
            if (r > 0) entries.emplace_back(r, r, 1.0);
            rows_.forEachEntry(l, [&](int column, double weight) {
                const int c = local_[column] - begin;
                if (c > 0 && weight != 0.0) entries.emplace_back(r, c, -weight);
            });
            for (int i = 0; i < nodes_; ++i) chances(r, i) = chances_[static_cast<size_t>(l) * nodes_ + i];
        }
        Eigen::SparseMatrix<double> system(size, size);
        system.setFromTriplets(entries.begin(), entries.end());
        Eigen::SparseLU<Eigen::SparseMatrix<double>, Eigen::COLAMDOrdering<int>> lu;
        lu.compute(system);
        if (lu.info() != Eigen::Success)
            return Eigen::MatrixXd::Constant(size, nodes_, std::numeric_limits<double>::quiet_NaN());
        return lu.solve(chances);
    }

    std::vector<double> largestChances(int c) const {
        std::vector<double> largest(nodes_, 0.0);
        for (const int l : classes_.members[c])
            for (int i = 0; i < nodes_; ++i)
                largest[i] = std::max(largest[i], chances_[static_cast<size_t>(l) * nodes_ + i]);
        return largest;
    }

    // The largest value of a class's values, over every node.
    double largestMagnitude(size_t k) const {
        const size_t begin = static_cast<size_t>(firstLocal_[k]) * nodes_;
        const size_t end = static_cast<size_t>(classEnd(k)) * nodes_;
        double largest = 0.0;
        for (size_t at = begin; at < end; ++at) largest = std::max(largest, std::fabs(values_[at]));
        return largest;
    }

    void step(int worker, long long begin, long long end) {
        const size_t cells = iterated_.size() * nodes_;
        std::vector<double> sums(nodes_);
        for (long long s = begin; s < end; ++s) {
            const int l = states_[s];
            std::fill(sums.begin(), sums.end(), 0.0);
            rows_.forEachEntry(l, [&](int column, double weight) {
                if (weight == 0.0) return;
                const double* values = values_.data() + static_cast<size_t>(local_[column]) * nodes_;
                for (int i = 0; i < nodes_; ++i) sums[i] += weight * values[i];
            });
            const int k = stateClass_[s];
            const double* values = values_.data() + static_cast<size_t>(s) * nodes_;
            const double* chances = chances_.data() + static_cast<size_t>(l) * nodes_;
            double* next = next_.data() + static_cast<size_t>(s) * nodes_;
            double* least = least_.data() + worker * cells + k * nodes_;
            double* most = most_.data() + worker * cells + k * nodes_;
            for (int i = 0; i < nodes_; ++i) {
                const double moved = lazy_[k] ? 0.5 * (sums[i] + values[i]) : sums[i];
                next[i] = chances[i] + moved;
                const double d = next[i] - values[i];
                least[i] = std::min(least[i], d);
                most[i] = std::max(most[i], d);
            }
        }
    }

    // Values relative to each class's first configuration, so that they stay
    // near the Poisson equation's solution instead of growing with the passes.
    void recentre() {
        for (size_t k = 0; k < iterated_.size(); ++k) {
            const size_t begin = static_cast<size_t>(firstLocal_[k]);
            const size_t end = static_cast<size_t>(classEnd(k));
            std::vector<double> reference(next_.begin() + begin * nodes_, next_.begin() + (begin + 1) * nodes_);
            for (size_t s = begin; s < end; ++s)
                for (int i = 0; i < nodes_; ++i) next_[s * nodes_ + i] -= reference[i];
        }
        values_.swap(next_);
    }

    const SparseRows& rows_;
    const std::vector<double>& chances_;
    const int nodes_;
    const ClosedClasses& classes_;
    const std::vector<int> iterated_;
    const GainOptions options_;
    std::vector<int> local_;
    std::vector<int> states_;
    std::vector<int> stateClass_;
    std::vector<int> firstLocal_;
    std::vector<bool> lazy_;
    std::vector<double> margins_;
    std::vector<std::vector<double>> largestChance_;
    std::vector<double> values_;
    std::vector<double> next_;
    std::vector<double> least_;
    std::vector<double> most_;
    double outOfReach_ = 0.0;
};

void giveUpWhenOutOfReach(long long passes, double outOfReach) {
    if (passes >= PassesBeforeGivingUp && outOfReach > 0.0) throw RatesOutOfReach{outOfReach};
}

}  // namespace

ClassGains computeClassGains(const SparseRows& rows, const std::vector<double>& chances, int nodes,
                             const ClosedClasses& classes, const GainOptions& options, PassBudget& budget,
                             ClassGains& reached) {
    ClassGains& gains = reached;
    gains.nodes = nodes;
    const size_t cells = static_cast<size_t>(classes.count()) * nodes;
    gains.value.assign(cells, 0.0);
    gains.low.assign(cells, 0.0);
    gains.high.assign(cells, 1.0);
    std::vector<int> iterated;
    for (int c = 0; c < classes.count(); ++c) {
        if (!classes.isCycle(rows, c)) {
            iterated.push_back(c);
            continue;
        }
        const size_t at = static_cast<size_t>(c) * nodes;
        averageOverCycle(classes.members[c], chances, nodes, options.weightSlack, &gains.value[at], &gains.low[at],
                         &gains.high[at]);
    }
    if (!iterated.empty()) {
        GainIteration iteration(rows, chances, nodes, classes, std::move(iterated), options);
        for (long long passes = 1;; ++passes) {
            budget.spend();
            if (passes == SolveAfterPasses) iteration.startFromPoissonSolutions();
            if (iteration.pass(gains.value.data(), gains.low.data(), gains.high.data())) break;
            giveUpWhenOutOfReach(passes, iteration.outOfReach());
        }
    }
    return gains;
}

ClassGains computeGainsThrough(ProcessOperator& process, const GainOptions& options, PassBudget& budget,
                               ClassGains& reached) {
    const int nodes = process.nodeCount();
    const size_t h = static_cast<size_t>(process.configurationCount());
    ClassGains& gains = reached;
    gains.nodes = nodes;
    gains.value.assign(static_cast<size_t>(nodes), 0.0);
    gains.low.assign(static_cast<size_t>(nodes), 0.0);
    gains.high.assign(static_cast<size_t>(nodes), 1.0);
    // The operator's own slack and the rounding of d = w - v around it.
    const double slack = (process.slack() + options.weightSlack + dotProductSlack(6)) * 1.01;
    std::vector<double> values(h * nodes, 0.0), next;
    for (long long passes = 1;; ++passes) {
        budget.spend();
        process.apply(values, next, nodes, options.jobs);
        double largest = 0.0;
        for (const double value : values) largest = std::max(largest, std::fabs(value));
        const double margin = up(slack * up(1.0 + 2.01 * largest)) + UnderflowSlack;
        bool precise = true;
        double outOfReach = 0.0;
        for (int i = 0; i < nodes; ++i) {
            double least = Infinity, most = -Infinity;
            for (size_t l = 0; l < h; ++l) {
                const double d = next[l * nodes + i] - values[l * nodes + i];
                least = std::min(least, d);
                most = std::max(most, d);
            }
            gains.low[i] = std::max(0.0, down(least - margin));
            gains.high[i] = std::min(1.0, up(most + margin));
            gains.value[i] = std::clamp(least + (most - least) / 2, gains.low[i], gains.high[i]);
            const bool within = gains.high[i] - gains.low[i] <= options.precision;
            precise = precise && within;
            if (!within && 2 * margin > options.precision)
                outOfReach = std::max(outOfReach, gains.high[i] - gains.low[i]);
        }
        if (precise) break;
        giveUpWhenOutOfReach(passes, outOfReach);
        // Relative to the first configuration, as in the rows' iteration.
        for (size_t l = h; l-- > 0;)
            for (int i = 0; i < nodes; ++i) next[l * nodes + i] -= next[i];
        values.swap(next);
    }
    return gains;
}
