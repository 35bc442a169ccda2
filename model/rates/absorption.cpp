#include "model/rates/absorption.h"

#include <Eigen/SparseCore>
#include <Eigen/SparseLU>

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "model/support/bounded_arithmetic.h"
#include "model/support/parallel.h"

namespace {

constexpr long long StatesPerChunk = 4096;
// Weight that is still transient after this many passes leaves slowly (its
// nodes rarely act), and if there are at most this many transient
// configurations the ending probabilities are solved directly once.
constexpr long long SolveAfterPasses = 1000;
constexpr int LargestSolvedTransient = 2048;

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

// The ending probabilities x_c of every class from each transient
// configuration solve x_c = Q x_c + r_c, Q the weights among the transient
// configurations and r_c those into class c. Any u with u <= Q u + r_c lies
// below x_c (x_c - u >= Q (x_c - u) >= Q^n (x_c - u), which vanishes), and
// any v with v >= Q v + r_c above. With solutions x~ and w~ of a sparse LU
// factorisation, and (I - Q) w~ >= g > 0 on every row, x~ - t w~ is such a
// u once t g covers the largest residual of x~, and x~ + t' w~ such a v:
// every residual is taken with its rounding and the weights' slack. False
// where the factorisation fails, w~ does not prove itself, or the bounds
// are wider than the precision; RatesOutOfReach where no pass could narrow
// them enough.
class DirectEndings {
public:
    DirectEndings(const SparseRows& rows, const ClosedClasses& classes, const std::vector<int>& transient,
                  double weightSlack)
        : rows_(rows), classes_(classes), transient_(transient), slack_(weightSlack),
          position_(classes.classOf.size(), -1) {
        for (size_t r = 0; r < transient.size(); ++r) position_[transient[r]] = static_cast<int>(r);
    }

    bool bound(const std::vector<double>& start, double precision, ClassProbabilities& bounds) const {
        const int n = static_cast<int>(transient_.size());
        const int count = classes_.count();
        Eigen::MatrixXd solution;
        if (!solve(solution) || !solution.allFinite()) return false;
        const double proven = provenFlow(solution.col(count));
        if (!(proven > 0.0)) return false;
        CompensatedDot startTime;
        for (int r = 0; r < n; ++r) startTime.add(start[transient_[r]], solution(r, count));
        const double time = up(startTime.value() + startTime.error());
        if (!(time > 0.0)) return false;
        ClassProbabilities found;
        BoundedSum claimed;
        for (int c = 0; c < count; ++c) {
            const auto [below, above] = residualRange(solution, c);
            const double lowerStretch = below > 0.0 ? up(up(below / proven) * time) : 0.0;
            const double upperStretch = above < 0.0 ? up(up(-above / proven) * time) : 0.0;
            CompensatedDot reached;
            for (const int l : classes_.members[c]) reached.add(start[l]);
            for (int r = 0; r < n; ++r) reached.add(start[transient_[r]], solution(r, c));
            const double low = std::max(0.0, down(down(reached.value() - reached.error()) - lowerStretch));
            const double high = std::min(1.0, up(up(reached.value() + reached.error()) + upperStretch));
            if (!(high - low <= precision)) return outOfReach(time, high - low, precision);
            found.low.push_back(low);
            found.high.push_back(high);
            found.value.push_back(std::clamp(reached.value(), low, high));
            claimed.add(low);
        }
        found.transient = std::max(0.0, up(1.0 - claimed.low()));
        bounds = found;
        return true;
    }

private:
    // The passes cannot do better where the weights' slack alone, taken over
    // the expected time to leave, makes the bounds wider than the precision.
    bool outOfReach(double time, double width, double precision) const {
        const double floor = 2 * slack_ * time;
        if (floor > precision) throw RatesOutOfReach{std::max(width, floor)};
        return false;
    }

