#include "model/chain/markov_chain.h"

#include <algorithm>

#include "model/chain/marks.h"
#include "model/support/work_progress.h"

int countMarked(const std::vector<bool>& marked) {
    return static_cast<int>(std::count(marked.begin(), marked.end(), true));
}

MarkovChain buildMarkovChain(ChainRules rules, const NetworkModel& network, const NeighbourLists& neighbours,
                             int count, int jobs, WorkProgress* progress, const TransitionBudget& budget,
                             bool keepSuccessChances) {
    MarkovChain chain;
    chain.rules = rules;
    chain.configurations = listConfigurations(neighbours, count);
    ChainRows rows = computeTransitions(rules, network, neighbours, chain.configurations, jobs, progress, budget,
                                        keepSuccessChances);
    chain.transitions = std::move(rows.transitions);
    chain.successChances = std::move(rows.successChances);
    chain.mostLeavesPerRow = rows.mostLeavesPerRow;
    if (progress) progress->begin("marking", 0);
    chain.marked = markConfigurations(chain.configurations, rows.successors);
    chain.markedCount = countMarked(chain.marked);
    return chain;
}
