#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <random>

#include "model/analysis.h"
#include "model/long_run/long_run.h"
#include "model/long_run/residual_certificate.h"
#include "model/long_run/success_curves.h"
#include "model/network/network.h"
#include "model/support/bounded_arithmetic.h"
#include "model/support/engine_error.h"
#include "model/support/work_progress.h"
#include "model/transient/direct_solve.h"

namespace {

using Rows = std::vector<std::vector<std::pair<int, double>>>;

LongRunOptions withMethod(LongRunMethod method, double precision = 1e-9) {
    LongRunOptions options;
    options.method = method;
    options.precision = precision;
    options.keepPerConfiguration = true;
    return options;
}

LongRunFigures settle(const Rows& rows, const std::vector<bool>& marked, const LongRunOptions& options) {
    return computeLongRun(SparseRows::fromRows(rows), marked, options);
}

// A random network as the window leaves it, with certain moves (every alpha
// and beta 1.0) and gammas from 1/8 to 7/8, whose chain has S and transient
// configurations and is small enough for a direct solve: dense links, since
// S comes from nodes that can all pair off.
NetworkModel settlingNetwork(std::mt19937& random) {
    for (;;) {
        NetworkModel network;
        const int nodes = 3 + static_cast<int>(random() % 5);
        network.resize(nodes);
        const unsigned density = 6 + random() % 5;
        for (int i = 0; i < nodes; ++i)
            for (int j = 0; j < i; ++j) network.links[i][j] = network.links[j][i] = random() % 10 < density;
        for (int i = 0; i < nodes; ++i) network.params[NetworkModel::Gamma][i] = (8 + random() % 49) / 64.0;
        const NeighbourLists neighbours = neighbourLists(network);
        const long long count = configurationCount(neighbours, 3000);
        if (count < 0) continue;
        const MarkovChain chain = buildMarkovChain(ChainRules::Window, network, neighbours, static_cast<int>(count), 1);
        if (chain.markedCount > 0 && chain.markedCount < count) return network;
    }
}

MarkovChain chainOf(const NetworkModel& network) {
    const NeighbourLists neighbours = neighbourLists(network);
    return buildMarkovChain(ChainRules::Window, network, neighbours, static_cast<int>(configurationCount(neighbours, 1 << 30)), 1);
}

// The same network with some attempts uncertain: its rows lose weight and
// no configuration keeps a certain successor, so S is taken from the
// network with certain moves.
MarkovChain subStochasticChain(const NetworkModel& certain, std::mt19937& random) {
    NetworkModel network = certain;
    for (int i = 0; i < network.nodeCount; ++i)
        for (const int parameter : {NetworkModel::Alpha, NetworkModel::Beta})
            if (random() % 2 == 0) network.params[parameter][i] = (8 + random() % 56) / 64.0;
    MarkovChain chain = chainOf(network);
    chain.marked = chainOf(certain).marked;
    return chain;
}

void expectInside(double exact, double low, double high, const std::string& what) {
    EXPECT_LE(low, exact) << what;
    EXPECT_GE(high, exact) << what;
}

// Both intervals hold the exact value, so they meet.
void expectMeeting(double low, double high, double otherLow, double otherHigh, const std::string& what) {
    EXPECT_LE(std::max(low, otherLow), std::min(high, otherHigh))
        << what << ": [" << low << ", " << high << "] and [" << otherLow << ", " << otherHigh << "]";
}

// Every configuration's value of `reference`, a far more accurate solve,
// inside the intervals of `figures`, and the intervals of the two meeting.
void expectContains(const LongRunFigures& figures, const LongRunFigures& reference, const std::string& what) {
    ASSERT_EQ(figures.limitValue.size(), reference.limitValue.size());
    for (size_t l = 0; l < figures.limitValue.size(); ++l) {
        const std::string where = what + " configuration " + std::to_string(l);
        expectInside(reference.limitValue[l], figures.limitLow[l], figures.limitHigh[l], where + " limit");
        expectInside(reference.meanValue[l], figures.meanLow[l], figures.meanHigh[l], where + " mean");
        expectMeeting(figures.limitLow[l], figures.limitHigh[l], reference.limitLow[l], reference.limitHigh[l],
                      where + " limits");
        expectMeeting(figures.meanLow[l], figures.meanHigh[l], reference.meanLow[l], reference.meanHigh[l],
                      where + " means");
    }
    expectInside(reference.limit.value, figures.limit.low, figures.limit.high, what + " averaged limit");
    expectInside(reference.meanSteps.value, figures.meanSteps.low, figures.meanSteps.high, what + " averaged mean");
}

void expectPrecise(const BoundedFigure& figure, double precision) {
    EXPECT_LE(figure.low, figure.value);
    EXPECT_LE(figure.value, figure.high);
    EXPECT_LE(figure.high - figure.low, precision * std::max(1.0, std::fabs(figure.value)));
}

// Each method against the sparse LU on chains the window makes: every
// value of one inside the other's intervals. Value iteration approaches
// from below, so a bound that claims too much shows at once.
void compareMethods(bool certainMoves, unsigned seed) {
    std::mt19937 random(seed);
    for (int trial = 0; trial < 16; ++trial) {
        const NetworkModel network = settlingNetwork(random);
        const MarkovChain chain = certainMoves ? chainOf(network) : subStochasticChain(network, random);
        const LongRunFigures direct =
            computeLongRun(chain.transitions, chain.marked, withMethod(LongRunMethod::Direct));
        if (direct.transientCount > 0) {
            EXPECT_EQ(direct.method, "direct");
        }
        expectPrecise(direct.limit, 1e-9);
        expectPrecise(direct.meanSteps, 1e-9);
        for (const LongRunMethod method : {LongRunMethod::Iteration, LongRunMethod::Krylov}) {
            const LongRunFigures iterated = computeLongRun(chain.transitions, chain.marked, withMethod(method));
            const std::string what = "trial " + std::to_string(trial) + " " + iterated.method;
            EXPECT_EQ(iterated.method, method == LongRunMethod::Krylov ? "krylov" : "iteration");
            expectContains(iterated, direct, what);
            expectPrecise(iterated.limit, 1e-9);
            expectPrecise(iterated.meanSteps, 1e-9);
        }
    }
}

// A left-leaning walk on 0..L-1 that leaves at L, up with 1/4 and down with
// 3/4 (staying put at 0): the expected steps from i to L are
// 3^(L+1) - 3^(i+1) - 2 (L - i), and L is reached surely.
Rows ladder(int length) {
    Rows rows(static_cast<size_t>(length) + 1);
    rows[0] = {{0, 0.75}, {1, 0.25}};
    for (int i = 1; i < length; ++i) rows[i] = {{i - 1, 0.75}, {i + 1, 0.25}};
    rows[length] = {{length, 1.0}};
    return rows;
}

double ladderSteps(int length, int from) {
    return std::pow(3.0, length + 1) - std::pow(3.0, from + 1) - 2.0 * (length - from);
}

}  // namespace

