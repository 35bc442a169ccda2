#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <random>
#include <vector>

#include "model/chain/chain_estimate.h"
#include "model/chain/markov_chain.h"
#include "model/long_run/long_run.h"
#include "model/network/configurations.h"
#include "model/network/network.h"
#include "network_generator.h"
#include "model/network/seeded_random.h"

// The process chain against the step itself: sampled from every
// configuration, hand-worked rows, and weights that do not jump when a
// parameter moves by one unit in the last place.

namespace {

// As after any step: the first neighbour after the partner, cyclically.
int pointerAfter(const NetworkModel& network, int node, int partner) {
    for (int k = 1; k <= network.nodeCount; ++k) {
        const int candidate = (partner + k) % network.nodeCount;
        if (network.links[node][candidate]) return candidate;
    }
    return -1;
}

// The configuration numbered as the chain numbers it, node 0's digit fastest.
int numberOf(const NeighbourLists& neighbours, const std::vector<int>& partner) {
    int number = 0;
    int stride = 1;
    for (size_t i = 0; i < neighbours.size(); ++i) {
        if (neighbours[i].empty()) continue;
        int digit = 0;
        while (neighbours[i][digit] != partner[i]) ++digit;
        number += digit * stride;
        stride *= static_cast<int>(neighbours[i].size());
    }
    return number;
}

std::map<int, double> rowOf(const MarkovChain& chain, int l) {
    std::map<int, double> row;
    chain.transitions.forEachEntry(l, [&](int column, double weight) { row[column] = weight; });
    return row;
}

MarkovChain processChain(const NetworkModel& network, int jobs = 1) {
    const NeighbourLists neighbours = neighbourLists(network);
    const int h = static_cast<int>(configurationCount(neighbours, 1 << 20));
    return buildMarkovChain(ChainRules::Process, network, neighbours, h, jobs, nullptr, {}, true);
}

double chanceOf(const MarkovChain& chain, int l, int node) {
    return chain.successChances[static_cast<size_t>(l) * chain.configurations.nodeCount + node];
}

// A parameter from the values that decide structure (0 and 1), the
// sliders' 64ths, and arbitrary doubles.
double randomParameter(std::mt19937& random) {
    switch (std::uniform_int_distribution<int>(0, 3)(random)) {
        case 0: return std::uniform_int_distribution<int>(0, 1)(random);
        case 1: return std::uniform_int_distribution<int>(0, 64)(random) / 64.0;
        default: return std::uniform_real_distribution<double>(0.0, 1.0)(random);
    }
}

NetworkModel randomNetwork(std::mt19937& random, int nodes) {
    NetworkModel network;
    network.resize(nodes);
    const double density = std::uniform_real_distribution<double>(0.3, 0.9)(random);
    for (int i = 0; i < nodes; ++i)
        for (int j = i + 1; j < nodes; ++j)
            network.links[i][j] = network.links[j][i] = std::bernoulli_distribution(density)(random);
    for (auto& values : network.params)
        for (double& value : values) value = randomParameter(random);
    return network;
}

// Within five standard deviations of a binomial frequency, which a fixed
// seed makes a fixed verdict; a certain or impossible outcome must be
// exactly so.
void expectFrequency(int count, int samples, double p, const std::string& what) {
    const double f = static_cast<double>(count) / samples;
    const double tolerance = 5.0 * std::sqrt(p * (1 - p) / samples) + 1e-12;
    EXPECT_NEAR(f, p, tolerance) << what;
}

}  // namespace

// From every configuration the step, run many times with the pointers that
// configuration gives, lands where the chain's row says as often as its
// weights say, and each node succeeds as often as its chance says.
TEST(ProcessChain, RowsAreTheStepsOwnFrequenciesFromEveryConfiguration) {
    std::mt19937 random(2026);
    SeededRandom draws(7);
    constexpr int Samples = 2000;
    int networks = 0;
    for (int trial = 0; networks < 24; ++trial) {
        ASSERT_LT(trial, 2000);
        NetworkModel network = randomNetwork(random, 3 + trial % 5);
        const NeighbourLists neighbours = neighbourLists(network);
        const long long h = configurationCount(neighbours, 48);
        if (h < 2) continue;
        ++networks;
        const MarkovChain chain = processChain(network);
        for (int l = 0; l < h; ++l) {
            std::map<int, int> landed;
            std::vector<int> successes(network.nodeCount, 0);
            for (int k = 0; k < Samples; ++k) {
                NetworkModel run = network;
                for (int i = 0; i < network.nodeCount; ++i) {
                    run.partner[i] = chain.configurations[l][i];
                    run.pointer[i] = run.partner[i] < 0 ? -1 : pointerAfter(network, i, run.partner[i]);
                }
                run.step(draws);
                ++landed[numberOf(neighbours, run.partner)];
                for (int i = 0; i < network.nodeCount; ++i) successes[i] += run.connected[i];
            }
            const std::map<int, double> row = rowOf(chain, l);
            double sum = 0.0;
            for (const auto& [column, weight] : row) {
                EXPECT_GT(weight, 0.0) << "a stored zero, trial " << trial;
                sum += weight;
            }
            EXPECT_NEAR(sum, 1.0, 1e-14) << "trial " << trial << " row " << l;
            for (const auto& [column, count] : landed)
                EXPECT_TRUE(row.count(column)) << "the step reached " << column << " from " << l << ", trial " << trial;
            for (const auto& [column, weight] : row)
                expectFrequency(landed[column], Samples, weight,
                                "trial " + std::to_string(trial) + " " + std::to_string(l) + " -> " + std::to_string(column));
            for (int i = 0; i < network.nodeCount; ++i)
                expectFrequency(successes[i], Samples, chanceOf(chain, l, i),
                                "trial " + std::to_string(trial) + " row " + std::to_string(l) + " node " +
                                    std::to_string(i));
        }
    }
}

