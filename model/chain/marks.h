#pragma once

#include <vector>

#include "model/network/configurations.h"

// The S marks. Configuration l, taken in increasing order and unless already
// marked, is marked when the chain of certain successors from l closes on l,
// reaches a marked configuration or runs for more than h steps, every
// configuration before that differing from l in each linked node; marking l
// marks its chain up to the first configuration already marked.
//
// Following each chain would cost up to h steps per configuration. Instead,
// the successor graph is split into chains that end without a successor,
// cycles, and trees that run into a cycle, and what decides each
// configuration is found once from the shape of the graph: on a cycle, no
// linked entry of l recurs before the cycle closes; on a tree, the first
// recurrence of a linked entry of l at k steps, after which l is marked
// exactly when the configuration k - 1 steps ahead is marked by then (marks
// always cover whole chains to their end).
std::vector<bool> markConfigurations(const ConfigurationList& configurations, const std::vector<int>& successor);
