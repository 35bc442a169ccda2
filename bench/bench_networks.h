#pragma once

#include "model/network/network.h"

// The benchmarks' networks, links alone: each benchmark sets the
// probabilities its issue names.
inline NetworkModel ringLinks(int nodes) {
    NetworkModel network;
    network.resize(nodes);
    for (int i = 0; i < nodes; ++i) network.links[i][(i + 1) % nodes] = network.links[(i + 1) % nodes][i] = 1;
    return network;
}

inline NetworkModel completeLinks(int nodes) {
    NetworkModel network;
    network.resize(nodes);
    for (int i = 0; i < nodes; ++i)
        for (int j = 0; j < nodes; ++j) network.links[i][j] = i != j;
    return network;
}
