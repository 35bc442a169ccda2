#pragma once

#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include "model/storage/sparse_rows.h"

class WorkProgress;

// The long run of the chain: where the success curve v_p = T^p 1_S goes
// and how fast. With R the transient configurations (those that reach S
// through positive weights without being in S) and Q the one-step weights
// among them:
//   limit      v = lim v_p: 1 on S, 0 where S is out of reach, and on R the
//              solution of (I - Q) v = (weights into S);
//   mean steps m = sum over p of (v - v_p): 0 off R, and on R the solution of
//              (I - Q) m = v;
//   quantile steps for q: the first step at which the averaged curve reaches
//              q times the averaged limit.
// Every figure comes with an interval that holds its exact value for the
// stored weights, whatever the rounding: residual_certificate.cpp proves the
// bounds of the limit and the mean steps, settling_curve.cpp those of the
// quantile steps.

// How the transient block is solved.
enum class LongRunMethod {
    Automatic,  // a direct solve for small chains, else iterations, Krylov when they are slow
    Direct,     // a sparse LU factorisation, refined against the certificate
    Iteration,  // value iteration alone
    Krylov,     // BiCGSTAB after a few steps of value iteration
};

// The most transient configurations a direct solve takes.
constexpr int MaxDirectConfigurations = 20000;
// The smallest precision asked for. The certificate proves an interval of
// about 4e-16 times the most steps a configuration takes to settle, and
// intervals rounded outwards to doubles: 1e-13 holds on chains that settle
// within a few hundred steps; a finer precision, or a slower chain, ends
// as stopped by the rounding of doubles.
constexpr double FinestLongRunPrecision = 1e-13;
// Quantile steps where the curve never gets there.
constexpr long long NeverReached = -1;

struct LongRunOptions {
    // Every interval is at most precision x max(1, |value|) wide.
    double precision = 1e-9;
    // Each in (0, 1]; no curve is followed without them.
    std::vector<double> quantiles;
    bool keepPerConfiguration = false;
    LongRunMethod method = LongRunMethod::Automatic;
    // Passes over the transient rows before giving up.
    long long maxIterations = 1000000;
    int jobs = 1;
    // The bytes a direct solve's factorisation may take: beyond them an
    // automatic choice iterates instead and an asked-for one is refused.
    double maxDirectBytes = std::numeric_limits<double>::infinity();
};

// A figure and bounds of its exact value: low <= exact <= high.
struct BoundedFigure {
    double value = 0.0;
    double low = 0.0;
    double high = 0.0;
};

// Steps at which the averaged curve first reaches q x the averaged limit:
// `value` as the curve and limit are computed, `low` and `high` where the
// exact crossing can lie; NeverReached for all three where it never does.
// A crossing too close to the limit for the limit's interval and the
// curve's rounding to bracket is not resolved: its value is unknown, `low`
// as far as the curve was followed, `high` NeverReached.
struct QuantileSteps {
    double quantile = 0.0;
    long long value = 0;
    long long low = 0;
    long long high = 0;
    bool resolved = true;
};

struct LongRunFigures {
    int configurationCount = 0;
    int markedCount = 0;
    int transientCount = 0;
    // Averaged over every configuration, as a uniform start.
    BoundedFigure limit;
    BoundedFigure meanSteps;
    // The mean steps given that S is reached: the averaged mean steps over
    // the averaged limit.
    BoundedFigure meanStepsIfReached;
    std::vector<QuantileSteps> quantiles;
    // Per configuration when asked for, else empty.
    std::vector<double> limitValue, limitLow, limitHigh;
    std::vector<double> meanValue, meanLow, meanHigh;
    std::vector<double> ifReachedValue, ifReachedLow, ifReachedHigh;
    // "graph" when the graph decided everything, else "iteration", "krylov"
    // or "direct".
    std::string method;
    // Passes over the transient rows, a certificate's included.
    long long iterations = 0;
};

// The iteration cap was reached before the intervals were narrow enough.
// The message gives the averaged intervals reached (or how far they are
// known) in one line; the bounds are those intervals.
class LongRunCapReached : public std::runtime_error {
public:
    LongRunCapReached(const std::string& message, BoundedFigure limit, BoundedFigure meanSteps)
        : std::runtime_error(message), limit_(limit), meanSteps_(meanSteps) {}
    const BoundedFigure& limit() const { return limit_; }
    const BoundedFigure& meanSteps() const { return meanSteps_; }

private:
    BoundedFigure limit_;
    BoundedFigure meanSteps_;
};

// An upper bound of the memory computeLongRun takes beyond the chain, in
// bytes, for `configurations` configurations: BiCGSTAB's ten vectors, its
// products' buffers, the curve beside it and the certificate's iterates take
// the most, about 220 bytes a configuration; value iteration's two iterates
// and the curve about 56. A direct solve is limited to
// MaxDirectConfigurations transient configurations instead.
constexpr long long longRunMemory(long long configurations) { return 224 * configurations + (1 << 20); }

// The expected steps until S given that S is reached, E[steps; reached] /
// P(reached), from the mean steps (the weight still to arrive, summed, which
// is E[steps; reached]) and the limit: their quotient, with the interval
// their intervals give; infinite where the limit is 0.
BoundedFigure stepsIfReached(const BoundedFigure& meanSteps, const BoundedFigure& limit);

// Throws EngineError (bad input) for a precision below FinestLongRunPrecision
// or not a number, or a quantile outside (0, 1]; the message names the
// option as `precision` and `quantile`.
void checkLongRunOptions(const LongRunOptions& options);

// The figures of the chain with one-step weights `transitions` and S marks
// `marked`. The result is the same for any number of jobs. Throws
// LongRunCapReached at the cap, EngineError (beyond a limit) for a direct
// solve of more than MaxDirectConfigurations transient configurations, or
// one whose factorisation may take more than options.maxDirectBytes.
LongRunFigures computeLongRun(const SparseRows& transitions, const std::vector<bool>& marked,
                              const LongRunOptions& options, WorkProgress* progress = nullptr);
