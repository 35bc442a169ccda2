#pragma once

#include <cstddef>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "model/network/configurations.h"
#include "model/storage/row_accumulator.h"
#include "model/storage/sparse_rows.h"
#include "model/support/engine_error.h"

class NetworkModel;

// Which rules weigh the outcomes of one step from a configuration.
enum class ChainRules {
    // The step itself, as Space and sampled runs take it: exact probabilities
    // of every outcome, rows that sum to 1.
    Process,
    // The window's analysis (the A key), with rules of its own.
    Window,
};

// "process" or "window".
const char* chainRulesName(ChainRules rules);
// The rules named `text`; false for any other name.
bool parseChainRules(const std::string& text, ChainRules& rules);

// Enumerates, configuration by configuration, the outcomes of one step and
// their weights into rows of a chain, under one set of rules. Every
// configuration gives each linked node one of its neighbours as partner, so
// a configuration is a number in mixed radix (node 0's digit fastest), and
// a destination's number is kept up to date as the partners are set.
class OutcomeRules {
public:
    virtual ~OutcomeRules() = default;
    OutcomeRules(const OutcomeRules&) = delete;
    OutcomeRules& operator=(const OutcomeRules&) = delete;

    // Appends the row of transitions out of configuration `source`, whose
    // partner values are `entries`.
    virtual void enumerateRow(int source, const int* entries, SparseRows& rows) = 0;
    // The same for configuration `source` of `configurations`.
    void enumerateRow(int source, const ConfigurationList& configurations, SparseRows& rows) {
        enumerateRow(source, configurations[source], rows);
    }

    // The certain successor of the last row: the one configuration that
    // every outcome of positive weight reaches, or -1.
    virtual int certainSuccessor() const = 0;
    // Per node, the chance that it succeeds in the step from the last row's
    // configuration; null where the rules do not say.
    virtual const double* successChances() const { return nullptr; }
    // The outcome paths the last row's weights were summed from, where the
    // rules count them (0 otherwise): with the factors of a path it bounds
    // how far rounding moved the row's weights from their exact values.
    virtual long long leafCount() const { return 0; }

    // A row whose outcome paths pass `limit` throws TooManyOutcomePaths:
    // paths multiply with every node that may go more than one way, so one
    // row may take longer than any run should. After the throw the
    // enumerator is of no further use.
    void limitPaths(long long limit) { pathLimit_ = limit; }
    // The outcome paths of the last row enumerated, leaves outside every
    // configuration included.
    long long pathCount() const { return paths_; }
    // Counts the paths only of rows that could pass the limit, for builds
    // that need no count: pathCount() is then 0 for the other rows.
    void countPathsOnlyNearLimit() { countEveryRow_ = false; }

    // The bytes of scratch held.
    virtual size_t memoryBytes() const;

protected:
    OutcomeRules(const NetworkModel& network, const NeighbourLists& neighbours, int configurationCount);

    int target(int node, int partnerValue) const { return targets_[static_cast<size_t>(node) * n_ + partnerValue]; }
    long long digitValue(int node, int partnerValue) const {
        return digitValue_[static_cast<size_t>(node) * (n_ + 1) + 1 + partnerValue];
    }
    void setPartner(int node, int partnerValue) {
        leafIndex_ += digitValue(node, partnerValue) - digitValue(node, newPartner_[node]);
        newPartner_[node] = partnerValue;
    }
    // Starts the row of `source`: its entries, each node's target, the path count.
    void startRow(int source, const int* entries);
    // Whether the row's paths, at most `branchesPerNode` at every node that
    // may branch, can pass the limit; such a node is one for which
    // `mayBranch(node)` holds.
    template <typename MayBranch>
    bool mayPassPathLimit(long long branchesPerNode, MayBranch&& mayBranch) const {
        long long bound = 1;
        for (int node = 0; node < n_; ++node) {
            if (!mayBranch(node)) continue;
            if (bound > pathLimit_ / branchesPerNode) return true;
            bound *= branchesPerNode;
        }
        return false;
    }
    // Out of line, so that the recursion carries no code to build the error.
    [[noreturn]] __attribute__((noinline, cold)) void refuseTooManyPaths() const;

    const int n_;
    const double* alpha_;
    const double* beta_;
    const double* gamma_;
    std::vector<int> targets_;
    // Per node and partner value (-1 included), the value's contribution to
    // the configuration number, or a large negative number when no
    // configuration has that value there.
    std::vector<long long> digitValue_;
    const int* source_ = nullptr;
    int sourceIndex_ = 0;
    std::vector<int> sourceTarget_;  // per node, the target of its source entry
    std::vector<int> newPartner_;
    // The configuration number of newPartner_, kept up to date with every
    // write, so that a leaf finds its column at once; negative when an entry
    // is one no configuration has.
    long long leafIndex_ = 0;
    double weight_ = 1.0;
    long long paths_ = 0;
    long long pathLimit_ = std::numeric_limits<long long>::max();
    bool countEveryRow_ = true;
    RowAccumulator row_;
};

// The enumerator of `rules` for a network of `configurationCount`
// configurations (configurationCount of its neighbour lists).
std::unique_ptr<OutcomeRules> makeOutcomeRules(ChainRules rules, const NetworkModel& network,
                                               const NeighbourLists& neighbours, int configurationCount);

// An upper bound on the outcome paths of all rows together, hence on their
// entries: a row has at most the product over its nodes of the ways each may
// go, and the rows are every combination of partner values, so these
// products sum to the product over the nodes of each node's ways summed over
// its values.
double outcomePathBound(ChainRules rules, const NetworkModel& network, const NeighbourLists& neighbours);

// The first node after partner value v (cyclically) linked to `node`, or -1;
// a target search accepts any non-zero link entry.
int targetAfter(const NetworkModel& network, int node, int v);

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
