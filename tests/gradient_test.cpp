#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "model/chain/markov_chain.h"
#include "model/long_run/long_run.h"
#include "model/network/configurations.h"
#include "model/network/network.h"
#include "network_generator.h"
#include "model/rates/rates.h"
#include "model/sensitivity/gradient.h"

// Gradients against closed forms and against differences of the figures at
// nearby parameters, computed by the engine's own long run and rates with S
// held where the given network has it.

namespace {

double& parameterOf(NetworkModel& network, int index) {
    return network.params[index / network.nodeCount][index % network.nodeCount];
}

GradientOptions optionsFor(GradientMeasure measure) {
    GradientOptions options;
    options.measure = measure;
    options.precision = 1e-12;
    return options;
}

// The averaged figure at `network` with `marked` as the target set.
double passageFigure(const NetworkModel& network, const std::vector<bool>& marked, bool mean) {
    const NeighbourLists neighbours = neighbourLists(network);
    const int h = static_cast<int>(configurationCount(neighbours, 1 << 20));
    const MarkovChain chain = buildMarkovChain(ChainRules::Process, network, neighbours, h, 1);
    LongRunOptions options;
    options.precision = 1e-12;
    const LongRunFigures figures = computeLongRun(chain.transitions, marked, options);
    return mean ? figures.meanSteps.value : figures.limit.value;
}

std::vector<bool> marksOf(const NetworkModel& network) {
    const NeighbourLists neighbours = neighbourLists(network);
    return buildMarkovChain(ChainRules::Process, network, neighbours,
                            static_cast<int>(configurationCount(neighbours, 1 << 20)), 1)
        .marked;
}

double rateOf(const NetworkModel& network, int node) {
    const NeighbourLists neighbours = neighbourLists(network);
    const int h = static_cast<int>(configurationCount(neighbours, 1 << 20));
    RateOptions options;
    options.precision = 1e-12;
    return ratesWithin(network, neighbours, h, options, ChainLimits{}).rates[node].value;
}

// A difference quotient from inside [0, 1]: central inside, one-sided at
// the ends, with Richardson's step so that its own error is far below the
// derivative's.
template <typename Figure>
double differenceQuotient(NetworkModel network, int index, Figure figure) {
    double& p = parameterOf(network, index);
    const double at = p;
    const double step = 1e-4;
    const auto quotient = [&](double d) {
        if (at - d >= 0.0 && at + d <= 1.0) {
            p = at + d;
            const double up = figure(network);
            p = at - d;
            const double down = figure(network);
            p = at;
            return (up - down) / (2 * d);
        }
        const double sign = at + d > 1.0 ? -1.0 : 1.0;
        p = at + sign * d;
        const double one = figure(network);
        p = at + sign * 2 * d;
        const double two = figure(network);
        p = at;
        // f'(at) from f(at), f(at + d), f(at + 2d) to second order.
        return sign * (-3 * figure(network) + 4 * one - two) / (2 * d);
    };
    return (4 * quotient(step / 2) - quotient(step)) / 3;
}

}  // namespace

// Two linked nodes: node i's rate is its gamma's share times alpha times
// beta, whose derivatives are known by hand.
TEST(Gradient, RatesOfTwoLinkedNodesByHand) {
    NetworkModel pair = networkOf({{0, 1}}, 2);
    pair.params[NetworkModel::Alpha] = {0.75, 0.5};
    pair.params[NetworkModel::Beta] = {0.5, 0.25};
    pair.params[NetworkModel::Gamma] = {0.25, 0.5};
    const GradientFigures gradient = computeGradient(pair, optionsFor(GradientMeasure::Rates), ChainLimits{});
    const double s = 0.75, share = 0.25 / s;
    // Node 0's derivatives by alpha[0], alpha[1], beta[0], beta[1], gamma[0], gamma[1].
    const double expected[6] = {share * 0.5, 0.0, share * 0.75, 0.0, 0.5 / (s * s) * 0.375, -0.25 / (s * s) * 0.375};
    for (int p = 0; p < 6; ++p) {
        EXPECT_NEAR(gradient.derivative[p], expected[p], 1e-13) << parameterName(p, 2);
        EXPECT_LE(gradient.error[p], 1e-9);
    }
    EXPECT_NEAR(gradient.values[0].value, share * 0.375, 1e-15);
}

