#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

#include "model/network/configurations.h"
#include "model/rules/outcome_rules.h"
#include "model/storage/sparse_rows.h"
#include "model/support/engine_error.h"

class NetworkModel;
class WorkProgress;

// The rows outgrew the bytes a build may take.
class TransitionsPastMemory : public EngineError {
public:
    TransitionsPastMemory(long long rowsDone, size_t entries, size_t bytes);
    long long rowsDone() const { return rowsDone_; }
    size_t entries() const { return entries_; }
    size_t bytes() const { return bytes_; }

private:
    long long rowsDone_;
    size_t entries_;
    size_t bytes_;
};

// What a build of the rows may take. The defaults are no limits, as in the
// window, whose analysis has limits of its own.
struct TransitionBudget {
    long long maxPathsPerRow = std::numeric_limits<long long>::max();
    // Bytes the rows may hold; a build past them throws TransitionsPastMemory.
    size_t maxRowBytes = std::numeric_limits<size_t>::max();
    // Entries expected per row, 0 when unknown: sizes the chunks of work.
    double entriesPerRow = 0.0;
    // Weights are expected to outgrow the table of distinct values.
    bool keepValues = false;
};

// Rows per chunk of work for rows of about `entriesPerRow` entries (0 when
// unknown): chunks of a bounded number of entries, so that what a worker
// holds before its chunk joins the rows stays small.
long long rowsPerChunk(double entriesPerRow);

// The rows of a chain and what their enumeration tells beside them.
struct ChainRows {
    SparseRows transitions;
    // Per configuration, its certain successor under the rules, or -1.
    std::vector<int> successors;
    // When asked for and the rules say: per configuration, the chance of
    // each node to succeed in one step, h x N values row by row.
    std::vector<double> successChances;
    // The most outcome paths summed into one row, where the rules count them.
    long long mostLeavesPerRow = 0;
};

// Every row of one-step weights under `rules`, enumerated on up to `jobs`
// threads, within `budget`. The rows are the same for any number of jobs and
// any budget they fit in.
ChainRows computeTransitions(ChainRules rules, const NetworkModel& network, const NeighbourLists& neighbours,
                             const ConfigurationList& configurations, int jobs, WorkProgress* progress = nullptr,
                             const TransitionBudget& budget = {}, bool keepSuccessChances = false);

// Per configuration, the first one it reaches with weight exactly 1.0, or -1.
std::vector<int> findSuccessors(const SparseRows& transitions);