    // Columns x~ of every class, then w~ with (I - Q) w~ = 1.
    bool solve(Eigen::MatrixXd& solution) const {
        const int n = static_cast<int>(transient_.size());
        const int count = classes_.count();
        std::vector<Eigen::Triplet<double>> entries;
        Eigen::MatrixXd sides = Eigen::MatrixXd::Zero(n, count + 1);
        for (int r = 0; r < n; ++r) {
            entries.emplace_back(r, r, 1.0);
            sides(r, count) = 1.0;
            rows_.forEachEntry(transient_[r], [&](int column, double weight) {
                if (position_[column] >= 0)
                    entries.emplace_back(r, position_[column], -weight);
                else
                    sides(r, classes_.classOf[column]) += weight;
            });
        }
        Eigen::SparseMatrix<double> system(n, n);
        system.setFromTriplets(entries.begin(), entries.end());
        Eigen::SparseLU<Eigen::SparseMatrix<double>, Eigen::COLAMDOrdering<int>> lu;
        lu.compute(system);
        if (lu.info() != Eigen::Success) return false;
        solution = lu.solve(sides);
        // The factorisation's own rounding grows with the times to leave,
        // which are long here: two corrections from residuals taken as if in
        // twice the precision bring them down to the rounding of the solution.
        for (int refinement = 0; refinement < 2 && solution.allFinite(); ++refinement)
            solution += lu.solve(residuals(sides, solution));
        return true;
    }

    // sides - (I - Q) solution, each entry as if in twice the precision.
    Eigen::MatrixXd residuals(const Eigen::MatrixXd& sides, const Eigen::MatrixXd& solution) const {
        Eigen::MatrixXd left(sides.rows(), sides.cols());
        for (Eigen::Index c = 0; c < sides.cols(); ++c)
            for (Eigen::Index r = 0; r < sides.rows(); ++r) {
                CompensatedDot residual;
                residual.add(sides(r, c));
                residual.add(-solution(r, c));
                rows_.forEachEntry(transient_[r], [&](int column, double weight) {
                    if (position_[column] >= 0) residual.add(weight, solution(position_[column], c));
                });
                left(r, c) = residual.value();
            }
        return left;
    }

    // A lower bound of the least (I - Q) w~ over the rows.
    double provenFlow(const Eigen::VectorXd& w) const {
        double least = std::numeric_limits<double>::infinity();
        for (size_t r = 0; r < transient_.size(); ++r) {
            CompensatedDot flow;
            double moved = 0.0;
            flow.add(w[static_cast<Eigen::Index>(r)]);
            rows_.forEachEntry(transient_[r], [&](int column, double weight) {
                if (position_[column] < 0) return;
                flow.add(-weight, w[position_[column]]);
                moved += weight * std::fabs(w[position_[column]]);
            });
            least = std::min(least, down(flow.value() - up(flow.error() + inflated(moved * slack_ * 1.01))));
        }
        return least;
    }

    // Bounds of the least and largest residual x~ - Q x~ - r_c over the rows.
    std::pair<double, double> residualRange(const Eigen::MatrixXd& solution, int c) const {
        double largest = -std::numeric_limits<double>::infinity();
        double least = std::numeric_limits<double>::infinity();
        for (size_t r = 0; r < transient_.size(); ++r) {
            CompensatedDot residual;
            double moved = 0.0;
            residual.add(solution(static_cast<Eigen::Index>(r), c));
            rows_.forEachEntry(transient_[r], [&](int column, double weight) {
                if (position_[column] >= 0) {
                    const double x = solution(position_[column], c);
                    residual.add(-weight, x);
                    moved += weight * std::fabs(x);
                } else if (classes_.classOf[column] == c) {
                    residual.add(-weight);
                    moved += weight;
                }
            });
            const double error = up(residual.error() + inflated(moved * slack_ * 1.01));
            largest = std::max(largest, up(residual.value() + error));
            least = std::min(least, down(residual.value() - error));
        }
        return {largest, least};
    }

    const SparseRows& rows_;
    const ClosedClasses& classes_;
    const std::vector<int>& transient_;
    const double slack_;
    std::vector<int> position_;
};

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
    for (long long passes = 0;; ++passes) {
        BoundedSum left;
        for (const int l : transient) left.add(mass[l]);
        const double still = up(left.high() * (1 + slackPerPass));
        takeBounds(absorbed, still, error, reached);
        if (up(still + 2 * error) <= precision) return reached;
        if (passes == SolveAfterPasses && static_cast<long long>(transient.size()) <= LargestSolvedTransient &&
            DirectEndings(rows, classes, transient, weightSlack).bound(start, precision, reached))
            return reached;
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