TEST(LongRun, IterationsAgreeWithTheDirectSolveOnCertainMoves) { compareMethods(true, 11); }

TEST(LongRun, IterationsAgreeWithTheDirectSolveOnSubStochasticRows) { compareMethods(false, 23); }

// The curve from the success curves: the mean is the sum of what is still
// to arrive, and the quantile steps are where the same curve crosses.
TEST(LongRun, FiguresMatchTheSuccessCurve) {
    std::mt19937 random(5);
    int settled = 0;
    for (int trial = 0; trial < 8; ++trial) {
        const MarkovChain chain = chainOf(settlingNetwork(random));
        LongRunOptions options = withMethod(trial % 3 == 0 ? LongRunMethod::Krylov : LongRunMethod::Automatic);
        options.quantiles = std::vector<double>{0.25, 0.5, 0.9, 0.99};
        const LongRunFigures figures = computeLongRun(chain.transitions, chain.marked, options);
        const int horizon = 1500;
        const SuccessCurves curves = computeSuccessCurves(chain.transitions, chain.marked, horizon, true, 1);
        const double limit = figures.limit.value;
        if (!(limit > 0) || limit - curves.average[horizon] > 1e-13) continue;
        ++settled;
        // What is still to arrive after the horizon is below 1e-13 a step.
        double still = 0.0;
        for (int p = 0; p < horizon; ++p) still += curves.average[horizon] - curves.average[p];
        EXPECT_NEAR(still, figures.meanSteps.value, 1e-8 * std::max(1.0, figures.meanSteps.value)) << trial;
        // The curve never passes the limit, and its average gap is below
        // 1e-13, so no configuration's is above h 1e-13.
        const double gap = curves.configurationCount * 1e-13;
        for (int l = 0; l < curves.configurationCount; ++l)
            expectInside(curves.value(horizon, l), figures.limitLow[l] - gap, figures.limitHigh[l] + 1e-15,
                         "trial " + std::to_string(trial));
        for (const QuantileSteps& steps : figures.quantiles) {
            ASSERT_GE(steps.value, 0);
            ASSERT_LE(steps.value, horizon);
            EXPECT_GE(curves.average[steps.value], steps.quantile * limit) << trial;
            if (steps.value > 0) {
                EXPECT_LT(curves.average[steps.value - 1], steps.quantile * limit) << trial;
            }
            EXPECT_LE(steps.low, steps.value);
            EXPECT_LE(steps.value, steps.high);
        }
    }
    EXPECT_GE(settled, 6);
}

// With a loose precision the limit's interval is wide, and the quantile
// steps' intervals must still hold the crossings of a precise run.
TEST(LongRun, QuantileIntervalsFollowTheLimitsInterval) {
    std::mt19937 random(8);
    int widened = 0;
    for (int trial = 0; trial < 6; ++trial) {
        const MarkovChain chain = chainOf(settlingNetwork(random));
        LongRunOptions precise = withMethod(LongRunMethod::Direct, 1e-12);
        precise.quantiles = std::vector<double>{0.5, 0.9, 0.99};
        LongRunOptions loose = withMethod(LongRunMethod::Iteration, 0.05);
        loose.quantiles = precise.quantiles;
        const LongRunFigures exact = computeLongRun(chain.transitions, chain.marked, precise);
        const LongRunFigures rough = computeLongRun(chain.transitions, chain.marked, loose);
        for (size_t k = 0; k < exact.quantiles.size(); ++k) {
            EXPECT_EQ(exact.quantiles[k].low, exact.quantiles[k].high);
            EXPECT_LE(rough.quantiles[k].low, exact.quantiles[k].value);
            EXPECT_GE(rough.quantiles[k].high, exact.quantiles[k].value);
            widened += rough.quantiles[k].high > rough.quantiles[k].low;
        }
    }
    EXPECT_GT(widened, 0);
}