// The triangle 0-1-2 with gammas 1, 0.5 and 0.25 and certain attempts, its
// configurations (1,0,0), (2,0,0), (1,2,0), (2,2,0), (1,0,1), (2,0,1),
// (1,2,1), (2,2,1). From (1,0,0) nodes 1 and 2 target each other: node 1
// acts with 0.5 / 0.75, node 0 reaches 2 either way. From (2,2,0) nodes 0
// and 1 do: 1 / 1.5 for node 0, and node 2 reaches 1 either way.
TEST(ProcessChain, TheTrianglesRowsByHand) {
    NetworkModel triangle = networkOf({{0, 1}, {0, 2}, {1, 2}}, 3);
    triangle.params[NetworkModel::Gamma] = {1.0, 0.5, 0.25};
    const MarkovChain chain = processChain(triangle);
    EXPECT_EQ(rowOf(chain, 0), (std::map<int, double>{{3, 0.5 / 0.75}, {5, 0.25 / 0.75}}));
    EXPECT_EQ(rowOf(chain, 3), (std::map<int, double>{{5, 0.5 / 1.5}, {6, 1.0 / 1.5}}));
    EXPECT_EQ(chanceOf(chain, 0, 0), 1.0);
    EXPECT_EQ(chanceOf(chain, 0, 1), 0.5 / 0.75);
    EXPECT_EQ(chanceOf(chain, 3, 2), 1.0);
    // (1,2,0) and (2,0,1) lead to each other for certain, differing in every
    // node: S, as the window's marking rule says.
    EXPECT_EQ(rowOf(chain, 2), (std::map<int, double>{{5, 1.0}}));
    EXPECT_EQ(rowOf(chain, 5), (std::map<int, double>{{2, 1.0}}));
    EXPECT_EQ(chain.marked, (std::vector<bool>{false, false, true, false, false, true, false, false}));

    // With node 0 never attempting and even gammas, from (1,0,0) node 0
    // stays and nodes 1 and 2 share the arbitration.
    triangle.params[NetworkModel::Alpha][0] = 0.0;
    triangle.params[NetworkModel::Gamma] = {1.0, 1.0, 1.0};
    const MarkovChain idle = processChain(triangle);
    EXPECT_EQ(rowOf(idle, 0), (std::map<int, double>{{2, 0.5}, {4, 0.5}}));
    EXPECT_EQ(chanceOf(idle, 0, 0), 0.0);
    EXPECT_EQ(chanceOf(idle, 0, 2), 0.5);
}

// Two linked nodes target each other in their one configuration: whichever
// acts reaches the other, so the configuration follows itself for certain,
// weight exactly 1, and is S; with uncertain attempts it still only follows
// itself. Each node's chance is its share of the arbitration.
TEST(ProcessChain, TwoLinkedNodesStayWhereTheyAre) {
    NetworkModel pair = networkOf({{0, 1}}, 2);
    pair.params[NetworkModel::Gamma] = {0.1, 0.2};
    const MarkovChain certain = processChain(pair);
    EXPECT_EQ(rowOf(certain, 0), (std::map<int, double>{{0, 1.0}}));
    EXPECT_EQ(certain.marked, std::vector<bool>{true});
    EXPECT_EQ(chanceOf(certain, 0, 0), 0.1 / (0.1 + 0.2));
    EXPECT_EQ(chanceOf(certain, 0, 1), 0.2 / (0.1 + 0.2));
    // Gammas too small to divide by: the step draws again, one half each.
    pair.params[NetworkModel::Gamma] = {0.0, 5e-8};
    EXPECT_EQ(chanceOf(processChain(pair), 0, 0), 0.5);
    pair.params[NetworkModel::Alpha] = {0.5, 0.25};
    EXPECT_EQ(rowOf(processChain(pair), 0), (std::map<int, double>{{0, 1.0}}));
}

