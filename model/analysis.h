#pragma once

#include <string>
#include <vector>

#include "model/chain/markov_chain.h"

class NetworkModel;
class WorkProgress;

// The largest number of configurations that analyze accepts.
constexpr long long MaxAnalysisConfigurations = 16384;

// analyze accepts horizons from 1 to this.
constexpr int MaxAnalysisHorizon = 32;

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