TEST(LongRun, SlowLadderIsBoundedOrRefusedNeverWrong) {
    const int length = 26;
    const Rows rows = ladder(length);
    std::vector<bool> marked(length + 1, false);
    marked[length] = true;

    // A loose precision: the direct solve's certificate holds the closed forms.
    const LongRunFigures loose = settle(rows, marked, withMethod(LongRunMethod::Direct, 0.1));
    EXPECT_GT(ladderSteps(length, 0), 1e12);
    double total = 0.0;
    for (int i = 0; i < length; ++i) {
        expectInside(1.0, loose.limitLow[i], loose.limitHigh[i], "limit " + std::to_string(i));
        expectInside(ladderSteps(length, i), loose.meanLow[i], loose.meanHigh[i], "mean " + std::to_string(i));
        total += ladderSteps(length, i);
    }
    expectInside(total / (length + 1), loose.meanSteps.low, loose.meanSteps.high, "averaged mean");

    // Asked for more than it can prove, or within too few passes, every
    // method refuses with the interval it reached, which holds the truth.
    for (const LongRunMethod method : {LongRunMethod::Direct, LongRunMethod::Iteration, LongRunMethod::Krylov}) {
        LongRunOptions options = withMethod(method);
        options.maxIterations = 400;
        options.quantiles = std::vector<double>{0.5};
        try {
            settle(rows, marked, options);
            ADD_FAILURE() << "an answer from a chain that settles after 7.6e12 steps";
        } catch (const LongRunCapReached& e) {
            EXPECT_EQ(std::string(e.what()).find('\n'), std::string::npos);
            expectInside(1.0, e.limit().low, e.limit().high, e.what());
            expectInside(total / (length + 1), e.meanSteps().low, e.meanSteps().high, e.what());
        }
    }
    // Stopped before any pass was certified, it knows nothing and says so.
    LongRunOptions once = withMethod(LongRunMethod::Iteration);
    once.maxIterations = 1;
    try {
        settle(rows, marked, once);
        ADD_FAILURE() << "an answer after one pass";
    } catch (const LongRunCapReached& e) {
        EXPECT_NE(std::string(e.what()).find(": limit in [0, inf], mean_steps in [0, inf]"), std::string::npos)
            << e.what();
        EXPECT_EQ(e.limit().high, HUGE_VAL);
        EXPECT_EQ(e.meanSteps().low, 0.0);
    }
}

// 0 and 1 circle for ever without reaching S = {3}; 2 leaves for S or for
// the circle with 1/4 each and stays with 1/2, so its limit is 1/2 and its
// mean steps sum_p 2^-p / 2 = 1. The averaged curve is
// (1 + (1 - 2^-p) / 2) / 4, reaching 0.9 of its limit at step 2 and 0.99 at 6.
TEST(LongRun, UnreachableComponentsAndClosedForms) {
    const Rows rows = {{{1, 1.0}}, {{0, 1.0}}, {{0, 0.25}, {2, 0.5}, {3, 0.25}}, {{3, 1.0}}};
    for (const LongRunMethod method : {LongRunMethod::Direct, LongRunMethod::Iteration, LongRunMethod::Krylov}) {
        LongRunOptions options = withMethod(method, 1e-12);
        options.quantiles = std::vector<double>{0.9, 0.99, 1.0};
        const LongRunFigures figures = settle(rows, {false, false, false, true}, options);
        EXPECT_EQ(figures.configurationCount, 4);
        EXPECT_EQ(figures.markedCount, 1);
        EXPECT_EQ(figures.transientCount, 1);
        for (int l : {0, 1}) {
            EXPECT_EQ(figures.limitHigh[l], 0.0);
            EXPECT_EQ(figures.meanHigh[l], 0.0);
        }
        expectInside(0.5, figures.limitLow[2], figures.limitHigh[2], figures.method);
        expectInside(1.0, figures.meanLow[2], figures.meanHigh[2], figures.method);
        expectInside(0.375, figures.limit.low, figures.limit.high, figures.method);
        expectInside(0.25, figures.meanSteps.low, figures.meanSteps.high, figures.method);
        ASSERT_EQ(figures.quantiles.size(), 3u);
        for (size_t k = 0; k < 3; ++k) EXPECT_EQ(figures.quantiles[k].quantile, options.quantiles[k]);
        EXPECT_EQ(figures.quantiles[0].value, 2);
        EXPECT_EQ(figures.quantiles[0].high, 2);
        EXPECT_EQ(figures.quantiles[1].low, 6);
        EXPECT_EQ(figures.quantiles[1].high, 6);
        // 2 keeps weight on itself for ever: the limit is never reached.
        EXPECT_EQ(figures.quantiles[2].value, NeverReached);
    }
}

