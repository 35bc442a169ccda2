#pragma once

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <random>
#include <utility>
#include <vector>

#include "model/network/network.h"

// A network of `nodes` nodes with the links given, every probability 1.0.
inline NetworkModel networkOf(const std::vector<std::pair<int, int>>& links, int nodes) {
    NetworkModel network;
    network.resize(nodes);
    for (const auto& [a, b] : links) network.links[a][b] = network.links[b][a] = 1;
    return network;
}

// Random networks of the kinds that make the analysis interesting: isolated
// nodes, probabilities of 0 and 1, exact binary fractions whose sums reach
// 1.0 exactly, gamma pairs summing to 0, and now and then an asymmetric
// matrix or a link entry of 2, whose outcomes may leave the configuration list.
class NetworkGenerator {
public:
    explicit NetworkGenerator(unsigned seed) : random_(seed) {}

    void fill(NetworkModel& network, int nodeCount) {
        network.resize(nodeCount);
        const double density = pick({0.4, 0.6, 0.8, 0.9, 1.0});
        const bool asymmetric = chance(0.15);
        const bool strange = chance(0.1);
        for (int i = 0; i < nodeCount; ++i) {
            for (int j = 0; j < nodeCount; ++j) {
                if (i == j) {
                    network.links[i][j] = 0;
                } else if (j < i || asymmetric) {
                    network.links[i][j] = chance(density) ? (strange && chance(0.3) ? 2 : 1) : 0;
                } else {
                    network.links[i][j] = network.links[j][i];
                }
            }
        }
        if (chance(0.3)) isolate(network, uniform(nodeCount));
        const int style = uniform(5);
        for (auto& values : network.params)
            for (double& value : values) value = parameter(style);
        // Certain attempts with uneven gamma: outcome weights that sum to
        // 1.0 only nearly, or exactly, decide successors.
        if (style == 4) {
            std::fill(network.params[NetworkModel::Alpha].begin(), network.params[NetworkModel::Alpha].end(), 1.0);
            std::fill(network.params[NetworkModel::Beta].begin(), network.params[NetworkModel::Beta].end(), 1.0);
        }
        if (chance(0.3))
            for (double& gamma : network.params[NetworkModel::Gamma]) gamma = chance(0.7) ? 0.0 : gamma;
    }

    // A network as the window leaves it: symmetric links of 0 and 1, every
    // probability on its sliders' grid of 64ths.
    void fillAsTheWindowLeavesIt(NetworkModel& network, int nodeCount) {
        fill(network, nodeCount);
        network.symmetrize();
        for (auto& row : network.links)
            for (int& link : row) link = link != 0;
        for (auto& values : network.params)
            for (double& value : values) value = std::round(value * 64) / 64;
    }

    int uniform(int bound) { return std::uniform_int_distribution<int>(0, bound - 1)(random_); }
    bool chance(double p) { return std::bernoulli_distribution(p)(random_); }
    template <typename T>
    T pick(std::initializer_list<T> values) {
        return values.begin()[uniform(int(values.size()))];
    }

private:

    void isolate(NetworkModel& network, int node) {
        for (int j = 0; j < network.nodeCount; ++j) {
            network.links[node][j] = 0;
            network.links[j][node] = 0;
        }
    }

    double parameter(int style) {
        switch (style) {
            case 0: return 1.0;
            case 1: return pick({0.0, 1.0, 0.5, 0.25, 0.75});
            case 2: return uniform(65) / 64.0;
            default:
                return chance(0.3) ? pick({0.0, 1.0, 0.3}) : std::uniform_real_distribution<double>(0.0, 1.0)(random_);
        }
    }

    std::mt19937 random_;
};

