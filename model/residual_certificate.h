#pragma once

#include <limits>
#include <vector>

#include "model/long_run.h"
#include "model/transient_set.h"

// Approximations, over all configurations, of the limit v, the mean steps m
// and the time t = (I - Q)^-1 1 spent in the transient configurations R:
// the limit is 1 on S and 0 where S is out of reach, the other two 0 off R,
// and every value is non-negative. A configuration's three values lie side
// by side: a pass reads all three of each column it meets, and then one
// memory access fetches them.
struct IterateValues {
    double limit = 0.0;
    double mean = 0.0;
    double time = 0.0;
};

struct LongRunIterate {
    std::vector<IterateValues> values;

    // v = 1_S, m = t = 0: where value iteration and the success curve start.
    explicit LongRunIterate(const TransientSet& set);

    // The limits of every configuration.
    std::vector<double> limits() const;
};

// What a pass over the transient rows proves about an iterate (v~, m~, t~),
// with b the weights into S:
struct ResidualBounds {
    // At least |b - (I - Q) v~| in every transient row.
    double limit = 0.0;
    // At least |v~ - (I - Q) m~| in every transient row.
    double mean = 0.0;
    // Where positive, at most ((I - Q) t~)_l in every transient row, which
    // proves that I - Q is invertible and bounds t; otherwise nothing is known.
    double timeExcess = std::numeric_limits<double>::infinity();
    // For a quick look at the precision: the largest t~, the largest
    // t~ / max(1, m~), and the sum of t~ (rounded as it comes).
    double largestTime = 0.0;
    double largestTimeOverMean = 0.0;
    double timeSum = 0.0;
};

// One pass of value iteration from `current` into `next` (on R: v' = Q v + b,
// m' = Q m + v, t' = Q t + 1), and the bounds of `current`. When `curveSums`
// is given it receives, per block of configurations, the sum of next.limit in
// increasing order, as the success curves add it. The same for any number of
// jobs.
ResidualBounds iterateOnce(const SparseRows& transitions, const TransientSet& set, const LongRunIterate& current,
                           LongRunIterate& next, std::vector<double>* curveSums, int jobs);

// Factors of t~ that bound the errors on R: |v - v~| <= limit t~ and
// |m - m~| <= mean t~; infinite when the bounds prove nothing.
struct ErrorScales {
    double limit = std::numeric_limits<double>::infinity();
    double mean = std::numeric_limits<double>::infinity();
};

ErrorScales errorScales(const ResidualBounds& bounds);

// Whether the scales can meet `precision`: a necessary condition, cheap to
// test, which boundIterate decides for certain.
bool mayBePrecise(const ResidualBounds& bounds, const ErrorScales& scales, int configurationCount, double precision);

// The averaged figures of the iterate, and per configuration when asked,
// with intervals from the scales; whether every interval is at most
// precision x max(1, |value|) wide.
bool boundIterate(const TransientSet& set, const LongRunIterate& iterate, const ErrorScales& scales, double precision,
                  bool keepPerConfiguration, LongRunFigures& figures);
