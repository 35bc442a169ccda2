#pragma once

#include <cstddef>
#include <string>
#include <vector>

class NetworkModel;

// Per node, the nodes it lists configurations with: the entries of its link
// row equal to 1, in increasing order.
using NeighbourLists = std::vector<std::vector<int>>;

NeighbourLists neighbourLists(const NetworkModel& network);

// The number of configurations, the product of the non-zero neighbour
// counts, or -1 once it passes `limit`.
long long configurationCount(const NeighbourLists& neighbours, long long limit);

// The same number as an exact decimal, however large.
std::string configurationCountText(const NeighbourLists& neighbours);

// The exact decimal product of the factors, however large.
std::string decimalProduct(const std::vector<int>& factors);

// Every configuration of partner values, `count` rows of `nodeCount`
// entries, in mixed-radix order with node 0 varying fastest; a node without
// neighbours holds -1 in every row.
struct ConfigurationList {
    int nodeCount = 0;
    int count = 0;
    std::vector<int> entries;

    const int* operator[](int s) const { return entries.data() + static_cast<size_t>(s) * nodeCount; }
};

ConfigurationList listConfigurations(const NeighbourLists& neighbours, int count);

// The partner values of configuration s, the row listConfigurations gives
// it, into `entries` (one per node).
void configurationEntries(const NeighbourLists& neighbours, long long s, int* entries);

// The number of the configuration whose partner values are `partners`, one
// per node; -1 when the count is wrong, or `badNode` set to the first node
// whose value is not one of its neighbours (-1 for a node without any).
long long configurationNumber(const NeighbourLists& neighbours, const std::vector<int>& partners, int& badNode);
