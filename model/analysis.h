#pragma once

#include <string>
#include <vector>

#include "model/network/configurations.h"
#include "model/chain/transitions.h"

class NetworkModel;
class WorkProgress;

// The largest number of configurations that analyze accepts.
constexpr long long MaxAnalysisConfigurations = 16384;

// analyze accepts horizons from 1 to this.
constexpr int MaxAnalysisHorizon = 32;

// The configuration limit of the front ends unless told otherwise, and the
// most they may be told.
constexpr long long DefaultMaxConfigurations = 10000000;
constexpr long long MaxConfigurationsLimit = 1000000000;

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

// What a front end calls the arguments of the window's analysis, for its messages.
struct AnalysisArgumentNames {
    std::string horizon;
    std::string columns;
    // The ways to larger networks, as in "(steps and export take more)".
    std::string largerWork;
};

// Throws EngineError where the window refuses the analysis with a line of
// its own: bad input for a horizon outside 1 to MaxAnalysisHorizon or fewer
// than one column per block, beyond a limit past MaxAnalysisConfigurations
// configurations, the message starting with locationOf(networkName).
void checkWindowAnalysis(const NetworkModel& network, const std::string& networkName, int horizon,
                         int columnsPerBlock, const AnalysisArgumentNames& names);
