#pragma once

#include <vector>

#include "model/chain/transitions.h"
#include "model/network/configurations.h"

class NetworkModel;
class WorkProgress;

// The configuration limit of the front ends unless told otherwise, and the
// most they may be told.
constexpr long long DefaultMaxConfigurations = 10000000;
constexpr long long MaxConfigurationsLimit = 1000000000;

// The exact analysis as data: every configuration of partner values, the
// one-step weights between them, and their S marks. The window's report and
// the command's files are made from it.
struct MarkovChain {
    ChainRules rules = ChainRules::Process;
    ConfigurationList configurations;
    SparseRows transitions;
    std::vector<bool> marked;
    int markedCount = 0;
    // When asked for: per configuration, each node's chance to succeed in
    // one step, h x N values row by row.
    std::vector<double> successChances;
    // The most outcome paths summed into one row (0 where the rules do not
    // count them): it bounds the rounding of the rows' weights.
    long long mostLeavesPerRow = 0;
};

// The chain under `rules` of a network with `count` configurations
// (configurationCount of its neighbour lists), its rows enumerated on up to
// `jobs` threads within `budget`; S is marked from the rows' certain
// successors. The result is the same for any number of jobs.
MarkovChain buildMarkovChain(ChainRules rules, const NetworkModel& network, const NeighbourLists& neighbours,
                             int count, int jobs, WorkProgress* progress = nullptr, const TransitionBudget& budget = {},
                             bool keepSuccessChances = false);

// The number of marked configurations.
int countMarked(const std::vector<bool>& marked);
