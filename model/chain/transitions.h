#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

#include "model/network/configurations.h"
#include "model/storage/row_accumulator.h"
#include "model/storage/sparse_rows.h"
#include "model/support/engine_error.h"

class NetworkModel;
class WorkProgress;

// The weighted outcomes of one step from each configuration. The partner and
// resolved arrays are deliberately shared by every path of a source: a node's
// joint case leaves its partner's entries as its last outcome set them, and
// later paths read them so. Every node writes its own entries before a later
// node or a leaf reads them, so a row does not depend on the rows before it
// and separate enumerators may share the rows out.
class OutcomeEnumerator {
public:
    OutcomeEnumerator(const NetworkModel& network, const NeighbourLists& neighbours,
                      const ConfigurationList& configurations);
    // Without a list: rows are enumerated from the source's entries, for
    // networks of `configurationCount` configurations.
    OutcomeEnumerator(const NetworkModel& network, const NeighbourLists& neighbours, int configurationCount);

    // Appends the row of transitions out of configuration `source` of the list.
    void enumerateRow(int source, SparseRows& rows);
    // The same for configuration `source` whose partner values are `entries`.
    void enumerateRow(int source, const int* entries, SparseRows& rows);

    // A row whose outcome paths pass `limit` throws TooManyOutcomePaths:
    // paths multiply with every joint case, so one row may take longer than
    // any run should. After the throw the enumerator is of no further use.
    void limitPaths(long long limit) { pathLimit_ = limit; }
    // The outcome paths of the last row enumerated, leaves outside every
    // configuration included.
    long long pathCount() const { return paths_; }
    // Counts the paths only of rows that could pass the limit, for builds
    // that need no count: pathCount() is then 0 for the other rows.
    void countPathsOnlyNearLimit() { countEveryRow_ = false; }

    // The bytes of scratch held.
    size_t memoryBytes() const;

private:
    // The weights of a joint case of node n and its target t < n.
    struct JointWeights {
        double pn = 0.0;
        double pt = 0.0;
        double rest = 0.0;
    };

    void buildTargets(const NetworkModel& network);
    void buildLeafIndex(const NeighbourLists& neighbours);
    void buildWeights();
    JointWeights jointWeights(int n, int t) const;
    int target(int node, int partnerValue) const { return targets_[static_cast<size_t>(node) * n_ + partnerValue]; }
    long long digitValue(int node, int partnerValue) const {
        return digitValue_[static_cast<size_t>(node) * (n_ + 1) + 1 + partnerValue];
    }
    void setPartner(int node, int partnerValue) {
        leafIndex_ += digitValue(node, partnerValue) - digitValue(node, newPartner_[node]);
        newPartner_[node] = partnerValue;
    }
    // Direct: whether rows are summed in a table; a leaf then calls nothing.
    // Count: whether outcome paths are counted against the limit.
    template <bool Direct, bool Count>
    void enumerate(int node);
    template <bool Direct, bool Count>
    void enumerateJoint(int n, int t);
    template <bool Direct>
    void enumerateFromFirstNode(bool count);
    // Whether the row being enumerated may have more paths than the limit.
    bool mayPassPathLimit() const;
    // Out of line, so that the recursion carries no code to build the error.
    [[noreturn]] __attribute__((noinline, cold)) void refuseTooManyPaths() const;

    const int n_;
    const double* alpha_;
    const double* beta_;
    const double* gamma_;
    const ConfigurationList* configurations_ = nullptr;
    std::vector<int> targets_;
    // Per node and partner value (-1 included), the value's contribution to
    // the configuration index, or a large negative number when no
    // configuration has that value there.
    std::vector<long long> digitValue_;
    std::vector<double> alphaBeta_;
    std::vector<JointWeights> jointWeights_;  // n x n, when n is small
    const int* source_ = nullptr;
    std::vector<int> sourceTarget_;  // per node, the target of its source entry
    std::vector<int> newPartner_;
    // The configuration index of newPartner_, kept up to date with every
    // write, so that a leaf finds its column at once; negative when an entry
    // is one no configuration has.
    long long leafIndex_ = 0;
    std::vector<unsigned char> resolved_;
    double weight_ = 1.0;
    long long paths_ = 0;
    long long pathLimit_ = std::numeric_limits<long long>::max();
    bool countEveryRow_ = true;
    int sourceIndex_ = 0;
    RowAccumulator row_;
};

// An upper bound on the outcome paths of all rows together, hence on their
// entries: a node takes at most three cases when its target comes before
// it, one otherwise, so a row has at most the product of its nodes' counts;
// the rows are every combination of partner values, so these products sum
// to the product over the nodes of each node's counts summed over its values.
double outcomePathBound(const NetworkModel& network, const NeighbourLists& neighbours);

// A row with more outcome paths than a limit allows.
class TooManyOutcomePaths : public EngineError {
public:
    TooManyOutcomePaths(int source, long long limit);
    int source() const { return source_; }
    long long limit() const { return limit_; }

private:
    int source_;
    long long limit_;
};

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

// Every row of one-step weights, enumerated on up to `jobs` threads, within
// `budget`. The rows are the same for any number of jobs and any budget they
// fit in.
SparseRows computeTransitions(const NetworkModel& network, const NeighbourLists& neighbours,
                              const ConfigurationList& configurations, int jobs, WorkProgress* progress = nullptr,
                              const TransitionBudget& budget = {});

// Per configuration, the first one it reaches with weight exactly 1.0, or -1.
std::vector<int> findSuccessors(const SparseRows& transitions);
