#include "model/studies/run_start.h"

#include <algorithm>

#include "model/network/network.h"
#include "model/support/engine_error.h"

namespace {

std::string listText(const std::vector<int>& values) {
    std::string text;
    for (const int value : values) text += (text.empty() ? "" : ", ") + std::to_string(value);
    return text;
}

void checkPartnerValue(const NeighbourLists& neighbours, int node, long long partner) {
    const std::vector<int>& around = neighbours[static_cast<size_t>(node)];
    const std::string name = "node " + std::to_string(node);
    if (around.empty()) {
        if (partner != -1)
            throw EngineError(EngineError::BadInput, name + " has no neighbours, so its partner value is -1, not " +
                                                         std::to_string(partner));
        return;
    }
    if (std::find(around.begin(), around.end(), partner) == around.end())
        throw EngineError(EngineError::BadInput, name + "'s partner value " + std::to_string(partner) +
                                                     " is not one of its neighbours " + listText(around));
}

// As the step leaves it: the first neighbour after the partner in cyclic
// order, the lowest neighbour while there is no partner.
int pointerAfter(const NetworkModel& network, int node, int partner) {
    const std::vector<int>& row = network.links[static_cast<size_t>(node)];
    int candidate = partner;
    for (int tried = 0; tried < network.nodeCount; ++tried) {
        if (++candidate >= network.nodeCount) candidate -= network.nodeCount;
        if (row[static_cast<size_t>(candidate)] != 0) return candidate;
    }
    return -1;
}

}  // namespace

RunStart configurationStart(const NeighbourLists& neighbours, const std::vector<long long>& partners) {
    if (partners.size() != neighbours.size())
        throw EngineError(EngineError::BadInput, "gives " + std::to_string(partners.size()) +
                                                     " partner values but the network has " +
                                                     std::to_string(neighbours.size()) + " nodes");
    RunStart start;
    start.kind = RunStart::Configuration;
    for (size_t node = 0; node < partners.size(); ++node) {
        checkPartnerValue(neighbours, static_cast<int>(node), partners[node]);
        start.partners.push_back(static_cast<int>(partners[node]));
    }
    return start;
}

void placeConfiguration(NetworkModel& network, const std::vector<int>& partners) {
    for (int node = 0; node < network.nodeCount; ++node) {
        const int partner = partners[static_cast<size_t>(node)];
        network.partner[static_cast<size_t>(node)] = partner;
        network.pointer[static_cast<size_t>(node)] = partner < 0 ? -1 : pointerAfter(network, node, partner);
        network.connected[static_cast<size_t>(node)] = false;
    }
    network.resetCounters();
}

std::vector<int> uniformConfiguration(const NeighbourLists& neighbours, unsigned seed) {
    StartRandom random(seed);
    std::vector<int> partners(neighbours.size(), -1);
    for (size_t node = 0; node < neighbours.size(); ++node) {
        const std::vector<int>& around = neighbours[node];
        if (!around.empty()) partners[node] = around[static_cast<size_t>(uniformBelow(random, around.size()))];
    }
    return partners;
}

NetworkModel startingNetwork(const NetworkModel& network, const NeighbourLists& neighbours, const RunStart& start,
                             unsigned seed) {
    NetworkModel started = network;
    if (start.kind == RunStart::Uniform)
        placeConfiguration(started, uniformConfiguration(neighbours, seed));
    else if (start.kind == RunStart::Configuration)
        placeConfiguration(started, start.partners);
    return started;
}