// 0 stays with 1/2 and leaves for S = {1} with 1/2: the averaged curve is
// 1 - 2^-p / 2, reaching 1 - 1e-14 of its limit 1 at step 46. The curve
// cannot bracket a crossing whose share of the limit's upper bound lies
// above 1: it is unresolved, low before the exact crossing, and given up
// long before the cap, while the limit and mean steps are certified. A
// share the precision allows is still resolved by the same curve.
TEST(LongRun, CrossingsTheCurveCannotBracketAreUnresolved) {
    const Rows rows = {{{0, 0.5}, {1, 0.5}}, {{1, 1.0}}};
    LongRunOptions options = withMethod(LongRunMethod::Iteration, 1e-9);
    options.quantiles = std::vector<double>{1 - 1e-14, 0.7};
    options.maxIterations = 5000;
    const LongRunFigures figures = settle(rows, {false, true}, options);
    expectInside(1.0, figures.limit.low, figures.limit.high, "limit");
    expectInside(1.0, figures.meanSteps.low, figures.meanSteps.high, "mean steps");
    ASSERT_EQ(figures.quantiles.size(), 2u);
    const QuantileSteps& unresolved = figures.quantiles[0];
    EXPECT_FALSE(unresolved.resolved);
    EXPECT_LE(unresolved.low, 46);
    EXPECT_EQ(unresolved.high, NeverReached);
    EXPECT_LT(figures.iterations, 500);
    // Progress counts the passes against the cap.
    WorkProgress progress;
    const LongRunFigures again = computeLongRun(SparseRows::fromRows(rows), {false, true}, options, &progress);
    EXPECT_EQ(progress.total(), options.maxIterations);
    EXPECT_EQ(progress.done(), again.iterations);
    // 1 - 2^-p / 2 >= 0.7 first at p = 1.
    EXPECT_TRUE(figures.quantiles[1].resolved);
    EXPECT_EQ(figures.quantiles[1].value, 1);
    EXPECT_EQ(figures.quantiles[1].high, 1);
}

// A factorisation that may not fit in the memory left is refused, naming
// itself, when a direct solve is asked for, and replaced by iterations when
// the choice is automatic; the bound holds every entry of L and U.
TEST(LongRun, DirectSolvesStayWithinTheirMemory) {
    std::mt19937 random(5);
    const MarkovChain chain = chainOf(settlingNetwork(random));
    const long long transient = std::count(chain.marked.begin(), chain.marked.end(), false);
    EXPECT_GE(DirectSolver::memoryBound(transient, 0), 1.5 * transient * transient * (sizeof(double) + sizeof(int)));
    LongRunOptions options = withMethod(LongRunMethod::Direct);
    options.maxDirectBytes = 4096;
    try {
        computeLongRun(chain.transitions, chain.marked, options);
        ADD_FAILURE() << "a factorisation past its memory";
    } catch (const EngineError& e) {
        EXPECT_EQ(e.kind(), EngineError::BeyondLimit);
        EXPECT_NE(std::string(e.what()).find("the LU factorisation of a direct solve of"), std::string::npos)
            << e.what();
        EXPECT_NE(std::string(e.what()).find("more than the 4.0 KB left beside the chain"), std::string::npos)
            << e.what();
    }
    options.method = LongRunMethod::Automatic;
    const LongRunFigures iterated = computeLongRun(chain.transitions, chain.marked, options);
    EXPECT_NE(iterated.method, "direct");
    options.maxDirectBytes = HUGE_VAL;
    const LongRunFigures direct = computeLongRun(chain.transitions, chain.marked, options);
    EXPECT_EQ(direct.method, "direct");
    EXPECT_LE(iterated.limit.low, direct.limit.high);
    EXPECT_LE(direct.limit.low, iterated.limit.high);
}

