#include "model/residual_certificate.h"

#include <algorithm>
#include <cmath>

#include "model/bounded_arithmetic.h"
#include "model/parallel.h"
#include "model/transient_rows.h"

// The certificate. On the transient configurations R, with Q the one-step
// weights among them (exact reals: the stored doubles) and b the weights
// into S, the limit solves (I - Q) v = b and the mean steps (I - Q) m = v.
//
// 1. Let y > 0 with (I - Q) y >= 1 componentwise. Then Q y <= y - 1 < y, so
//    by the Collatz-Wielandt bound rho(Q) <= max_l (Q y)_l / y_l < 1: I - Q
//    is invertible, N = (I - Q)^-1 = sum of Q^p >= 0, and t = N 1 <= y,
//    since y - t = N ((I - Q) y - 1) >= 0. The limit is then also lim v_p:
//    on R, v_{p+1} = Q v_p + b converges to N b.
// 2. A pass over an iterate t~ > 0 finds g <= ((I - Q) t~)_l for every l in
//    R. With g > 0 and c >= 1 / g, y = c t~ satisfies 1.
// 3. For any v~, v - v~ = N (b - (I - Q) v~) = N r, so with |r| <= rho_v in
//    every row, |v - v~| <= rho_v t <= rho_v c t~.
// 4. For any m~, m - m~ = N (v~ - (I - Q) m~) + N (v - v~). With
//    |v~ - (I - Q) m~| <= rho_m and N y <= |y|_inf t <= |y|_inf y,
//    |m - m~| <= (rho_m + rho_v |y|_inf) c t~.
// The residuals themselves are computed in floating point: a row's sum of k
// non-negative products is within dotProductSlack(k) of its computed value
// plus the underflow term, and the one or two operations after it each
// within u; every bound below adds these, and is rounded upwards (see
// bounded_arithmetic.h). Iterates are non-negative, so the products are.

namespace {

constexpr double TwoUlpsAboveOne = 1 + 2 * UnitRoundoff;
constexpr double RoundingOfOneOperation = UnitRoundoff * TwoUlpsAboveOne;

struct BlockBounds {
    ResidualBounds bounds;
    double curveSum = 0.0;
};

// The bounds are kept in locals: the writes to `next` might alias members.
BlockBounds iterateBlock(const SparseRows& transitions, const TransientSet& set, const LongRunIterate& current,
                         LongRunIterate& next, long long begin, long long end) {
    const IterateValues* in = current.values.data();
    IterateValues* out = next.values.data();
    const unsigned char* kinds = set.kinds();
    double limitResidual = 0.0, meanResidual = 0.0, timeExcess = HUGE_VAL;
    double largestTime = 0.0, largestTimeOverMean = 0.0, timeSum = 0.0, curveSum = 0.0;
    for (long long l = begin; l < end; ++l) {
        if (kinds[l] != TransientSet::Transient) {
            if (kinds[l] == TransientSet::Marked) curveSum += 1.0;
            continue;
        }
        const int row = static_cast<int>(l);
        double sumV = 0.0, sumM = 0.0, sumT = 0.0;
        transitions.forEachEntry(row, [&](int column, double weight) {
            const IterateValues& x = in[column];
            sumV += weight * x.limit;
            sumM += weight * x.mean;
            sumT += weight * x.time;
        });
        const IterateValues x = in[l];
        const size_t k = transitions.end(row) - transitions.begin(row);
        const double slack = dotProductSlack(k);
        const double underflow = UnderflowSlack;

        // r_v = b + Q v~ - v~: the row's whole sum, S counted as 1, less v~.
        const double d = sumV - x.limit;
        limitResidual = std::max(
            limitResidual, inflated(std::fabs(d) * TwoUlpsAboveOne + slack * (sumV + underflow) + underflow));

        // r_m = v~ + Q m~ - m~.
        const double a = x.limit + sumM;
        const double e = a - x.mean;
        meanResidual = std::max(meanResidual, inflated(std::fabs(e) * TwoUlpsAboveOne + RoundingOfOneOperation * a +
                                                       slack * (sumM + underflow) + underflow));

        // (I - Q) t~ = t~ - Q t~, from below.
        const double f = x.time - sumT;
        const double fError = inflated(RoundingOfOneOperation * std::fabs(f) + slack * (sumT + underflow) + underflow);
        timeExcess = std::min(timeExcess, belowWherePositive(f - fError));

        largestTime = std::max(largestTime, x.time);
        largestTimeOverMean = std::max(largestTimeOverMean, x.time / std::max(1.0, x.mean));
        timeSum += x.time;

        out[l] = {sumV, a, sumT + 1.0};
        curveSum += sumV;
    }
    BlockBounds block;
    block.bounds = {limitResidual, meanResidual, timeExcess, largestTime, largestTimeOverMean, timeSum};
    block.curveSum = curveSum;
    return block;
}

}  // namespace

LongRunIterate::LongRunIterate(const TransientSet& set) : values(static_cast<size_t>(set.configurationCount())) {
    for (int l = 0; l < set.configurationCount(); ++l)
        if (set.kind(l) == TransientSet::Marked) values[l].limit = 1.0;
}

std::vector<double> LongRunIterate::limits() const {
    std::vector<double> limits(values.size());
    for (size_t l = 0; l < values.size(); ++l) limits[l] = values[l].limit;
    return limits;
}

