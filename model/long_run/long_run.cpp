#include "model/long_run/long_run.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "model/long_run/krylov_solve.h"
#include "model/long_run/pass_budget.h"
#include "model/long_run/residual_certificate.h"
#include "model/long_run/settling_curve.h"
#include "model/support/bounded_arithmetic.h"
#include "model/support/engine_error.h"
#include "model/transient/direct_solve.h"
#include "model/transient/transient_set.h"

// The graph decides S, the configurations that cannot reach S and whether
// anything is left; the transient block is then solved by value iteration,
// by BiCGSTAB when value iteration would take long, or by a sparse LU for
// small chains, and whatever the method, its result is only reported once a
// pass over the rows certifies it (residual_certificate.cpp proves the
// bounds). Value iteration from v = 1_S is the success curve itself, so the
// curve for the quantiles comes with it; BiCGSTAB steps the curve along in
// its own passes.

namespace {

// Transient configurations a direct solve takes without being asked: beyond
// them its fill-in costs more than the iterations.
constexpr int AutomaticDirectConfigurations = 1024;
// Value iteration hands over to BiCGSTAB when it expects to need more
// passes than this: BiCGSTAB's passes are dearer, two per iteration, and on
// quickly mixing chains it needs as many iterations as value iteration
// passes.
constexpr double HandOverPasses = 300;
// Passes between looks at value iteration's rate, the first look, and the
// last.
constexpr long long RateWindow = 8;
constexpr long long FirstLookAtRate = 32;
constexpr long long LastLookAtRate = 128;
// Iterations of one BiCGSTAB solve, and rounds of solves and
// certificates, before giving up as stalled.
constexpr int KrylovIterations = 2000;
constexpr int KrylovRounds = 8;
// The least excess of (I - Q) w over 0 a time vector w must prove: the
// intervals widen by its inverse.
constexpr double MinimumTimeExcess = 0.5;
// Value iteration certifies at least every this many passes.
constexpr long long CertifyEvery = 32;
// Rounds of iterative refinement of a direct solve.
constexpr int RefinementRounds = 8;
// Compensated passes after a solver that go on while each narrows the
// widest interval by a hundredth within this many passes.
constexpr long long PolishPatience = 64;
constexpr double PolishGain = 0.99;

// The fewest digits that read back as `value`: a number as its user wrote
// it, where that was the shortest way.
std::string shortestText(double value) {
    char text[32];
    for (int digits = 1; digits <= 17; ++digits) {
        std::snprintf(text, sizeof text, "%.*g", digits, value);
        if (std::strtod(text, nullptr) == value) break;
    }
    return text;
}

std::string boundText(double value) {
    if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

// "1.5 GB", "48.0 MB": powers of 1024, one decimal.
std::string memoryText(double bytes) {
    const char* const units[] = {"bytes", "KB", "MB", "GB", "TB"};
    int unit = 0;
    while (bytes >= 1024 && unit < 4) {
        bytes /= 1024;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, unit ? "%.1f %s" : "%.0f %s", bytes, units[unit]);
    return text;
}

std::vector<double> gather(const std::vector<double>& values, const std::vector<int>& transient) {
    std::vector<double> gathered(transient.size());
    for (size_t r = 0; r < transient.size(); ++r) gathered[r] = values[transient[r]];
    return gathered;
}

// Solutions of the transient block as an iterate, or as a vector over all
// configurations. Certificates assume non-negative values; the exact ones are.
void spreadClamped(const std::vector<double>& limit, const std::vector<double>& mean,
                   const std::vector<int>& transient, LongRunIterate& into) {
    for (size_t r = 0; r < transient.size(); ++r)
        into.values[transient[r]] = {std::max(0.0, limit[r]), std::max(0.0, mean[r])};
}

std::vector<double> spreadClamped(const std::vector<double>& values, const TransientSet& set) {
    const std::vector<int>& transient = set.transient();
    std::vector<double> spread(static_cast<size_t>(set.configurationCount()), 0.0);
    for (size_t r = 0; r < transient.size(); ++r) spread[transient[r]] = std::max(0.0, values[r]);
    return spread;
}

// Stopped short of the precision: a solver stalled, with the rounding of
// doubles, not the chain's pace, holding its intervals back where
// `byRounding`.
struct Stopped {
    bool byRounding = false;
};

class LongRunSolver {
public:
    LongRunSolver(const SparseRows& transitions, const std::vector<bool>& marked, const LongRunOptions& options,
                  WorkProgress* progress)
        : transitions_(transitions),
          options_(options),
          set_(transitions, marked),
          budget_(options.maxIterations, progress) {}

    LongRunFigures run() {
        figures_.configurationCount = set_.configurationCount();
        figures_.markedCount = set_.markedCount();
        figures_.transientCount = set_.transientCount();
        try {
            if (set_.transientCount() == 0)
                settleByGraph();
            else if (usesDirectSolve())
                solveDirectly();
            else if (!iterate())
                solveByKrylov();
            addStepsIfReached();
            findQuantiles();
        } catch (const PassBudget::Exhausted&) {
            throw stoppedShort("no answer within the cap of " + std::to_string(options_.maxIterations) +
                               (options_.maxIterations == 1 ? " iteration" : " iterations"));
        } catch (const Stopped& stopped) {
            if (stopped.byRounding)
                throw stoppedShort("precision " + shortestText(options_.precision) +
                                   " is finer than the rounding of doubles lets the " + figures_.method +
                                   " solver prove on this chain, after " + std::to_string(budget_.spent()) +
                                   " iterations");
            throw stoppedShort("the " + figures_.method + " solver stalled after " +
                               std::to_string(budget_.spent()) + " iterations");
        }
        figures_.iterations = budget_.spent();
        return figures_;
    }

private:
    bool usesDirectSolve() const {
        if (options_.method == LongRunMethod::Direct) {
            if (set_.transientCount() > MaxDirectConfigurations)
                throw EngineError(EngineError::BeyondLimit,
                                  "a direct solve takes at most " + std::to_string(MaxDirectConfigurations) +
                                      " transient configurations; this chain has " +
                                      std::to_string(set_.transientCount()));
            if (!factorisationFits())
                throw EngineError(EngineError::BeyondLimit,
                                  "the LU factorisation of a direct solve of " +
                                      std::to_string(set_.transientCount()) + " transient configurations may take " +
                                      memoryText(factorisationBound()) + ", more than the " +
                                      memoryText(options_.maxDirectBytes) + " left beside the chain");
            return true;
        }
        return options_.method == LongRunMethod::Automatic &&
               set_.transientCount() <= AutomaticDirectConfigurations && factorisationFits();
    }

    double factorisationBound() const {
        return DirectSolver::memoryBound(set_.transientCount(), static_cast<long long>(transitions_.entryCount()));
    }
    bool factorisationFits() const { return factorisationBound() <= options_.maxDirectBytes; }

    bool everyConfigurationReachesMarked() const {
        return set_.markedCount() + set_.transientCount() == set_.configurationCount();
    }

    bool wantsCurve() const {
        if (set_.markedCount() == 0) return false;
        for (const double q : options_.quantiles)
            if (q < 1.0) return true;
        return false;
    }

    void addStepsIfReached() {
        figures_.meanStepsIfReached = stepsIfReached(figures_.meanSteps, figures_.limit);
        const size_t h = figures_.limitValue.size();
        for (auto* values : {&figures_.ifReachedValue, &figures_.ifReachedLow, &figures_.ifReachedHigh})
            values->resize(h);
        for (size_t l = 0; l < h; ++l) {
            const BoundedFigure steps =
                stepsIfReached({figures_.meanValue[l], figures_.meanLow[l], figures_.meanHigh[l]},
                               {figures_.limitValue[l], figures_.limitLow[l], figures_.limitHigh[l]});
            figures_.ifReachedValue[l] = steps.value;
            figures_.ifReachedLow[l] = steps.low;
            figures_.ifReachedHigh[l] = steps.high;
        }
    }

    // Nothing transient: every figure is exact.
    void settleByGraph() {
        figures_.method = "graph";
        const LongRunIterate exact(set_);
        ErrorScales none;
        none.limit = none.mean = 0.0;
        boundIterate(set_, exact, nullptr, none, options_.precision, options_.keepPerConfiguration, figures_);
    }

    // Whether a certified iterate meets the precision; it is kept as the
    // interval reached either way.
    bool accept(const LongRunIterate& iterate, const TimeCertificate* time, const ErrorScales& scales) {
        const bool precise = boundIterate(set_, iterate, time, scales, options_.precision,
                                          options_.keepPerConfiguration, figures_);
        reached_ = true;
        return precise;
    }

    // ---- value iteration

    // Value iteration from v = 1_S, m = 0 until a pass certifies the iterate
    // it started from, m~ standing for the time in R until it proves too
    // weak. Most passes only estimate; a pass certifies when the estimates
    // say it may succeed, and every CertifyEvery passes, so that the
    // intervals reached are at hand when the cap ends the work. Returns
    // false when it hands over to BiCGSTAB, leaving its last iterate in
    // start_.
    bool iterate() {
        figures_.method = "iteration";
        if (wantsCurve()) curve_ = std::make_unique<SettlingCurve>(transitions_, set_);
        LongRunIterate current(set_);
        LongRunIterate next(current);
        std::vector<double> curveSums;
        ErrorScales failed;
        double timeOverMean = HUGE_VAL;
        bool certify = false;
        for (long long pass = 1;; ++pass) {
            certify = certify || pass % CertifyEvery == 0 || compensated_;
            budget_.spend();
            const ResidualBounds bounds = iterateOnce(transitions_, set_, current, next, time_.get(),
                                                      curve_ ? &curveSums : nullptr, options_.jobs, certify,
                                                      compensated_);
            if (curve_) curve_->append(curveSums);
            if (certify) {
                timeOverMean = bounds.largestTimeOverMean;
                const ErrorScales scales = errorScales(bounds);
                if (std::isfinite(scales.limit) && std::isfinite(scales.mean)) {
                    if (accept(current, time_.get(), scales)) {
                        curveVector_ = next.limits();
                        return true;
                    }
                    failed = scales;
                    compensated_ = compensated_ || roundingHoldsBack(bounds);
                }
                certify = false;
            } else {
                certify = worthCertifying(bounds, timeOverMean, failed);
            }
            if (!time_ && needsTime(bounds)) {
                time_ = std::make_unique<TimeCertificate>(timeFrom(current.means()));
                failed = ErrorScales();
            }
            history_.push_back(bounds);
            if (handsOver(pass)) {
                start_ = std::make_unique<LongRunIterate>(std::move(next));
                return false;
            }
            std::swap(current, next);
        }
    }

    // Whether the bounds of the residuals are mostly their rounding: the
    // iterate is then as good as plain passes make it, and only compensated
    // ones take it further.
    static bool roundingHoldsBack(const ResidualBounds& bounds) {
        return bounds.limit > 4 * bounds.computedLimit || bounds.mean > 4 * bounds.computedMean;
    }

    // Whether the estimates of a pass promise a certificate precise enough,
    // and, after one that was not, residuals half as large.
    bool worthCertifying(const ResidualBounds& estimates, double timeOverMean, const ErrorScales& failed) const {
        ResidualBounds guess = estimates;
        guess.largestTimeOverMean = std::isfinite(timeOverMean) ? timeOverMean : estimates.largestTime;
        const ErrorScales scales = errorScales(guess);
        return mayBePrecise(guess, scales, set_.configurationCount(), options_.precision) &&
               (!std::isfinite(failed.limit) || (scales.limit <= failed.limit / 2 && scales.mean <= failed.mean / 2));
    }

    // m~ certifies the time in R through (I - Q) m~ = v~ - r_m: too weakly
    // where some limit is small. Once the residuals are small enough to tell,
    // a time vector that certifies well is made instead.
    bool needsTime(const ResidualBounds& bounds) const {
        return bounds.timeExcess < MinimumTimeExcess && bounds.limit <= 0.1 && bounds.mean <= 0.1;
    }

    // Value iteration on t from `start` (the mean steps are below t, since v
    // is at most 1 where rows lose weight) until it certifies well.
    TimeCertificate timeFrom(std::vector<double> start) {
        std::vector<double> next(start);
        for (;;) {
            budget_.spend();
            if (iterateTime(transitions_, set_, start, next, options_.jobs) >= MinimumTimeExcess) break;
            start.swap(next);
        }
        budget_.spend();
        return certifyTime(transitions_, set_, std::move(start), options_.jobs);
    }

    // Hands over when the residuals shrink too slowly to reach the
    // precision within HandOverPasses more passes.
    bool handsOver(long long pass) const {
        if (options_.method == LongRunMethod::Iteration) return false;
        if (options_.method == LongRunMethod::Krylov) return true;
        if (pass < FirstLookAtRate || pass % RateWindow != 0 || pass > LastLookAtRate) return false;
        if (history_.size() <= 2 * RateWindow) return false;
        const ResidualBounds& now = history_.back();
        const ResidualBounds& before = history_[history_.size() - 1 - RateWindow];
        const ResidualBounds& earlier = history_[history_.size() - 1 - 2 * RateWindow];
        // The slower of the last two windows' rates: early residuals jump
        // about. The mean's residual falls at the same rate, only later; its
        // needs are in the limit's target through the time spent in R.
        const double rate = std::max(now.limit / before.limit, before.limit / earlier.limit);
        const double time = std::max(1.0, now.largestTime);
        return passesToReach(now.limit, rate, options_.precision / (4 * time * time)) > HandOverPasses;
    }

    // Passes for a residual of `now`, falling by `rate` each RateWindow
    // passes, to reach `target`.
    static double passesToReach(double now, double rate, double target) {
        if (now <= target) return 0.0;
        if (!(rate < 1.0)) return HUGE_VAL;
        return RateWindow * std::log(target / now) / std::log(rate);
    }

    // ---- BiCGSTAB

    // BiCGSTAB for v, then for m with v~ on the right, from value
    // iteration's last iterate. The residuals aimed at follow from the
    // certificate: widths of about 2 (rho_m + rho_v |t|) t_l, against the
    // precision times max(1, m_l). Where v is near 1, as with certain moves,
    // m~ itself certifies the time in R; only where it does not is t solved
    // for as well.
    void solveByKrylov() {
        figures_.method = "krylov";
        const ResidualBounds& last = history_.back();
        std::unique_ptr<CurveCompanion> companion;
        if (curve_) companion = std::make_unique<CurveCompanion>(*curve_, start_->limits());
        KrylovSolver solver(transitions_, set_, options_.jobs, budget_, companion.get());
        const std::vector<int>& transient = set_.transient();
        std::vector<double> v = gather(start_->limits(), transient);
        std::vector<double> m = gather(start_->means(), transient);
        // Where every configuration outside S reaches S, S is reached from
        // each for certain: v = 1 solves the block up to the rounding of the
        // rows' sums, and BiCGSTAB has nothing left to do for it.
        if (everyConfigurationReachesMarked()) v.assign(v.size(), 1.0);
        start_.reset();
        const std::vector<double> b = solver.weightsIntoMarked();

        // Value iteration's mean steps have not come half way yet.
        const double time = std::max(1.0, 2 * last.largestTime);
        const double timeOverMean = std::max(1.0, last.largestTimeOverMean);
        // A residual spread evenly over n rows has a 2-norm of sqrt(n) times
        // its size in each.
        const double spread = 0.25 * std::sqrt(static_cast<double>(transient.size()));
        double limitTolerance = options_.precision / (4 * timeOverMean * time) * spread;
        double meanTolerance = options_.precision / (4 * timeOverMean) * spread;

        LongRunIterate candidate(set_);
        LongRunIterate scratch(candidate);
        // Certificates are compensated once rounding held a plain one back;
        // the candidate it held back is certified again, not solved again.
        bool compensated = false;
        bool solve = true;
        for (int round = 0; round < KrylovRounds; ++round) {
            if (solve) {
                solver.solve(b, v, limitTolerance, KrylovIterations);
                solver.solve(v, m, meanTolerance, KrylovIterations);
                spreadClamped(v, m, transient, candidate);
            }
            solve = true;
            budget_.spend();
            const ResidualBounds bounds = iterateOnce(transitions_, set_, candidate, scratch, time_.get(), nullptr,
                                                      options_.jobs, true, compensated);
            const ErrorScales scales = errorScales(bounds);
            if (std::isnan(bounds.limit) || std::isnan(bounds.mean)) throw Stopped{};
            if (!(bounds.timeExcess >= MinimumTimeExcess)) {
                if (time_) throw Stopped{};
                std::vector<double> t = m;
                solver.solve(std::vector<double>(transient.size(), 1.0), t, 1e-3, KrylovIterations);
                budget_.spend();
                time_ = std::make_unique<TimeCertificate>(
                    certifyTime(transitions_, set_, spreadClamped(t, set_), options_.jobs));
                continue;
            }
            if (accept(candidate, time_.get(), scales)) {
                if (companion) curveVector_ = std::move(companion->current);
                return;
            }
            if (!compensated && roundingHoldsBack(bounds)) {
                compensated = true;
                solve = false;
                continue;
            }
            const double miss = shortfall(bounds, scales);
            limitTolerance /= 4 * miss;
            meanTolerance /= 4 * miss;
        }
        polish(candidate);
        if (companion) curveVector_ = std::move(companion->current);
    }

    // Compensated value iteration from a solver's last candidate: each pass
    // takes its error down by the chain's rate, until the iterate is its
    // exact step rounded once. Stops, as limited by rounding, once
    // PolishPatience passes narrow the widest interval no further.
    void polish(LongRunIterate& candidate) {
        LongRunIterate next(candidate);
        double narrowest = HUGE_VAL;
        for (long long sinceNarrower = 0; sinceNarrower < PolishPatience; ++sinceNarrower) {
            budget_.spend();
            const ResidualBounds bounds =
                iterateOnce(transitions_, set_, candidate, next, time_.get(), nullptr, options_.jobs, true, true);
            const ErrorScales scales = errorScales(bounds);
            if (!std::isfinite(scales.limit) || !std::isfinite(scales.mean)) throw Stopped{};
            if (accept(candidate, time_.get(), scales)) return;
            const double widest = shortfall(bounds, scales);
            if (widest < narrowest * PolishGain) {
                narrowest = widest;
                sinceNarrower = -1;
            }
            std::swap(candidate, next);
        }
        throw Stopped{true};
    }

    // How many times too wide the widest interval is, at least 1.
    double shortfall(const ResidualBounds& bounds, const ErrorScales& scales) const {
        const double limitWidth = 2 * scales.limit * bounds.largestTime;
        const double meanWidth = 2 * scales.mean * bounds.largestTimeOverMean;
        return std::max(1.0, std::max(limitWidth, meanWidth) / options_.precision);
    }

    // ---- sparse LU

    void solveDirectly() {
        figures_.method = "direct";
        const DirectSolver direct(transitions_, set_);
        if (!direct.factorized()) {
            if (!iterate()) solveByKrylov();
            return;
        }
        const std::vector<int>& transient = set_.transient();
        const std::vector<double> ones(transient.size(), 1.0);
        const std::vector<double>& b = direct.weightsIntoMarked();
        std::vector<double> t = direct.solve(ones);
        std::vector<double> v = direct.solve(b);
        std::vector<double> m = direct.solve(v);
        LongRunIterate candidate(set_);
        LongRunIterate scratch(candidate);
        double narrowest = HUGE_VAL;
        for (int round = 0; round <= RefinementRounds; ++round) {
            spreadClamped(v, m, transient, candidate);
            budget_.spend();
            const TimeCertificate time =
                certifyTime(transitions_, set_, spreadClamped(t, set_), options_.jobs);
            budget_.spend();
            const ResidualBounds bounds = iterateOnce(transitions_, set_, candidate, scratch, &time, nullptr,
                                                      options_.jobs, true, true);
            const ErrorScales scales = errorScales(bounds);
            if (std::isfinite(scales.limit) && accept(candidate, &time, scales)) return;
            // Refinement that narrows nothing has reached the rounding.
            const double widest = shortfall(bounds, scales);
            if (!(widest < narrowest * PolishGain)) throw Stopped{std::isfinite(widest)};
            narrowest = widest;
            refine(direct, ones, t);
            refine(direct, b, v);
            refine(direct, v, m);
        }
        throw Stopped{};
    }

    static void refine(const DirectSolver& direct, const std::vector<double>& rhs, std::vector<double>& x) {
        const std::vector<double> correction = direct.solve(direct.residual(rhs, x));
        for (size_t r = 0; r < x.size(); ++r) x[r] += correction[r];
    }

    // ---- quantiles

    void findQuantiles() {
        for (const double q : options_.quantiles) figures_.quantiles.push_back(quantileSteps(q));
    }

    QuantileSteps quantileSteps(double q) {
        QuantileSteps steps{q, NeverReached, NeverReached, NeverReached};
        if (set_.markedCount() == 0) return steps;
        if (set_.transientCount() == 0) return {q, 0, 0, 0};
        if (q >= 1.0) {
            // The exact curve reaches its limit only when no weight is left
            // in the transient block.
            if (stepsToEmpty_ == -2) stepsToEmpty_ = set_.stepsToEmpty(transitions_);
            return {q, stepsToEmpty_, stepsToEmpty_, stepsToEmpty_};
        }
        if (!curve_) {
            curve_ = std::make_unique<SettlingCurve>(transitions_, set_);
            curveVector_ = curveStart(set_);
        }
        std::vector<double> next(curveVector_);
        std::vector<double> sums;
        long long searched = 0;
        while (!curve_->crossing(q, figures_.limit, steps, searched)) {
            if (curve_->lowerBoundStalled()) return curve_->unresolvedCrossing(q, figures_.limit);
            budget_.spend();
            stepCurve(transitions_, set_, curveVector_, next, sums, options_.jobs);
            curveVector_.swap(next);
            curve_->append(sums);
        }
        return steps;
    }

    // ---- stopping short

    LongRunCapReached stoppedShort(const std::string& why) const {
        BoundedFigure limit{NAN, 0.0, HUGE_VAL};
        BoundedFigure mean{NAN, 0.0, HUGE_VAL};
        if (reached_) {
            limit = figures_.limit;
            mean = figures_.meanSteps;
        }
        return LongRunCapReached(why + ": limit in [" + boundText(limit.low) + ", " + boundText(limit.high) +
                                     "], mean_steps in [" + boundText(mean.low) + ", " + boundText(mean.high) + "]",
                                 limit, mean);
    }

    const SparseRows& transitions_;
    const LongRunOptions& options_;
    const TransientSet set_;
    PassBudget budget_;
    LongRunFigures figures_;
    // Whether figures_ holds certified intervals, precise or not.
    bool reached_ = false;
    // Whether value iteration has gone over to compensated passes.
    bool compensated_ = false;
    std::vector<ResidualBounds> history_;
    std::unique_ptr<LongRunIterate> start_;
    std::unique_ptr<SettlingCurve> curve_;
    // The vector that certifies the time in R, once m~ is not enough.
    std::unique_ptr<TimeCertificate> time_;
    // The curve's values after its last step.
    std::vector<double> curveVector_;
    long long stepsToEmpty_ = -2;
};

}  // namespace

void checkLongRunOptions(const LongRunOptions& options) {
    if (!(options.precision >= FinestLongRunPrecision) || !std::isfinite(options.precision))
        throw EngineError(EngineError::BadInput, "precision " + shortestText(options.precision) +
                                                     " is not a number of at least " +
                                                     shortestText(FinestLongRunPrecision));
    for (const double q : options.quantiles)
        if (!(q > 0.0 && q <= 1.0))
            throw EngineError(EngineError::BadInput, "quantile " + shortestText(q) + " is outside (0, 1]");
    if (options.maxIterations < 1)
        throw EngineError(EngineError::BadInput, "the iteration cap must be at least 1");
}

BoundedFigure stepsIfReached(const BoundedFigure& meanSteps, const BoundedFigure& limit) {
    constexpr double infinity = std::numeric_limits<double>::infinity();
    if (!(limit.value > 0.0)) return {infinity, infinity, infinity};
    // Each quotient is rounded once: the next double outward bounds it.
    const double low = limit.high > 0.0 ? down(meanSteps.low / limit.high) : 0.0;
    const double high = limit.low > 0.0 ? up(meanSteps.high / limit.low) : infinity;
    return {meanSteps.value / limit.value, std::max(0.0, low), high};
}

LongRunFigures computeLongRun(const SparseRows& transitions, const std::vector<bool>& marked,
                              const LongRunOptions& options, WorkProgress* progress) {
    checkLongRunOptions(options);
    // The passes count against the cap: the share shown is how much of it is spent.
    if (progress) progress->begin("settling", options.maxIterations);
    return LongRunSolver(transitions, marked, options, progress).run();
}