// The ring of twelve of docs/examples, whose configurations settle in about
// 19 steps, is proven at the finest precision allowed by every method, the
// intervals agreeing. A chain that takes some thousand steps to settle
// cannot be proven that finely in doubles, and says that rounding, not its
// pace, stops it, with intervals that hold the closed forms.
TEST(LongRun, TheFinestPrecisionHoldsOnChainsThatAreNotSlow) {
    NetworkModel ring;
    ring.resize(12);
    for (int i = 0; i < 12; ++i) {
        ring.links[i][(i + 1) % 12] = ring.links[(i + 1) % 12][i] = 1;
        ring.params[NetworkModel::Gamma][i] = (i % 7 + 1) / 8.0;
    }
    const MarkovChain chain = chainOf(ring);
    std::vector<LongRunFigures> figures;
    for (const LongRunMethod method : {LongRunMethod::Automatic, LongRunMethod::Direct, LongRunMethod::Iteration}) {
        LongRunOptions options = withMethod(method, FinestLongRunPrecision);
        options.keepPerConfiguration = false;
        figures.push_back(computeLongRun(chain.transitions, chain.marked, options));
        const LongRunFigures& last = figures.back();
        EXPECT_LE(last.meanSteps.high - last.meanSteps.low, FinestLongRunPrecision * last.meanSteps.value);
        EXPECT_LE(last.limit.high - last.limit.low, FinestLongRunPrecision);
        for (const LongRunFigures& other : figures) {
            EXPECT_LE(other.limit.low, last.limit.high);
            EXPECT_LE(last.meanSteps.low, other.meanSteps.high);
            EXPECT_LE(other.meanSteps.low, last.meanSteps.high);
        }
    }
    EXPECT_EQ(figures[0].method, "krylov");

    // A ladder that climbs with 3/10 and falls back with 7/10 takes some
    // ten thousand steps to reach its top from the bottom.
    const int length = 8;
    Rows slow(length + 1);
    slow[0] = {{0, 0.7}, {1, 0.3}};
    for (int i = 1; i < length; ++i) slow[i] = {{i - 1, 0.7}, {i + 1, 0.3}};
    slow[length] = {{length, 1.0}};
    std::vector<bool> top(length + 1, false);
    top[length] = true;
    const LongRunFigures coarse = settle(slow, top, withMethod(LongRunMethod::Direct, 1e-9));
    EXPECT_GT(coarse.meanSteps.value, 1000.0);
    try {
        settle(slow, top, withMethod(LongRunMethod::Direct, FinestLongRunPrecision));
        ADD_FAILURE() << "1e-13 proven on a chain of thousands of steps";
    } catch (const LongRunCapReached& e) {
        EXPECT_NE(std::string(e.what()).find("precision 1e-13 is finer than the rounding of doubles lets the direct "
                                             "solver prove on this chain"),
                  std::string::npos)
            << e.what();
        EXPECT_LE(e.limit().low, coarse.limit.high);
        EXPECT_LE(coarse.meanSteps.low, e.meanSteps().high);
        EXPECT_LE(e.meanSteps().low, coarse.meanSteps.high);
        EXPECT_LT(e.meanSteps().high - e.meanSteps().low, 1e-11 * coarse.meanSteps.value);
    }
}

TEST(LongRun, ChainsWithoutCyclesOrWithoutS) {
    // 0 -> 1 -> 2 -> S in certain steps: exact means 3, 2, 1 and the whole
    // limit reached after three steps.
    LongRunOptions options = withMethod(LongRunMethod::Iteration);
    options.quantiles = std::vector<double>{0.5, 1.0};
    const LongRunFigures path = settle({{{1, 1.0}}, {{2, 1.0}}, {{3, 1.0}}, {{3, 1.0}}}, {false, false, false, true},
                                       options);
    for (int l = 0; l < 3; ++l) expectInside(3.0 - l, path.meanLow[l], path.meanHigh[l], "mean");
    EXPECT_EQ(path.quantiles[0].value, 1);
    EXPECT_EQ(path.quantiles[1].value, 3);
    EXPECT_EQ(path.quantiles[1].high, 3);
    // The same length through 0 -> 2 -> 1 -> S, with a stored zero weight
    // from 0 to 1 that is no way there.
    const LongRunFigures zero = settle({{{1, 0.0}, {2, 1.0}}, {{3, 1.0}}, {{1, 1.0}}, {{3, 1.0}}},
                                       {false, false, false, true}, options);
    EXPECT_EQ(zero.quantiles[1].value, 3);
    EXPECT_EQ(zero.quantiles[1].low, 3);

    // Every path through 0 < 1 < 2 < 3, each of which may jump ahead or
    // leave for S = {6}: the longest is 0 1 2 3, so four steps empty the
    // block, and a stored zero weight from 3 back to 0 is no cycle. A cycle
    // between 4 and 5 beside it keeps some weight for ever.
    Rows ladderOfJumps = {{{1, 0.2}, {2, 0.2}, {3, 0.2}, {6, 0.4}},
                          {{2, 0.3}, {3, 0.3}, {6, 0.4}},
                          {{3, 0.5}, {6, 0.5}},
                          {{0, 0.0}, {6, 1.0}},
                          {{6, 1.0}},
                          {{6, 1.0}},
                          {{6, 1.0}}};
    const std::vector<bool> six = {false, false, false, false, false, false, true};
    options.quantiles = std::vector<double>{1.0};
    const LongRunFigures jumps = settle(ladderOfJumps, six, options);
    EXPECT_EQ(jumps.quantiles[0].value, 4);
    EXPECT_EQ(jumps.quantiles[0].low, 4);
    ladderOfJumps[4] = {{5, 0.5}, {6, 0.5}};
    ladderOfJumps[5] = {{4, 0.5}, {6, 0.5}};
    const LongRunFigures cycle = settle(ladderOfJumps, six, options);
    EXPECT_EQ(cycle.quantiles[0].value, NeverReached);
    EXPECT_EQ(cycle.quantiles[0].high, NeverReached);
    options.quantiles = std::vector<double>{0.5, 1.0};

    // A periodic pair: 0 -> 1 surely, 1 -> 0 or S by halves. Expected steps
    // 4 from 0 and 3 from 1.
    const LongRunFigures pair = settle({{{1, 1.0}}, {{0, 0.5}, {2, 0.5}}, {{2, 1.0}}}, {false, false, true}, options);
    expectInside(4.0, pair.meanLow[0], pair.meanHigh[0], "periodic 0");
    expectInside(3.0, pair.meanLow[1], pair.meanHigh[1], "periodic 1");
    EXPECT_EQ(pair.quantiles[1].value, NeverReached);

    // Without S nothing is ever reached, and that is an answer, not an error.
    const LongRunFigures none = settle({{{1, 0.5}, {0, 0.5}}, {{0, 1.0}}}, {false, false}, options);
    EXPECT_EQ(none.limit.high, 0.0);
    EXPECT_EQ(none.meanSteps.high, 0.0);
    EXPECT_EQ(none.method, "graph");
    for (const QuantileSteps& steps : none.quantiles) EXPECT_EQ(steps.high, NeverReached);
}

