#include <gtest/gtest.h>

#include "test_support.h"

namespace {

void expectConsistentSizes(const Network& network) {
    const size_t n = static_cast<size_t>(network.nodeCount);
    ASSERT_EQ(network.links.size(), n);
    for (const auto& row : network.links) ASSERT_EQ(row.size(), n);
    EXPECT_EQ(network.partner.size(), n);
    EXPECT_EQ(network.pointer.size(), n);
    EXPECT_EQ(network.connected.size(), n);
    EXPECT_EQ(network.successCount.size(), n);
    for (const auto& values : network.params) EXPECT_EQ(values.size(), n);
}

}  // namespace

TEST(Network, StartsWithFourUnlinkedNodesAndCertainProbabilities) {
    NetworkFixture fixture;
    const Network& network = fixture.network;
    EXPECT_EQ(network.nodeCount, 4);
    expectConsistentSizes(network);
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) EXPECT_EQ(network.links[i][j], 0);
        EXPECT_EQ(network.partner[i], -1);
        EXPECT_EQ(network.pointer[i], -1);
        EXPECT_FALSE(network.connected[i]);
        EXPECT_EQ(network.successCount[i], 0u);
        for (const auto& values : network.params) EXPECT_EQ(values[i], 1.0);
    }
    EXPECT_EQ(network.stepCount, 0u);
    EXPECT_EQ(network.speed, 0.0);
    EXPECT_FALSE(network.resizing || network.sliderDragging || network.speedDragging);
}

TEST(Network, GrowingAddsIsolatedNodesThatInheritTheLastNodesProbabilities) {
    NetworkFixture fixture;
    Network& network = fixture.network;
    network.links[1][3] = network.links[3][1] = 1;
    network.params[Network::Alpha][3] = 0.5;
    network.params[Network::Beta][3] = 0.25;
    network.params[Network::Gamma][3] = 0.75;
    network.partner[3] = 1;
    network.stepCount = 17;

    network.resize(6);
    EXPECT_EQ(network.nodeCount, 6);
    expectConsistentSizes(network);
    for (int i = 4; i < 6; ++i) {
        EXPECT_EQ(network.params[Network::Alpha][i], 0.5);
        EXPECT_EQ(network.params[Network::Beta][i], 0.25);
        EXPECT_EQ(network.params[Network::Gamma][i], 0.75);
        EXPECT_EQ(network.partner[i], -1);
        EXPECT_EQ(network.pointer[i], -1);
        for (int j = 0; j < 6; ++j) EXPECT_EQ(network.links[i][j] | network.links[j][i], 0);
    }
    EXPECT_EQ(network.links[1][3], 1);
    EXPECT_EQ(network.partner[3], 1);
    EXPECT_EQ(network.stepCount, 17u);
}

TEST(Network, ShrinkingKeepsTheSurvivorsAndForgetsRemovedNodes) {
    NetworkFixture fixture;
    Network& network = fixture.network;
    network.resize(6);
    network.links[0][2] = network.links[2][0] = 1;
    network.links[1][5] = network.links[5][1] = 1;
    network.partner = {2, 5, 0, -1, 1, 1};
    network.pointer = {4, 2, 5, 0, -1, 1};
    network.connected[1] = true;
    network.successCount = {1, 2, 3, 4, 5, 6};
    network.params[Network::Gamma][2] = 0.125;

    network.resize(3);
    expectConsistentSizes(network);
    EXPECT_EQ(network.links[0][2], 1);
    EXPECT_EQ(network.links[1][2], 0);
    EXPECT_EQ(network.partner, (std::vector<int>{2, -1, 0}));
    EXPECT_EQ(network.pointer, (std::vector<int>{-1, 2, -1}));
    EXPECT_TRUE(network.connected[1]);
    EXPECT_EQ(network.successCount, (std::vector<uint32_t>{1, 2, 3}));
    EXPECT_EQ(network.params[Network::Gamma][2], 0.125);
}

TEST(Network, SymmetrizeCopiesTheLowerTriangleAndClearsTheDiagonal) {
    NetworkFixture fixture;
    Network& network = fixture.network;
    network.links[2][0] = 1;
    network.links[0][3] = 1;  // upper only: the lower triangle wins
    network.links[2][2] = 1;
    network.symmetrize();
    EXPECT_EQ(network.links[0][2], 1);
    EXPECT_EQ(network.links[2][0], 1);
    EXPECT_EQ(network.links[0][3], 0);
    EXPECT_EQ(network.links[2][2], 0);
}

TEST(Network, ResetCountersTouchesOnlyTheCounters) {
    NetworkFixture fixture;
    Network& network = fixture.network;
    network.stepCount = 9;
    network.successCount = {1, 2, 3, 4};
    network.connected[2] = true;
    network.partner[2] = 1;
    network.pointer[2] = 3;
    network.resetCounters();
    EXPECT_EQ(network.stepCount, 0u);
    EXPECT_EQ(network.successCount, (std::vector<uint32_t>(4, 0)));
    EXPECT_TRUE(network.connected[2]);
    EXPECT_EQ(network.partner[2], 1);
    EXPECT_EQ(network.pointer[2], 3);
}
