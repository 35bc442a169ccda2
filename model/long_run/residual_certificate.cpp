#include "model/long_run/residual_certificate.h"

#include <algorithm>
#include <cmath>

#include "model/support/bounded_arithmetic.h"
#include "model/support/parallel.h"
#include "model/transient/transient_rows.h"

// The certificate. On the transient configurations R, with Q the one-step
// weights among them (exact reals: the stored doubles) and b the weights
// into S, the limit solves (I - Q) v = b and the mean steps (I - Q) m = v.
//
// 1. Let y > 0 with (I - Q) y >= 1 componentwise. Then Q y <= y - 1 < y, so
//    by the Collatz-Wielandt bound rho(Q) <= max_l (Q y)_l / y_l < 1: I - Q
//    is invertible, N = (I - Q)^-1 = sum of Q^p >= 0, and t = N 1 <= y,
//    since y - t = N ((I - Q) y - 1) >= 0. The limit is then also lim v_p:
//    on R, v_{p+1} = Q v_p + b converges to N b.
// 2. A pass over a vector w > 0 finds g <= ((I - Q) w)_l for every l in R.
//    With g > 0 and c >= 1 / g, y = c w satisfies 1. Any w will do; m~
//    itself where v is near 1, since (I - Q) m = v.
// 3. For any v~, v - v~ = N (b - (I - Q) v~) = N r, so with |r| <= rho_v in
//    every row, |v - v~| <= rho_v t <= rho_v c w.
// 4. For any m~, m - m~ = N (v~ - (I - Q) m~) + N (v - v~). With
//    |v~ - (I - Q) m~| <= rho_m and N y <= |y|_inf t <= |y|_inf y,
//    |m - m~| <= (rho_m + rho_v |y|_inf) c w.
// The residuals themselves are computed in floating point: a row's sum of k
// non-negative products is within dotProductSlack(k) of its computed value
// plus UnderflowSlack, and the one or two operations after it each within u;
// every bound below adds these, and is rounded upwards (see
// bounded_arithmetic.h). Iterates are non-negative, so the products are.