// Two blocks of configurations or more, so that the jobs share the rows.
TEST(LongRun, SameBitsForAnyNumberOfJobs) {
    NetworkModel complete;
    complete.resize(6);
    for (int i = 0; i < 6; ++i) {
        for (int j = 0; j < 6; ++j) complete.links[i][j] = i != j;
        complete.params[NetworkModel::Gamma][i] = (1 + i % 7) / 8.0;
    }
    const NeighbourLists neighbours = neighbourLists(complete);
    const MarkovChain chain =
        buildMarkovChain(ChainRules::Window, complete, neighbours, static_cast<int>(configurationCount(neighbours, 1 << 20)), 1);
    ASSERT_GT(chain.configurations.count, 8192);
    for (const LongRunMethod method : {LongRunMethod::Iteration, LongRunMethod::Krylov}) {
        LongRunOptions options = withMethod(method);
        options.quantiles = std::vector<double>{0.5, 0.99};
        const LongRunFigures one = computeLongRun(chain.transitions, chain.marked, options);
        options.jobs = 3;
        const LongRunFigures three = computeLongRun(chain.transitions, chain.marked, options);
        EXPECT_EQ(one.iterations, three.iterations);
        EXPECT_EQ(one.limitValue, three.limitValue);
        EXPECT_EQ(one.meanHigh, three.meanHigh);
        EXPECT_EQ(one.meanSteps.low, three.meanSteps.low);
        EXPECT_EQ(one.quantiles[1].value, three.quantiles[1].value);
    }
}

TEST(LongRun, BadOptionsAreRefused) {
    const SparseRows rows = SparseRows::fromRows({{{0, 1.0}}});
    for (const double precision : {0.0, -1.0, 1e-16, std::nan(""), HUGE_VAL}) {
        LongRunOptions options;
        options.precision = precision;
        EXPECT_THROW(computeLongRun(rows, {true}, options), EngineError) << precision;
    }
    for (const double q : {0.0, -0.5, 1.5, std::nan("")}) {
        LongRunOptions options;
        options.quantiles = std::vector<double>{0.5, q};
        EXPECT_THROW(computeLongRun(rows, {true}, options), EngineError) << q;
    }
}

// Sums of multiples of 2^-60 are exact in 128-bit integers.
TEST(LongRun, BoundedSumsHoldTheExactSum) {
    std::mt19937_64 random(3);
    for (int trial = 0; trial < 20; ++trial) {
        BoundedSum sum;
        __int128 exact = 0;
        const int count = 1 + static_cast<int>(random() % 200000);
        const int scale = static_cast<int>(random() % 40);
        // 40-bit units: their sum stays exact in a long double, not in a double.
        for (int k = 0; k < count; ++k) {
            const unsigned long long units = (random() >> 24) >> (random() % 2 ? scale : 0);
            exact += units;
            sum.add(std::ldexp(static_cast<double>(units), -60));
        }
        const long double exactValue = std::ldexp(static_cast<long double>(exact), -60);
        EXPECT_LE(static_cast<long double>(sum.low()), exactValue);
        EXPECT_GE(static_cast<long double>(sum.high()), exactValue);
        EXPECT_LE(sum.high() - sum.low(), 1e-15 * sum.value());
    }
}

// Dot products of doubles of 29 bits, whose products a double cannot hold
// but 128-bit integers and a long double can, with terms of both signs
// that cancel: the compensated
// value lies within its error bound of the exact one, and the bound is a few
// roundings of the result, where a plain sum's error is many.
TEST(LongRun, CompensatedDotProductsHoldTheExactValue) {
    std::mt19937_64 random(17);
    int plainWorse = 0;
    for (int trial = 0; trial < 2000; ++trial) {
        CompensatedDot dot;
        double plain = 0.0;
        __int128 exact = 0;
        const int count = 1 + static_cast<int>(random() % 32);
        for (int k = 0; k < count; ++k) {
            const long long a = static_cast<long long>(random() % (1 << 29)) - (k % 2 ? 1 << 29 : 0);
            const long long b = static_cast<long long>(random() % (1 << 29));
            exact += static_cast<__int128>(a) * b;
            const double x = std::ldexp(static_cast<double>(a), -26), y = std::ldexp(static_cast<double>(b), -20);
            dot.add(x, y);
            plain += x * y;
        }
        const long double exactValue = std::ldexp(static_cast<long double>(exact), -46);
        const long double miss = std::fabs(static_cast<long double>(dot.value()) - exactValue);
        ASSERT_LE(miss, static_cast<long double>(dot.error())) << trial;
        EXPECT_LE(dot.error(), 4 * UnitRoundoff * std::fabs(dot.value()) + 1e-250) << trial;
        plainWorse += std::fabs(static_cast<long double>(plain) - exactValue) > miss;
    }
    EXPECT_GT(plainWorse, 500);
}

