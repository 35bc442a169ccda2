#include "graphics/repeated_addition.h"

#include <algorithm>
#include <cmath>

// Within one binade every double is a whole multiple q of the binade's spacing
// u, and as long as x + step lands in the same binade the rounded sum is
// (q + m) * u with m = step / u rounded to a whole number. A run of such steps
// is therefore exact integer arithmetic on q, and only the few steps near a
// binade's ends (or a tie that depends on q's parity) need a real addition.
// Each binade costs a handful of real steps, so any count finishes after at
// most a few thousand of them.

namespace {

constexpr int64_t TwoTo52 = int64_t{1} << 52;
constexpr int64_t TwoTo53 = int64_t{1} << 53;

// Below this magnitude the spacing of doubles is the smallest subnormal,
// on both sides of zero alike.
constexpr double UniformGridLimit = 0x1p-1021;
constexpr double UniformGridUnit = 0x1p-1074;

// A fixed point: adding `step` again yields the same value (NaN included).
bool sameValue(double a, double b) {
    if (std::isnan(a)) return std::isnan(b);
    return a == b && std::signbit(a) == std::signbit(b);
}

// Grid of doubles around x: x = q * unit, and every exact sum whose q-value
// lies strictly between low and high rounds onto this same grid.
struct Grid {
    double unit;
    int64_t q;
    int64_t low;
    int64_t high;
};

Grid gridAround(double x) {
    Grid grid;
    if (std::fabs(x) < UniformGridLimit) {
        grid.unit = UniformGridUnit;
        grid.low = -TwoTo53;
        grid.high = TwoTo53;
    } else {
        int exponent = 0;
        std::frexp(x, &exponent);  // |x| in [2^(exponent-1), 2^exponent)
        grid.unit = std::ldexp(1.0, exponent - 53);
        grid.low = x > 0 ? TwoTo52 : -TwoTo53;
        grid.high = x > 0 ? TwoTo53 : -TwoTo52;
    }
    grid.q = static_cast<int64_t>(x / grid.unit);
    return grid;
}

// How many of the next steps (at most `limit`) provably add one and the same
// multiple of the grid spacing; `end` receives the value after them. 0 when
// the next step has to be taken for real.
uint64_t exactRun(double x, double step, uint64_t limit, double& end) {
    const Grid grid = gridAround(x);
    const double t = step / grid.unit;
    if (!(std::fabs(t) < 0x1p51)) return 0;

    const double whole = std::floor(t);
    const double fraction = t - whole;
    int64_t m = static_cast<int64_t>(whole);
    if (fraction > 0.5) {
        ++m;
    } else if (fraction == 0.5) {
        // A tie goes to the even neighbour: from an even q that is always the
        // same one of the two, from an odd q the first step differs.
        if ((grid.q & 1) != 0) return 0;
        if ((m & 1) != 0) ++m;
    }
    if (m == 0) return 0;

    // Every step that starts in [safeLow, safeHigh] has its exact sum strictly
    // inside the binade, so it rounds onto the same grid.
    const int64_t margin = static_cast<int64_t>(std::ceil(std::fabs(t))) + 1;
    const int64_t safeLow = grid.low + margin;
    const int64_t safeHigh = grid.high - margin;
    if (grid.q < safeLow || grid.q > safeHigh) return 0;

    const int64_t room = m > 0 ? (safeHigh - grid.q) / m : (grid.q - safeLow) / -m;
    const uint64_t steps = std::min(static_cast<uint64_t>(room) + 1, limit);
    end = static_cast<double>(grid.q + static_cast<int64_t>(steps) * m) * grid.unit;
    return steps;
}

}  // namespace

double addRepeatedly(double x, double step, uint64_t count) {
    while (count > 0) {
        if (std::isfinite(x) && std::isfinite(step)) {
            double end = 0.0;
            const uint64_t steps = exactRun(x, step, count, end);
            if (steps > 0) {
                x = end;
                count -= steps;
                continue;
            }
        }
        const double next = x + step;
        --count;
        if (sameValue(next, x)) return x;
        x = next;
    }
    return x;
}
