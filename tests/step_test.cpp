#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <vector>

#include "test_support.h"

// Counts every heap allocation of this executable, so that a test can check
// that stepping allocates nothing.
namespace {
long allocationCount = 0;
}

void* operator new(std::size_t size) {
    ++allocationCount;
    if (void* p = std::malloc(size ? size : 1)) return p;
    std::abort();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

void link(Network& network, int i, int j) {
    network.links[i][j] = 1;
    network.links[j][i] = 1;
}

void linkAll(Network& network) {
    for (int i = 0; i < network.nodeCount; ++i)
        for (int j = 0; j < network.nodeCount; ++j)
            if (i != j) network.links[i][j] = 1;
}

void setParams(Network& network, const std::vector<double>& alpha, const std::vector<double>& beta,
               const std::vector<double>& gamma) {
    network.params[Network::Alpha] = alpha;
    network.params[Network::Beta] = beta;
    network.params[Network::Gamma] = gamma;
}

// The value that rand() returns after `skipped` further calls from srand(1).
int randAfter(int skipped) {
    std::srand(1);
    for (int i = 0; i < skipped; ++i) std::rand();
    return std::rand();
}

}  // namespace

TEST(Step, FirstStepOfTriangleOnlyAimsPointers) {
    NetworkFixture f;
    Network& network = f.network;
    network.resize(3);
    link(network, 0, 1);
    link(network, 1, 2);
    link(network, 0, 2);
    network.step();
    EXPECT_EQ(network.pointer, (std::vector<int>{1, 0, 0}));
    EXPECT_EQ(network.partner, (std::vector<int>{-1, -1, -1}));
    EXPECT_EQ(network.stepCount, 1u);
    EXPECT_EQ(network.successCount, (std::vector<uint32_t>{0, 0, 0}));
}

TEST(Step, IsolatedNodeLosesPartnerAndPointer) {
    NetworkFixture f;
    Network& network = f.network;
    link(network, 0, 1);
    network.partner[3] = 1;
    network.pointer[3] = 1;  // stale: node 3 has no links
    for (int i = 0; i < 5; ++i) network.step();
    EXPECT_EQ(network.partner[3], -1);
    EXPECT_EQ(network.pointer[3], -1);
    EXPECT_EQ(network.successCount[3], 0u);
}

TEST(Step, SymmetrizesFromLowerTriangleFirst) {
    NetworkFixture f;
    Network& network = f.network;
    network.links[2][0] = 1;
    network.step();
    EXPECT_EQ(network.links[0][2], 1);
    EXPECT_EQ(network.pointer[0], 2);
    EXPECT_EQ(network.pointer[2], 0);
}

// Two nodes that always target each other: exactly one wins each step, with
// odds set by the gamma weights, and a zero gamma sum is a fair coin.
TEST(Step, MutualTargetsAreArbitrated) {
    NetworkFixture f;
    Network& network = f.network;
    network.resize(2);
    link(network, 0, 1);
    for (const double gamma0 : {0.75, 0.0}) {
        setParams(network, {1.0, 1.0}, {1.0, 1.0}, {gamma0, gamma0 / 3.0});
        network.partner = {1, 0};
        network.pointer = {1, 0};
        network.resetCounters();
        std::srand(1);
        const int steps = 20000;
        for (int i = 0; i < steps; ++i) {
            network.step();
            ASSERT_NE(network.connected[0], network.connected[1]);
        }
        EXPECT_EQ(network.successCount[0] + network.successCount[1], uint32_t(steps));
        const double share = network.successCount[0] / double(steps);
        EXPECT_NEAR(share, gamma0 == 0.0 ? 0.5 : 0.75, 0.02);
        EXPECT_EQ(network.pointer, (std::vector<int>{1, 0}));
    }
}

TEST(Step, RandCallsPerStep) {
    NetworkFixture f;
    Network& network = f.network;
    network.resize(2);
    link(network, 0, 1);

    int next = 0;
    // No mutual targets: three draws per node.
    std::srand(1);
    network.step();
    next = std::rand();
    EXPECT_EQ(next, randAfter(6));

    // One arbitration with a positive gamma sum: one more draw.
    network.partner = {1, 0};
    network.pointer = {1, 0};
    std::srand(1);
    network.step();
    next = std::rand();
    EXPECT_EQ(next, randAfter(7));

    // Gamma sum at or below 1e-7: a second arbitration draw.
    setParams(network, {1.0, 1.0}, {1.0, 1.0}, {0.00000004, 0.00000004});
    network.partner = {1, 0};
    network.pointer = {1, 0};
    std::srand(1);
    network.step();
    next = std::rand();
    EXPECT_EQ(next, randAfter(8));
}

