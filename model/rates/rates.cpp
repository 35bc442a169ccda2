#include "model/rates/rates.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "model/long_run/pass_budget.h"
#include "model/network/network.h"
#include "model/rates/absorption.h"
#include "model/rates/class_gains.h"
#include "model/rates/closed_classes.h"
#include "model/rules/process_operator.h"
#include "model/support/bounded_arithmetic.h"
#include "model/support/engine_error.h"
#include "model/support/work_progress.h"

// The closed classes are found from the graph of the rows; each class's
// rates by its cycle's average or by relative value iteration with Odoni's
// bounds (class_gains.cpp); the start's probability of ending in each class
// by moving its weight forward (absorption.cpp). With one class every start
// ends in it, so its rates are every start's. The bounds hold the rates of
// the exact process: each stored weight and chance is within
// (5 N + paths + 2) units of rounding of its exact value, N the nodes whose
// factors a path multiplies and paths the most a row's weights are summed
// from, and every bound is widened by that.

namespace {

double weightSlackOf(const MarkovChain& chain) {
    const double nodes = chain.configurations.nodeCount;
    return (5.0 * nodes + static_cast<double>(chain.mostLeavesPerRow) + 2.0) * UnitRoundoff * 1.01;
}

std::vector<double> startWeights(const RateStart& start, int h) {
    if (start.uniform) return std::vector<double>(static_cast<size_t>(h), 1.0 / h);
    std::vector<double> weights(static_cast<size_t>(h), 0.0);
    weights[start.configuration] = 1.0;
    return weights;
}

BoundedFigure figureAt(const std::vector<double>& value, const std::vector<double>& low,
                       const std::vector<double>& high, size_t at) {
    return {value[at], low[at], high[at]};
}

// sum over classes of p_c r_c with p_c >= low_c and the p_c summing to 1:
// at least the low p_c's share at each class's least rate, with what they
// leave at the least rate of all, and at most the same at the largest.
BoundedFigure combine(const ClassProbabilities& endings, const ClassGains& gains, int node) {
    const int classes = static_cast<int>(endings.low.size());
    const int nodes = gains.nodes;
    BoundedSum claimed;
    double least = 1.0, most = 0.0;
    double low = 0.0, high = 0.0, value = 0.0, total = 0.0;
    for (int c = 0; c < classes; ++c) {
        const size_t at = static_cast<size_t>(c) * nodes + node;
        claimed.add(endings.low[c]);
        least = std::min(least, gains.low[at]);
        most = std::max(most, gains.high[at]);
        low += endings.low[c] * gains.low[at];
        high += endings.low[c] * gains.high[at];
        value += endings.value[c] * gains.value[at];
        total += endings.value[c];
    }
    const double rounding = dotProductSlack(static_cast<size_t>(classes) + 2) * 1.01;
    const double rest = std::max(0.0, up(1.0 - claimed.low()));
    const double lower = std::max(0.0, down(down(low * (1 - rounding)) + down(rest * least)) - UnderflowSlack);
    const double upper = std::min(1.0, up(up(high * (1 + rounding)) + up(rest * most)) + UnderflowSlack);
    return {std::clamp(total > 0 ? value / total : lower, lower, upper), lower, upper};
}

ClassProbabilities certainEnding() {
    ClassProbabilities one;
    one.value = one.low = one.high = {1.0};
    return one;
}

std::string capMessage(long long cap) {
    return "no rates within the cap of " + std::to_string(cap) + " iterations; --max-iterations raises it";
}

// The precision the rounding allows, rounded up to two digits so that
// asking for it succeeds.
std::string outOfReachMessage(double reachable) {
    const double unit = std::pow(10.0, std::floor(std::log10(reachable)) - 1);
    char text[32];
    std::snprintf(text, sizeof text, "%.2g", std::ceil(reachable / unit * (1 + 1e-9)) * unit);
    return std::string("the rates cannot be bounded that closely: the rounding of doubles keeps their bounds "
                       "about ") +
           text + " wide on this chain; --precision " + text + " gives them";
}

}  // namespace

void checkRateOptions(const RateOptions& options, int configurations) {
    if (!(options.precision >= FinestRatePrecision && options.precision < 1.0))
        throw EngineError(EngineError::BadInput, "precision must be at least 1e-12 and below 1");
    if (!options.start.uniform && (options.start.configuration < 0 || options.start.configuration >= configurations))
        throw EngineError(EngineError::BadInput, "the start configuration is outside the configurations");
}

double rateMemory(long long configurations, int nodes, bool perConfiguration) {
    // Classes and their members, the start's weights moved forward, the
    // values of the iteration, and per start six values per node.
    const double perConfigurationBytes = 40.0 + 16.0 * nodes + (perConfiguration ? 48.0 * nodes : 0.0);
    return static_cast<double>(configurations) * perConfigurationBytes + (1 << 20);
}

