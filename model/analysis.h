#pragma once

#include <vector>

#include "model/configurations.h"
#include "model/transitions.h"

class NetworkModel;
class WorkProgress;

// The largest number of configurations that analyze accepts.
constexpr long long MaxAnalysisConfigurations = 16384;

// analyze accepts horizons from 1 to this.
constexpr int MaxAnalysisHorizon = 32;

// The exact analysis as data: every configuration of partner values, the
// one-step weights between them, and their S marks. The window's report and
// the command's files are made from it.
struct MarkovChain {
    ConfigurationList configurations;
    SparseRows transitions;
    std::vector<bool> marked;
    int markedCount = 0;
};

// The chain of a network with `count` configurations (configurationCount of
// its neighbour lists), its rows enumerated on up to `jobs` threads within
// `budget`. The result is the same for any number of jobs.
MarkovChain buildMarkovChain(const NetworkModel& network, const NeighbourLists& neighbours, int count, int jobs,
                             WorkProgress* progress = nullptr, const TransitionBudget& budget = {});
