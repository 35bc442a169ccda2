#pragma once

#include <limits>
#include <vector>

#include "model/long_run/long_run.h"
#include "model/transient/transient_set.h"

// Approximations, over all configurations, of the limit v and the mean steps
// m: the limit is 1 on S and 0 where S is out of reach, the mean steps 0 off
// the transient configurations R, and every value is non-negative. A
// configuration's two values lie side by side: a pass reads both of each
// column it meets, and then one memory access fetches them.
struct IterateValues {
    double limit = 0.0;
    double mean = 0.0;
};

struct LongRunIterate {
    std::vector<IterateValues> values;

    // v = 1_S, m = 0: where value iteration and the success curve start.
    explicit LongRunIterate(const TransientSet& set);

    // The limits, or the mean steps, of every configuration.
    std::vector<double> limits() const;
    std::vector<double> means() const;
};

// A vector w, 0 off R, that bounds the time spent in R, t = (I - Q)^-1 1:
// with ((I - Q) w)_l >= excess > 0 in every transient row, t <= w / excess.
// Where the limit is near 1 the iterate's own mean steps serve, since
// (I - Q) m = v; elsewhere an approximation of t.
struct TimeCertificate {
    std::vector<double> time;
    double excess = 0.0;
    double largest = 0.0;
    double sum = 0.0;
};

// The certificate of `time` (non-negative, 0 off R), in one pass.
TimeCertificate certifyTime(const SparseRows& transitions, const TransientSet& set, std::vector<double> time,
                            int jobs);

// One pass of t' = Q t + 1 on R from `time` into `next`; returns the excess
// of `time`, as certifyTime would find it.
double iterateTime(const SparseRows& transitions, const TransientSet& set, const std::vector<double>& time,
                   std::vector<double>& next, int jobs);

// What a pass over the transient rows proves about an iterate (v~, m~) and
// a time vector w, with b the weights into S:
struct ResidualBounds {
    // At least |b - (I - Q) v~| in every transient row.
    double limit = 0.0;
    // At least |v~ - (I - Q) m~| in every transient row.
    double mean = 0.0;
    // Where positive, at most ((I - Q) w)_l in every transient row, which
    // proves that I - Q is invertible and bounds t; otherwise nothing is known.
    double timeExcess = std::numeric_limits<double>::infinity();
    // For a quick look at the precision: the largest w, the largest
    // w / max(1, m~), and the sum of w (rounded as it comes).
    double largestTime = 0.0;
    double largestTimeOverMean = 0.0;
    double timeSum = 0.0;
    // The largest residuals as computed, before their rounding is bounded:
    // far below `limit` and `mean`, they show that rounding, not the
    // iterate, holds the bounds back.
    double computedLimit = 0.0;
    double computedMean = 0.0;
};

// One pass of value iteration from `current` into `next` (on R: v' = Q v + b,
// m' = Q m + v), and the bounds of `current` with w = `time`'s vector, or
// m~ itself without one. When `curveSums` is given it receives, per block of
// configurations, the sum of next.limit in increasing order, as the success
// curves add it. Without `certify` the bounds are estimates only, at half
// the cost: the residuals as computed and no w / m~ ratio. `compensated`
// certifies in compensated arithmetic, at several times the cost: the next
// iterate is each row's exact sum rounded once, and the residuals' bounds
// come within about u of them. The same for any number of jobs.
ResidualBounds iterateOnce(const SparseRows& transitions, const TransientSet& set, const LongRunIterate& current,
                           LongRunIterate& next, const TimeCertificate* time, std::vector<double>* curveSums,
                           int jobs, bool certify = true, bool compensated = false);

// Factors of w that bound the errors on R: |v - v~| <= limit w and
// |m - m~| <= mean w; infinite when the bounds prove nothing.
struct ErrorScales {
    double limit = std::numeric_limits<double>::infinity();
    double mean = std::numeric_limits<double>::infinity();
};

ErrorScales errorScales(const ResidualBounds& bounds);

// Whether the scales can meet `precision`: a necessary condition, cheap to
// test, which boundIterate decides for certain.
bool mayBePrecise(const ResidualBounds& bounds, const ErrorScales& scales, int configurationCount, double precision);

// The averaged figures of the iterate, and per configuration when asked,
// with intervals from the scales and w = `time`'s vector, or m~ without one;
// whether every interval is at most precision x max(1, |value|) wide.
bool boundIterate(const TransientSet& set, const LongRunIterate& iterate, const TimeCertificate* time,
                  const ErrorScales& scales, double precision, bool keepPerConfiguration, LongRunFigures& figures);