TEST(Step, ZeroAlphaOrBetaKeepsPartner) {
    NetworkFixture f;
    Network& network = f.network;
    network.resize(3);
    link(network, 0, 1);
    link(network, 0, 2);
    setParams(network, {0.0, 1.0, 1.0}, {1.0, 0.0, 1.0}, {1.0, 1.0, 1.0});
    network.partner = {1, 0, -1};
    network.pointer = {2, 0, -1};
    std::srand(1);
    for (int i = 0; i < 50; ++i) network.step();
    EXPECT_EQ(network.successCount[0], 0u);
    EXPECT_EQ(network.successCount[1], 0u);
    EXPECT_EQ(network.partner[0], 1);
    EXPECT_EQ(network.pointer[0], 2);
    EXPECT_EQ(network.partner[1], 0);
}

// Node 0 attempts node 2 while its partner is node 1, which targets node 0:
// node 1 holds back exactly when node 0's attempt failed.
TEST(Step, HoldBackAfterFailedAttempt) {
    for (const double beta0 : {0.0, 1.0}) {
        NetworkFixture f;
        Network& network = f.network;
        network.resize(3);
        link(network, 0, 1);
        link(network, 0, 2);
        setParams(network, {1.0, 1.0, 1.0}, {beta0, 1.0, 1.0}, {1.0, 1.0, 1.0});
        network.partner = {1, -1, -1};
        network.pointer = {2, 0, -1};
        network.step();
        if (beta0 == 0.0) {
            EXPECT_FALSE(network.connected[0]);
            EXPECT_FALSE(network.connected[1]);
            EXPECT_EQ(network.partner[1], -1);
        } else {
            EXPECT_TRUE(network.connected[0]);
            EXPECT_EQ(network.partner[0], 2);
            EXPECT_TRUE(network.connected[1]);
            EXPECT_EQ(network.partner[1], 0);
        }
    }
}

// Trajectories pinned from the C library's initial state (srand(1)),
// including the position of rand() afterwards.
TEST(Step, PinnedTrajectories) {
#ifndef __GLIBC__
    GTEST_SKIP() << "the pinned trajectories are those of glibc's rand() sequence";
#endif
    {
        NetworkFixture f;
        Network& network = f.network;
        network.resize(5);
        linkAll(network);
        setParams(network, {0.9, 0.8, 0.7, 1.0, 0.5}, {0.6, 1.0, 0.75, 0.3, 0.9}, {0.5, 0.25, 0.0, 0.0, 1.0});
        std::srand(1);
        for (int i = 0; i < 1000; ++i) network.step();
        EXPECT_EQ(network.partner, (std::vector<int>{1, 3, 4, 2, 0}));
        EXPECT_EQ(network.pointer, (std::vector<int>{2, 4, 0, 4, 1}));
        EXPECT_EQ(network.successCount, (std::vector<uint32_t>{537, 687, 400, 227, 397}));
        EXPECT_EQ(network.stepCount, 1000u);
        EXPECT_EQ(std::rand(), 2143179679);
    }
    {
        NetworkFixture f;
        Network& network = f.network;
        network.resize(6);
        for (int i = 0; i < 6; ++i) link(network, i, (i + 1) % 6);
        network.links[3][0] = 1;  // the chord, lower triangle only
        setParams(network, std::vector<double>(6, 1.0), std::vector<double>(6, 0.5), std::vector<double>(6, 0.0));
        std::srand(1);
        for (int i = 0; i < 777; ++i) network.step();
        EXPECT_EQ(network.partner, (std::vector<int>{3, 2, 1, 2, 3, 4}));
        EXPECT_EQ(network.pointer, (std::vector<int>{5, 0, 3, 4, 5, 0}));
        EXPECT_EQ(network.successCount, (std::vector<uint32_t>{341, 258, 273, 272, 277, 250}));
        EXPECT_EQ(std::rand(), 558425843);
    }
}

TEST(Step, AllocatesNothingOnceWarm) {
    NetworkFixture f;
    Network& network = f.network;
    network.resize(21);
    linkAll(network);
    network.step();
    const long before = allocationCount;
    for (int i = 0; i < 1000; ++i) network.step();
    EXPECT_EQ(allocationCount, before);
    // Success rates stay counts of steps.
    for (uint32_t count : network.successCount) EXPECT_LE(count, network.stepCount);
}

// A node whose targeted link is gone loses its partner and searches from
// node 0, not from the partner it had: partnered with 2 and aiming at 4, once
// the link to 4 is removed, node 0 aims at its lowest neighbour 1, where a
// search from 2 would give 3.
TEST(Step, LostTargetSearchesFromTheLowestNeighbour) {
    NetworkFixture f;
    Network& network = f.network;
    network.resize(5);
    for (const int j : {1, 2, 3}) link(network, 0, j);
    network.partner[0] = 2;
    network.pointer[0] = 4;
    network.params[Network::Alpha].assign(5, 0.0);
    network.step();
    EXPECT_EQ(network.partner[0], -1);
    EXPECT_EQ(network.pointer[0], 1);
}
