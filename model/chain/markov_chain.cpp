#include "model/chain/markov_chain.h"

#include <algorithm>

#include "model/chain/marks.h"
#include "model/support/work_progress.h"

int countMarked(const std::vector<bool>& marked) {
    return static_cast<int>(std::count(marked.begin(), marked.end(), true));
}

MarkovChain buildMarkovChain(const NetworkModel& network, const NeighbourLists& neighbours, int count, int jobs,
                             WorkProgress* progress, const TransitionBudget& budget) {
    MarkovChain chain;
    chain.configurations = listConfigurations(neighbours, count);
    chain.transitions = computeTransitions(network, neighbours, chain.configurations, jobs, progress, budget);
    if (progress) progress->begin("marking", 0);
    chain.marked = markConfigurations(chain.configurations, findSuccessors(chain.transitions));
    chain.markedCount = countMarked(chain.marked);
    return chain;
}