ResidualBounds iterateOnce(const SparseRows& transitions, const TransientSet& set, const LongRunIterate& current,
                           LongRunIterate& next, std::vector<double>* curveSums, int jobs) {
    const long long h = set.configurationCount();
    const long long blocks = (h + ConfigurationsPerBlock - 1) / ConfigurationsPerBlock;
    std::vector<BlockBounds> perBlock(static_cast<size_t>(blocks));
    forEachChunk(jobs, h, ConfigurationsPerBlock, [&](int, long long block, long long begin, long long end) {
        perBlock[block] = iterateBlock(transitions, set, current, next, begin, end);
    });
    // Maxima and minima do not depend on the order; the sums go in block order.
    ResidualBounds bounds;
    if (curveSums) curveSums->assign(static_cast<size_t>(blocks), 0.0);
    for (long long b = 0; b < blocks; ++b) {
        const ResidualBounds& block = perBlock[b].bounds;
        bounds.limit = std::max(bounds.limit, block.limit);
        bounds.mean = std::max(bounds.mean, block.mean);
        bounds.timeExcess = std::min(bounds.timeExcess, block.timeExcess);
        bounds.largestTime = std::max(bounds.largestTime, block.largestTime);
        bounds.largestTimeOverMean = std::max(bounds.largestTimeOverMean, block.largestTimeOverMean);
        bounds.timeSum += block.timeSum;
        if (curveSums) (*curveSums)[b] = perBlock[b].curveSum;
    }
    return bounds;
}

ErrorScales errorScales(const ResidualBounds& bounds) {
    ErrorScales scales;
    if (!(bounds.timeExcess > 0.0)) return scales;
    const double c = up(1.0 / bounds.timeExcess);
    const double largestY = up(c * bounds.largestTime);
    scales.limit = up(bounds.limit * c);
    scales.mean = up(up(bounds.mean + up(bounds.limit * largestY)) * c);
    return scales;
}

bool mayBePrecise(const ResidualBounds& bounds, const ErrorScales& scales, int configurationCount,
                  double precision) {
    if (!std::isfinite(scales.limit) || !std::isfinite(scales.mean)) return false;
    // Every limit interval is at least as wide as allowed for a value of 1,
    // every mean interval compares with max(1, m~), and the averaged ones
    // with the average of the widths.
    const double allowed = 0.999 * precision;
    const double averageTime = bounds.timeSum / configurationCount;
    return 2 * scales.limit * bounds.largestTime <= allowed &&
           2 * scales.mean * bounds.largestTimeOverMean <= allowed && 2 * scales.limit * averageTime <= allowed &&
           2 * scales.mean * averageTime <= allowed * std::max(1.0, averageTime);
}

namespace {

// One configuration's interval from its approximation and error bound.
BoundedFigure transientFigure(double value, double error) {
    return {value, std::max(0.0, down(value - error)), up(value + error)};
}

bool withinPrecision(const BoundedFigure& figure, double precision) {
    return figure.high - figure.low <= precision * std::max(1.0, std::fabs(figure.value));
}

// Sums of the values, lows and highs of a figure over the configurations.
struct FigureSums {
    BoundedSum value, low, high;

    void add(const BoundedFigure& figure) {
        value.add(figure.value);
        low.add(figure.low);
        high.add(figure.high);
    }

    BoundedFigure average(int count) const {
        // 0 / count is exact.
        const double lowSum = low.low();
        const double highSum = high.high();
        BoundedFigure figure{value.value() / count, lowSum == 0.0 ? 0.0 : down(lowSum / count),
                             highSum == 0.0 ? 0.0 : up(highSum / count)};
        figure.value = std::min(std::max(figure.value, figure.low), figure.high);
        return figure;
    }
};

void keep(std::vector<double>& values, std::vector<double>& lows, std::vector<double>& highs,
          const BoundedFigure& figure) {
    values.push_back(figure.value);
    lows.push_back(figure.low);
    highs.push_back(figure.high);
}

}  // namespace

bool boundIterate(const TransientSet& set, const LongRunIterate& iterate, const ErrorScales& scales, double precision,
                  bool keepPerConfiguration, LongRunFigures& figures) {
    const int h = set.configurationCount();
    if (keepPerConfiguration) {
        for (auto* values : {&figures.limitValue, &figures.limitLow, &figures.limitHigh, &figures.meanValue,
                             &figures.meanLow, &figures.meanHigh}) {
            values->clear();
            values->reserve(static_cast<size_t>(h));
        }
    }
    FigureSums limitSums, meanSums;
    bool precise = true;
    for (int l = 0; l < h; ++l) {
        BoundedFigure limit{0.0, 0.0, 0.0};
        BoundedFigure mean{0.0, 0.0, 0.0};
        if (set.kind(l) == TransientSet::Marked) {
            limit = {1.0, 1.0, 1.0};
        } else if (set.kind(l) == TransientSet::Transient) {
            const IterateValues& x = iterate.values[l];
            limit = transientFigure(x.limit, up(scales.limit * x.time));
            mean = transientFigure(x.mean, up(scales.mean * x.time));
            precise = precise && withinPrecision(limit, precision) && withinPrecision(mean, precision);
        }
        limitSums.add(limit);
        meanSums.add(mean);
        if (keepPerConfiguration) {
            keep(figures.limitValue, figures.limitLow, figures.limitHigh, limit);
            keep(figures.meanValue, figures.meanLow, figures.meanHigh, mean);
        }
    }
    figures.limit = limitSums.average(h);
    figures.meanSteps = meanSums.average(h);
    return precise && withinPrecision(figures.limit, precision) && withinPrecision(figures.meanSteps, precision);
}