namespace {

constexpr double TwoUlpsAboveOne = 1 + 2 * UnitRoundoff;
constexpr double RoundingOfOneOperation = UnitRoundoff * TwoUlpsAboveOne;

long long blockCount(const TransientSet& set) {
    return (set.configurationCount() + ConfigurationsPerBlock - 1) / ConfigurationsPerBlock;
}

// A lower bound of (I - Q) w in a row, from w_l and the computed sum of
// Q w over the row's k entries.
double excessBelow(double w, double sum, size_t k) {
    const double f = w - sum;
    const double error =
        inflated(RoundingOfOneOperation * std::fabs(f) + dotProductSlack(k) * (sum + UnderflowSlack) + UnderflowSlack);
    return belowWherePositive(f - error);
}

size_t entriesOf(const SparseRows& transitions, int row) { return transitions.end(row) - transitions.begin(row); }

struct BlockBounds {
    ResidualBounds bounds;
    double curveSum = 0.0;
};

// The bounds are kept in locals: the writes to `next` might alias members.
// Without Certify, the pass only estimates: the residuals as computed, no
// rounding, no t / m ratio.
template <bool Certify>
BlockBounds iterateBlock(const SparseRows& transitions, const TransientSet& set, const LongRunIterate& current,
                         LongRunIterate& next, const double* time, long long begin, long long end) {
    const IterateValues* in = current.values.data();
    IterateValues* out = next.values.data();
    const unsigned char* kinds = set.kinds();
    double limitResidual = 0.0, meanResidual = 0.0, timeExcess = HUGE_VAL;
    double largestTime = 0.0, largestTimeOverMean = 0.0, timeSum = 0.0, curveSum = 0.0;
    double computedLimit = 0.0, computedMean = 0.0;
    for (long long l = begin; l < end; ++l) {
        if (kinds[l] != TransientSet::Transient) {
            if (kinds[l] == TransientSet::Marked) curveSum += 1.0;
            continue;
        }
        const int row = static_cast<int>(l);
        double sumV = 0.0, sumM = 0.0;
        transitions.forEachEntry(row, [&](int column, double weight) {
            const IterateValues& x = in[column];
            sumV += weight * x.limit;
            sumM += weight * x.mean;
        });
        const IterateValues x = in[l];
        // r_v = b + Q v~ - v~: the row's whole sum, S counted as 1, less v~;
        // r_m = v~ + Q m~ - m~.
        const double d = sumV - x.limit;
        const double a = x.limit + sumM;
        const double e = a - x.mean;
        out[l] = {sumV, a};
        curveSum += sumV;
        const double w = time ? time[l] : x.mean;
        if (!Certify) {
            limitResidual = largerOrNan(limitResidual, std::fabs(d));
            meanResidual = largerOrNan(meanResidual, std::fabs(e));
            if (!time) {
                timeExcess = smallerOrNan(timeExcess, x.mean - sumM);
                largestTime = std::max(largestTime, w);
                timeSum += w;
            }
            continue;
        }
        computedLimit = largerOrNan(computedLimit, std::fabs(d));
        computedMean = largerOrNan(computedMean, std::fabs(e));
        const size_t k = entriesOf(transitions, row);
        const double slack = dotProductSlack(k);
        limitResidual = largerOrNan(limitResidual, inflated(std::fabs(d) * TwoUlpsAboveOne +
                                                            slack * (sumV + UnderflowSlack) + UnderflowSlack));
        meanResidual = largerOrNan(meanResidual, inflated(std::fabs(e) * TwoUlpsAboveOne + RoundingOfOneOperation * a +
                                                          slack * (sumM + UnderflowSlack) + UnderflowSlack));
        // Without a time vector, m~ certifies the time: (I - Q) m~ from below.
        if (!time) {
            timeExcess = smallerOrNan(timeExcess, excessBelow(x.mean, sumM, k));
            largestTime = std::max(largestTime, w);
            timeSum += w;
        }
        largestTimeOverMean = std::max(largestTimeOverMean, w / std::max(1.0, x.mean));
    }
    BlockBounds block;
    block.bounds = {limitResidual, meanResidual, timeExcess, largestTime, largestTimeOverMean, timeSum};
    block.bounds.computedLimit = computedLimit;
    block.bounds.computedMean = computedMean;
    block.curveSum = curveSum;
    return block;
}

// A certifying pass in compensated arithmetic: each row's sums as if in
// twice the precision and rounded once, so that the next iterate is the
// exact step rounded once and the residuals are bounded within about u of
// their exact values rather than k u of the row's weight. Value iteration
// takes such passes once rounding is what holds its intervals back.
BlockBounds iterateBlockCompensated(const SparseRows& transitions, const TransientSet& set,
                                    const LongRunIterate& current, LongRunIterate& next, const double* time,
                                    long long begin, long long end) {
    const IterateValues* in = current.values.data();
    IterateValues* out = next.values.data();
    const unsigned char* kinds = set.kinds();
    double limitResidual = 0.0, meanResidual = 0.0, timeExcess = HUGE_VAL;
    double computedLimit = 0.0, computedMean = 0.0;
    double largestTime = 0.0, largestTimeOverMean = 0.0, timeSum = 0.0, curveSum = 0.0;
    for (long long l = begin; l < end; ++l) {
        if (kinds[l] != TransientSet::Transient) {
            if (kinds[l] == TransientSet::Marked) curveSum += 1.0;
            continue;
        }
        const int row = static_cast<int>(l);
        CompensatedDot sumV, sumM;
        transitions.forEachEntry(row, [&](int column, double weight) {
            sumV.add(weight, in[column].limit);
            sumM.add(weight, in[column].mean);
        });
        const IterateValues x = in[l];
        sumM.add(x.limit);
        out[l] = {sumV.value(), sumM.value()};
        curveSum += out[l].limit;
        // r_v = b + Q v~ - v~ and r_m = v~ + Q m~ - m~, each one more term.
        CompensatedDot d = sumV, e = sumM;
        d.add(-x.limit);
        e.add(-x.mean);
        computedLimit = largerOrNan(computedLimit, std::fabs(d.value()));
        computedMean = largerOrNan(computedMean, std::fabs(e.value()));
        limitResidual = largerOrNan(limitResidual, up(std::fabs(d.value()) + d.error()));
        meanResidual = largerOrNan(meanResidual, up(std::fabs(e.value()) + e.error()));
        const double w = time ? time[l] : x.mean;
        if (!time) {
            // Without a time vector, m~ certifies the time: (I - Q) m~ from
            // below, from Q m~ = sumM - v~ summed within its error.
            const double qm = up(up(sumM.value() - x.limit) + up(sumM.error()));
            timeExcess = smallerOrNan(timeExcess, belowWherePositive(x.mean - qm));
            largestTime = std::max(largestTime, w);
            timeSum += w;
        }
        largestTimeOverMean = std::max(largestTimeOverMean, w / std::max(1.0, x.mean));
    }
    BlockBounds block;
    block.bounds = {limitResidual, meanResidual, timeExcess, largestTime, largestTimeOverMean, timeSum};
    block.bounds.computedLimit = computedLimit;
    block.bounds.computedMean = computedMean;
    block.curveSum = curveSum;
    return block;
}

// One pass over a vector w: (I - Q) w from below, w's largest value and sum,
// and, when `next` is given, Q w + 1 on R.
struct TimeBlock {
    double excess = HUGE_VAL;
    double largest = 0.0;
    double sum = 0.0;
};

TimeBlock timeBlock(const SparseRows& transitions, const TransientSet& set, const double* time, double* next,
                    long long begin, long long end) {
    TimeBlock block;
    sumTransientRows<1>(transitions, set, {time}, begin, end, [&](int l, const std::array<double, 1>& sums) {
        block.excess = smallerOrNan(block.excess, excessBelow(time[l], sums[0], entriesOf(transitions, l)));
        block.largest = std::max(block.largest, time[l]);
        block.sum += time[l];
        if (next) next[l] = sums[0] + 1.0;
    });
    return block;
}

TimeBlock timePass(const SparseRows& transitions, const TransientSet& set, const double* time, double* next,
                   int jobs) {
    std::vector<TimeBlock> perBlock(static_cast<size_t>(blockCount(set)));
    forEachChunk(jobs, set.configurationCount(), ConfigurationsPerBlock,
                 [&](int, long long block, long long begin, long long end) {
                     perBlock[block] = timeBlock(transitions, set, time, next, begin, end);
                 });
    TimeBlock whole;
    for (const TimeBlock& block : perBlock) {
        whole.excess = smallerOrNan(whole.excess, block.excess);
        whole.largest = std::max(whole.largest, block.largest);
        whole.sum += block.sum;
    }
    return whole;
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

std::vector<double> LongRunIterate::means() const {
    std::vector<double> means(values.size());
    for (size_t l = 0; l < values.size(); ++l) means[l] = values[l].mean;
    return means;
}

TimeCertificate certifyTime(const SparseRows& transitions, const TransientSet& set, std::vector<double> time,
                            int jobs) {
    const TimeBlock pass = timePass(transitions, set, time.data(), nullptr, jobs);
    TimeCertificate certificate;
    certificate.time = std::move(time);
    certificate.excess = pass.excess;
    certificate.largest = pass.largest;
    certificate.sum = pass.sum;
    return certificate;
}

double iterateTime(const SparseRows& transitions, const TransientSet& set, const std::vector<double>& time,
                   std::vector<double>& next, int jobs) {
    return timePass(transitions, set, time.data(), next.data(), jobs).excess;
}

ResidualBounds iterateOnce(const SparseRows& transitions, const TransientSet& set, const LongRunIterate& current,
                           LongRunIterate& next, const TimeCertificate* time, std::vector<double>* curveSums,
                           int jobs, bool certify, bool compensated) {
    const long long blocks = blockCount(set);
    std::vector<BlockBounds> perBlock(static_cast<size_t>(blocks));
    const double* timeValues = time ? time->time.data() : nullptr;
    forEachChunk(jobs, set.configurationCount(), ConfigurationsPerBlock,
                 [&](int, long long block, long long begin, long long end) {
                     perBlock[block] =
                         compensated ? iterateBlockCompensated(transitions, set, current, next, timeValues, begin, end)
                         : certify   ? iterateBlock<true>(transitions, set, current, next, timeValues, begin, end)
                                     : iterateBlock<false>(transitions, set, current, next, timeValues, begin, end);
                 });
    // Maxima and minima do not depend on the order; the sums go in block order.
    ResidualBounds bounds;
    if (curveSums) curveSums->assign(static_cast<size_t>(blocks), 0.0);
    for (long long b = 0; b < blocks; ++b) {
        const ResidualBounds& block = perBlock[b].bounds;
        bounds.limit = largerOrNan(bounds.limit, block.limit);
        bounds.mean = largerOrNan(bounds.mean, block.mean);
        bounds.timeExcess = smallerOrNan(bounds.timeExcess, block.timeExcess);
        bounds.largestTime = std::max(bounds.largestTime, block.largestTime);
        bounds.largestTimeOverMean = std::max(bounds.largestTimeOverMean, block.largestTimeOverMean);
        bounds.timeSum += block.timeSum;
        bounds.computedLimit = largerOrNan(bounds.computedLimit, block.computedLimit);
        bounds.computedMean = largerOrNan(bounds.computedMean, block.computedMean);
        if (curveSums) (*curveSums)[b] = perBlock[b].curveSum;
    }
    if (time) {
        bounds.timeExcess = time->excess;
        bounds.largestTime = time->largest;
        bounds.timeSum = time->sum;
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

bool boundIterate(const TransientSet& set, const LongRunIterate& iterate, const TimeCertificate* time,
                  const ErrorScales& scales, double precision, bool keepPerConfiguration, LongRunFigures& figures) {
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
            const double w = time ? time->time[l] : x.mean;
            limit = transientFigure(x.limit, up(scales.limit * w));
            mean = transientFigure(x.mean, up(scales.mean * w));
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