// Node 0 targets 2 while partnered with 1, and node 1 targets 0: when
// node 0's attempt fails, node 1 holds back and keeps its partner 3; when
// it succeeds, node 1 reaches 0. Links 0-1, 0-2, 1-3, 2-3; from (1,3,0,2)
// nodes 2 and 3 move to 3 and 1 either way.
TEST(ProcessChain, AFailedAttemptHoldsBackTheFormerPartner) {
    NetworkModel network = networkOf({{0, 1}, {0, 2}, {1, 3}, {2, 3}}, 4);
    network.params[NetworkModel::Beta][0] = 0.5;
    const MarkovChain chain = processChain(network);
    const NeighbourLists neighbours = neighbourLists(network);
    const int from = numberOf(neighbours, {1, 3, 0, 2});
    const int succeeded = numberOf(neighbours, {2, 0, 3, 1});
    const int heldBack = numberOf(neighbours, {1, 3, 3, 1});
    EXPECT_EQ(rowOf(chain, from), (std::map<int, double>{{succeeded, 0.5}, {heldBack, 0.5}}));
    EXPECT_EQ(chanceOf(chain, from, 1), 0.5);
}

// Gammas 0.1 and 0.2 do not divide their sum exactly, so a rounding test
// could tip either way; the process's weights follow their parameters
// smoothly, and S stays where it is, when one gamma moves by one ulp.
TEST(ProcessChain, OneUlpOfAGammaMovesNoFigure) {
    NetworkModel ring = networkOf({{0, 1}, {1, 2}, {2, 3}, {3, 4}, {4, 0}}, 5);
    ring.params[NetworkModel::Gamma] = {0.1, 0.2, 0.1, 0.2, 0.3};
    LongRunOptions options;
    options.precision = 1e-13;
    const MarkovChain chain = processChain(ring);
    const LongRunFigures figures = computeLongRun(chain.transitions, chain.marked, options);
    ASSERT_GT(chain.markedCount, 0);
    for (const double moved : {std::nextafter(0.1, 1.0), std::nextafter(0.1, 0.0)}) {
        NetworkModel nearby = ring;
        nearby.params[NetworkModel::Gamma][0] = moved;
        const MarkovChain other = processChain(nearby);
        EXPECT_EQ(other.marked, chain.marked);
        for (int l = 0; l < chain.configurations.count; ++l) {
            const std::map<int, double> row = rowOf(chain, l);
            const std::map<int, double> near = rowOf(other, l);
            ASSERT_EQ(near.size(), row.size()) << l;
            for (const auto& [column, weight] : row) EXPECT_NEAR(near.at(column), weight, 1e-15) << l;
        }
        const LongRunFigures nearFigures = computeLongRun(other.transitions, other.marked, options);
        EXPECT_NEAR(nearFigures.limit.value, figures.limit.value, 1e-12);
        EXPECT_NEAR(nearFigures.meanSteps.value, figures.meanSteps.value, 1e-12);
    }
}

NetworkModel ringOf(int nodes, int uncertainNodes) {
    NetworkModel ring;
    ring.resize(nodes);
    for (int i = 0; i < nodes; ++i) {
        ring.links[i][(i + 1) % nodes] = ring.links[(i + 1) % nodes][i] = 1;
        if (i < uncertainNodes) {
            ring.params[NetworkModel::Alpha][i] = (1 + i % 5) / 6.0;
            ring.params[NetworkModel::Beta][i] = (2 + i % 3) / 5.0;
        }
        ring.params[NetworkModel::Gamma][i] = (1 + i % 7) / 8.0;
    }
    return ring;
}

// Rows, S and success chances are the same for any number of jobs, across
// chunks of work; the estimate counts the process's rows.
TEST(ProcessChain, BuildsAreTheSameForAnyJobsAndEstimated) {
    const NetworkModel ring = ringOf(13, 4);
    const MarkovChain one = processChain(ring, 1);
    const MarkovChain three = processChain(ring, 3);
    ASSERT_EQ(one.transitions.entryCount(), three.transitions.entryCount());
    for (size_t k = 0; k < one.transitions.entryCount(); ++k) {
        ASSERT_EQ(one.transitions.column(k), three.transitions.column(k));
        ASSERT_EQ(one.transitions.weight(k), three.transitions.weight(k));
    }
    EXPECT_EQ(one.successChances, three.successChances);
    EXPECT_EQ(one.marked, three.marked);

    const NetworkModel small = ringOf(6, 6);
    const NeighbourLists neighbours = neighbourLists(small);
    const ChainEstimate estimate = estimateChain(ChainRules::Process, small, neighbours, 64, ChainLimits{}, 0.0);
    EXPECT_TRUE(estimate.exact);
    EXPECT_EQ(estimate.transitions, static_cast<double>(processChain(small).transitions.entryCount()));
    EXPECT_GE(outcomePathBound(ChainRules::Process, small, neighbours), estimate.transitions);
}