// On random networks with certain attempts (where S exists) the limit's and
// the mean steps' derivatives, and on networks where every node may go every
// way the rates', are the difference quotients of the figures, within the
// error each derivative reports and the quotient's own.
TEST(Gradient, DerivativesAreTheFiguresDifferenceQuotients) {
    std::mt19937 random(4);
    int checked = 0;
    for (int trial = 0; checked < 9; ++trial) {
        ASSERT_LT(trial, 400);
        const int nodes = 4 + trial % 3;
        NetworkModel network;
        network.resize(nodes);
        for (int i = 0; i < nodes; ++i)
            for (int j = i + 1; j < nodes; ++j)
                network.links[i][j] = network.links[j][i] = std::bernoulli_distribution(0.6)(random);
        const GradientMeasure measure = checked % 3 == 0   ? GradientMeasure::MeanSteps
                                        : checked % 3 == 1 ? GradientMeasure::Limit
                                                           : GradientMeasure::Rates;
        for (int i = 0; i < nodes; ++i) {
            const bool certain = measure != GradientMeasure::Rates;
            network.params[NetworkModel::Alpha][i] = certain ? 1.0 : std::uniform_real_distribution<>(0.2, 0.9)(random);
            network.params[NetworkModel::Beta][i] = certain ? 1.0 : std::uniform_real_distribution<>(0.2, 0.9)(random);
            network.params[NetworkModel::Gamma][i] = std::uniform_real_distribution<>(0.2, 0.9)(random);
        }
        const long long h = configurationCount(neighbourLists(network), 400);
        if (h < 4) continue;
        GradientFigures gradient;
        try {
            gradient = computeGradient(network, optionsFor(measure), ChainLimits{});
        } catch (const EngineError&) {
            continue;  // rates of a chain with several classes
        }
        const std::vector<bool> marked = marksOf(network);
        if (measure != GradientMeasure::Rates && std::find(marked.begin(), marked.end(), true) == marked.end()) continue;
        ++checked;
        const int figures = measure == GradientMeasure::Rates ? nodes : 1;
        for (int f = 0; f < figures; ++f)
            for (int p = 0; p < 3 * nodes; ++p) {
                const double numeric = differenceQuotient(network, p, [&](const NetworkModel& nearby) {
                    return measure == GradientMeasure::Rates
                               ? rateOf(nearby, f)
                               : passageFigure(nearby, marked, measure == GradientMeasure::MeanSteps);
                });
                const size_t at = static_cast<size_t>(f) * 3 * nodes + p;
                EXPECT_NEAR(gradient.derivative[at], numeric, gradient.error[at] + 1e-6 * (1 + std::fabs(numeric)))
                    << gradientMeasureName(measure) << " trial " << trial << " figure " << f << " "
                    << parameterName(p, nodes);
            }
    }
}

// Gammas of 0 make some arbitrations certain, and some configurations can
// then never reach S (the limit averages 0.858): moving such a gamma, or an
// alpha or beta off 1, opens their way to S and the figures jump, which the
// gradient says; every other derivative is the figures' difference quotient,
// the limit's equation feeding the mean steps'.
TEST(Gradient, JumpsWhereAWayToSOpensAndSmoothElsewhere) {
    NetworkModel network = networkOf({{0, 1}, {0, 2}, {0, 4}, {1, 3}, {1, 4}, {2, 3}, {3, 4}}, 5);
    network.params[NetworkModel::Gamma] = {0.25, 0.0, 0.0, 0.375, 0.875};
    const std::vector<bool> marked = marksOf(network);
    for (const GradientMeasure measure : {GradientMeasure::Limit, GradientMeasure::MeanSteps}) {
        const GradientFigures gradient = computeGradient(network, optionsFor(measure), ChainLimits{});
        if (measure == GradientMeasure::Limit) {
            ASSERT_LT(gradient.values[0].value, 0.99);
        }
        int jumps = 0, smooth = 0;
        for (int p = 0; p < 15; ++p) {
            if (std::isnan(gradient.derivative[p])) {
                ++jumps;
                EXPECT_TRUE(std::isinf(gradient.error[p]));
                continue;
            }
            const double numeric = differenceQuotient(network, p, [&](const NetworkModel& nearby) {
                return passageFigure(nearby, marked, measure == GradientMeasure::MeanSteps);
            });
            smooth += numeric != 0.0;
            EXPECT_NEAR(gradient.derivative[p], numeric, gradient.error[p] + 1e-6 * (1 + std::fabs(numeric)))
                << gradientMeasureName(measure) << " " << parameterName(p, 5);
        }
        EXPECT_GT(jumps, 0);
        EXPECT_GT(smooth, 0) << gradientMeasureName(measure);
    }
}

// Under a memory limit that leaves no room for the values of every update,
// the derivatives are summed per configuration instead, and they are the
// same within their error bounds; without such a limit the updates serve.
TEST(Gradient, ATightMemoryLimitGivesTheSameDerivatives) {
    std::vector<std::pair<int, int>> links;
    for (int i = 0; i < 12; ++i) links.push_back({i, (i + 1) % 12});
    NetworkModel ring = networkOf(links, 12);
    for (int i = 0; i < 12; ++i) ring.params[NetworkModel::Gamma][i] = (1 + i % 5) / 8.0;
    ChainLimits tight;
    tight.maxBytes = 3.5 * (1 << 20);
    for (const GradientMeasure measure : {GradientMeasure::MeanSteps, GradientMeasure::Limit}) {
        const GradientFigures roomy = computeGradient(ring, optionsFor(measure), ChainLimits{});
        const GradientFigures narrow = computeGradient(ring, optionsFor(measure), tight);
        for (size_t p = 0; p < roomy.derivative.size(); ++p)
            EXPECT_NEAR(narrow.derivative[p], roomy.derivative[p], roomy.error[p] + narrow.error[p])
                << gradientMeasureName(measure) << " " << parameterName(static_cast<int>(p), 12);
    }
}