// A fair walk on 0..n with a lazy step at 0 and S at n mixes slowly: from i
// it takes n(n+1) - i(i+1) steps on average, about a million here. Value iteration
// would need tens of millions of passes; the automatic choice notices its
// slow residuals and hands over to BiCGSTAB, which needs a few thousand.
TEST(LongRun, SlowlyMixingChainsAreHandedOverToBiCGSTAB) {
    const int n = 1100;
    Rows rows(static_cast<size_t>(n) + 1);
    rows[0] = {{0, 0.5}, {1, 0.5}};
    for (int i = 1; i < n; ++i) rows[i] = {{i - 1, 0.5}, {i + 1, 0.5}};
    rows[n] = {{n, 1.0}};
    std::vector<bool> marked(n + 1, false);
    marked[n] = true;
    LongRunOptions options = withMethod(LongRunMethod::Automatic, 1e-7);
    options.maxIterations = 100000;
    const LongRunFigures figures = settle(rows, marked, options);
    EXPECT_EQ(figures.method, "krylov");
    for (const int i : {0, 1, 700, n - 1}) {
        const double exact = static_cast<double>(n) * (n + 1) - static_cast<double>(i) * (i + 1);
        expectInside(exact, figures.meanLow[i], figures.meanHigh[i], std::to_string(i));
        expectInside(1.0, figures.limitLow[i], figures.limitHigh[i], std::to_string(i));
    }
    LongRunOptions alone = withMethod(LongRunMethod::Iteration, 1e-7);
    alone.maxIterations = 20000;
    EXPECT_THROW(settle(rows, marked, alone), LongRunCapReached);
}

// (I - Q) w by hand: 3 - 3/2 = 3/2 in row 0 and 5 - 3/4 - 5/4 = 3 in row 1.
// The excess may sit below 3/2 by the rounding of a row's sum, no more.
TEST(ResidualCertificate, TimeVectorsCertifyTheirExcessLargestAndSum) {
    const SparseRows transitions = SparseRows::fromRows({{{0, 0.5}, {2, 0.5}}, {{0, 0.25}, {1, 0.25}, {2, 0.5}},
                                                         {{2, 1.0}}});
    const TransientSet set(transitions, {false, false, true});
    const TimeCertificate time = certifyTime(transitions, set, {3.0, 5.0, 0.0}, 1);
    EXPECT_LE(time.excess, 1.5);
    EXPECT_GE(time.excess, 1.5 * (1 - 1e-14));
    EXPECT_EQ(time.largest, 5.0);
    EXPECT_EQ(time.sum, 8.0);
    std::vector<double> next(3, 0.0);
    EXPECT_EQ(iterateTime(transitions, set, {3.0, 5.0, 0.0}, next, 1), time.excess);
    EXPECT_EQ(next, (std::vector<double>{2.5, 3.0, 0.0}));
}

// mayBePrecise asks that every width the scales imply be within 0.999 of the
// precision, the limit's as for a value of 1, the mean's relative to
// max(1, m~), and the averaged ones alike; at that width exactly it may be.
TEST(ResidualCertificate, ScalesMayBePreciseOnlyWhenEveryWidthFits) {
    ResidualBounds bounds;
    bounds.largestTime = 10.0;
    bounds.largestTimeOverMean = 1.0;
    bounds.timeSum = 10.0;  // over 2 configurations: 5 on average
    ErrorScales scales;
    EXPECT_FALSE(mayBePrecise(bounds, scales, 2, 1e-9)) << "infinite scales prove nothing";
    scales.limit = scales.mean = 1e-12;
    EXPECT_TRUE(mayBePrecise(bounds, scales, 2, 1e-9));
    EXPECT_FALSE(mayBePrecise(bounds, scales, 2, 1e-11)) << "the limit's width 2e-11 for the largest time";
    scales.mean = HUGE_VAL;
    EXPECT_FALSE(mayBePrecise(bounds, scales, 2, 1e-9));
    scales.mean = 1e-10;
    bounds.largestTimeOverMean = 10.0;
    EXPECT_FALSE(mayBePrecise(bounds, scales, 2, 1e-9)) << "the mean's width 2e-9";

    const double allowed = 0.999 * 1e-9;
    bounds.largestTime = bounds.largestTimeOverMean = 1.0;
    bounds.timeSum = 3.0;  // 1 on average
    scales.limit = scales.mean = allowed / 2;
    EXPECT_TRUE(mayBePrecise(bounds, scales, 3, 1e-9)) << "every width exactly as allowed";
    scales.limit = std::nextafter(allowed / 2, 1.0);
    EXPECT_FALSE(mayBePrecise(bounds, scales, 3, 1e-9));
    scales.limit = allowed / 2;
    bounds.timeSum = std::nextafter(3.0, 4.0);
    EXPECT_FALSE(mayBePrecise(bounds, scales, 3, 1e-9)) << "the averaged limit's width just past";
}