RateFigures computeRates(const MarkovChain& chain, const RateOptions& options, WorkProgress* progress) {
    const int h = chain.configurations.count;
    const int nodes = chain.configurations.nodeCount;
    checkRateOptions(options, h);
    if (progress) progress->begin("rates", 0);
    RateFigures figures;
    figures.nodes = nodes;
    figures.configurations = h;
    const double slack = weightSlackOf(chain);
    PassBudget budget(options.maxIterations, progress);
    const ClosedClasses classes = findClosedClasses(chain.transitions);
    ClassGains gains;
    ClassProbabilities endings;
    StartRates starts;
    try {
        // Half the precision to the classes' rates, half to where the start ends.
        computeClassGains(chain.transitions, chain.successChances, nodes, classes,
                          {options.precision / 2, slack, options.jobs}, budget, gains);
        endings = classes.count() == 1
                      ? certainEnding()
                      : endingProbabilities(chain.transitions, classes, startWeights(options.start, h), slack,
                                            options.precision / 2, budget, endings);
        if (options.perConfiguration)
            ratesFromEveryStart(chain.transitions, classes, gains, slack, options.precision, options.jobs, budget,
                                starts);
    } catch (const PassBudget::Exhausted&) {
        throw RatesCapReached(capMessage(options.maxIterations));
    } catch (const RatesOutOfReach& e) {
        // The classes' rates and where the start ends have half the precision each.
        throw RatesCapReached(outOfReachMessage(2 * e.width));
    }
    for (int i = 0; i < nodes; ++i) figures.rates.push_back(combine(endings, gains, i));
    for (int c = 0; c < classes.count(); ++c) {
        ClassRates rates;
        rates.size = static_cast<int>(classes.members[c].size());
        rates.probability = figureAt(endings.value, endings.low, endings.high, static_cast<size_t>(c));
        for (int i = 0; i < nodes; ++i)
            rates.rates.push_back(figureAt(gains.value, gains.low, gains.high, static_cast<size_t>(c) * nodes + i));
        figures.classes.push_back(std::move(rates));
    }
    figures.perValue = std::move(starts.value);
    figures.perLow = std::move(starts.low);
    figures.perHigh = std::move(starts.high);
    figures.iterations = budget.spent();
    return figures;
}

bool ratesThroughOperator(const NetworkModel& network, const NeighbourLists& neighbours, double entriesPerRow) {
    return ProcessOperator::mixesEverywhere(network) &&
           ProcessOperator::workPerConfiguration(neighbours) < entriesPerRow;
}

double operatorRateMemory(const NetworkModel& network, const NeighbourLists& neighbours, int configurations,
                          bool perConfiguration) {
    const double nodes = network.nodeCount;
    return ProcessOperator::memoryFor(network, neighbours, configurations, network.nodeCount) +
           static_cast<double>(configurations) * nodes * sizeof(double) * (2.0 + (perConfiguration ? 3.0 : 0.0)) +
           (1 << 20);
}

RateFigures computeRatesThrough(const NetworkModel& network, const NeighbourLists& neighbours, int configurations,
                                const RateOptions& options, WorkProgress* progress) {
    checkRateOptions(options, configurations);
    if (progress) progress->begin("rates", 0);
    const int nodes = network.nodeCount;
    ProcessOperator process(network, neighbours, configurations);
    PassBudget budget(options.maxIterations, progress);
    ClassGains gains;
    try {
        computeGainsThrough(process, {options.precision, 0.0, options.jobs}, budget, gains);
    } catch (const PassBudget::Exhausted&) {
        throw RatesCapReached(capMessage(options.maxIterations));
    } catch (const RatesOutOfReach& e) {
        throw RatesCapReached(outOfReachMessage(e.width));
    }
    RateFigures figures;
    figures.nodes = nodes;
    figures.configurations = configurations;
    ClassRates all;
    all.size = configurations;
    all.probability = {1.0, 1.0, 1.0};
    for (int i = 0; i < nodes; ++i) {
        figures.rates.push_back(figureAt(gains.value, gains.low, gains.high, static_cast<size_t>(i)));
        all.rates.push_back(figures.rates.back());
    }
    figures.classes.push_back(std::move(all));
    if (options.perConfiguration) {
        for (int l = 0; l < configurations; ++l) {
            figures.perValue.insert(figures.perValue.end(), gains.value.begin(), gains.value.end());
            figures.perLow.insert(figures.perLow.end(), gains.low.begin(), gains.low.end());
            figures.perHigh.insert(figures.perHigh.end(), gains.high.begin(), gains.high.end());
        }
    }
    figures.iterations = budget.spent();
    return figures;
}

namespace {

// The process rows' entries per row by a sample of rows; infinite where even
// the sample is beyond the limits, 0 where the operator does not apply.
double expectedEntriesPerRow(const NetworkModel& network, const NeighbourLists& neighbours, int configurations,
                             const ChainLimits& limits) {
    if (!ProcessOperator::mixesEverywhere(network)) return 0.0;
    try {
        return estimateChain(ChainRules::Process, network, neighbours, configurations, limits, 0.0).entriesPerRow;
    } catch (const EngineError&) {
        return std::numeric_limits<double>::infinity();
    }
}

}  // namespace

RateFigures ratesWithin(const NetworkModel& network, const NeighbourLists& neighbours, int configurations,
                        const RateOptions& options, const ChainLimits& limits, WorkProgress* progress) {
    checkRateOptions(options, configurations);
    if (ratesThroughOperator(network, neighbours,
                             expectedEntriesPerRow(network, neighbours, configurations, limits))) {
        const double bytes = operatorRateMemory(network, neighbours, configurations, options.perConfiguration);
        if (bytes > limits.maxBytes)
            throw EngineError(EngineError::BeyondLimit, limits.name + "needs about " + byteText(bytes) +
                                                            " for the rates of " + countText(configurations) +
                                                            " configurations; " + limits.limitName + " is " +
                                                            byteText(limits.maxBytes));
        return computeRatesThrough(network, neighbours, configurations, options, progress);
    }
    const double chances = static_cast<double>(configurations) * network.nodeCount * sizeof(double);
    const MarkovChain chain = buildMarkovChainWithin(
        ChainRules::Process, network, neighbours, configurations, options.jobs, limits,
        chances + rateMemory(configurations, network.nodeCount, options.perConfiguration), progress, true);
    return computeRates(chain, options, progress);
}