// Rows that all leave the transient block at once put no weight on it:
// 0 reaches S = {1} with 1/2 and loses the rest, so the averaged curve goes
// from 1/2 to 3/4, its limit, in one step, and every quantile below 1 is
// reached there, with nothing left to doubt.
TEST(LongRun, CurvesOfRowsThatLeaveAtOnceCrossInOneStep) {
    for (const LongRunMethod method : {LongRunMethod::Direct, LongRunMethod::Iteration}) {
        LongRunOptions options = withMethod(method);
        options.quantiles = std::vector<double>{0.9, 0.999999};
        options.maxIterations = 1000;
        const LongRunFigures figures = settle({{{1, 0.5}}, {{1, 1.0}}}, {false, true}, options);
        expectInside(0.75, figures.limit.low, figures.limit.high, figures.method);
        for (const QuantileSteps& steps : figures.quantiles) {
            EXPECT_EQ(steps.value, 1);
            EXPECT_EQ(steps.low, 1);
            EXPECT_EQ(steps.high, 1);
        }
    }
}

// Past the direct solve's size, 1100 geometric waits of 1/64 a pass: the
// residuals shrink by (63/64)^8 = 0.88 every 8 passes, and at the first look
// at pass 32 they are about 0.01 against a target of about 1e-9 / (4 x 7^2),
// so value iteration would need some 1300 passes more: BiCGSTAB takes over.
// The limit is 1 and the mean steps 64 everywhere.
TEST(LongRun, ModeratelySlowResidualsAreHandedOverToBiCGSTAB) {
    const int n = 1100;
    Rows rows(static_cast<size_t>(n) + 1);
    for (int i = 0; i < n; ++i) rows[i] = {{i, 63.0 / 64}, {n, 1.0 / 64}};
    rows[n] = {{n, 1.0}};
    std::vector<bool> marked(n + 1, false);
    marked[n] = true;
    const LongRunFigures figures = settle(rows, marked, withMethod(LongRunMethod::Automatic));
    EXPECT_EQ(figures.method, "krylov");
    for (const int i : {0, n - 1}) {
        expectInside(1.0, figures.limitLow[i], figures.limitHigh[i], std::to_string(i));
        expectInside(64.0, figures.meanLow[i], figures.meanHigh[i], std::to_string(i));
    }
    expectPrecise(figures.meanSteps, 1e-9);
}

// 0 reaches S = {1} with 2^-1000 and loses the rest: its limit and mean
// steps are both 2^-1000, far below what rounding can tell from 0. The
// intervals then hold 0 to a few times the certificate's underflow term of
// 2^-900, which covers the underflow of any row's sum: no wider.
TEST(ResidualCertificate, TinyValuesAreBoundedWithinAFewUnderflowTerms) {
    const double tiny = std::ldexp(1.0, -1000);
    for (const LongRunMethod method : {LongRunMethod::Direct, LongRunMethod::Iteration}) {
        const LongRunFigures figures = settle({{{1, tiny}}, {{1, 1.0}}}, {false, true}, withMethod(method));
        const std::string what = figures.method;
        expectInside(tiny, figures.limitLow[0], figures.limitHigh[0], what);
        expectInside(tiny, figures.meanLow[0], figures.meanHigh[0], what);
        EXPECT_LE(figures.limitHigh[0], 3 * 0x1p-900) << what;
        EXPECT_LE(figures.meanHigh[0], 6 * 0x1p-900) << what;
    }
}


// A geometric wait of 1/2 a pass, worked by hand: after p passes
// v_p = 1 - 2^-p and m_p = 2 - (p + 1) 2^(1-p), all exact, so pass p sees
// residuals 2^-p and (p - 1) 2^(1-p) and a time excess m_{p-1} / 2. Until a
// pass has certified, its estimates must promise the mean's width within the
// precision for the largest m~ itself, 4 (2^-p 2 + (p - 1) 2^(1-p)) =
// p 2^(3-p) <= 0.999e-3, first at p = 18; pass 19 certifies and succeeds.
// Taking the widths relative to max(1, m~) at once would have certified at
// pass 17.
TEST(LongRun, ValueIterationCertifiesOnceItsEstimatesPromiseThePrecision) {
    LongRunOptions options = withMethod(LongRunMethod::Iteration, 1e-3);
    const LongRunFigures figures = settle({{{0, 0.5}, {1, 0.5}}, {{1, 1.0}}}, {false, true}, options);
    EXPECT_EQ(figures.iterations, 19);
    expectInside(1.0, figures.limitLow[0], figures.limitHigh[0], "limit");
    expectInside(2.0, figures.meanLow[0], figures.meanHigh[0], "mean steps");
    expectPrecise(figures.meanSteps, 1e-3);
}
