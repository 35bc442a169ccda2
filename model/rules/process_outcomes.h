#pragma once

#include <vector>

#include "model/rules/outcome_rules.h"

// The exact probabilities of the outcomes of the pairing step itself, as
// Space, Return and sampled runs take it. From a configuration every linked
// node points at the target its partner value gives; then, node by node in
// index order: of two nodes that target each other the lower one draws who
// acts, with the weights of their gammas (one half each when the gammas add
// up to at most ZeroGammaSum); a node that acts attempts with alpha unless
// its target attempted this step and failed while partnered with it, and an
// attempt succeeds with beta, making the target its partner. The
// probabilities stand for what the step's draws approximate at 2^-31.
//
// Outcomes of probability 0 are never followed, so no decision depends on
// rounding: a row's certain successor is the one configuration that every
// outcome followed reaches, and its weight is stored as exactly 1.0. Paths
// that differ only in whether a node attempted are kept apart only where a
// later node's hold-back reads it.
class ProcessOutcomes : public OutcomeRules {
public:
    ProcessOutcomes(const NetworkModel& network, const NeighbourLists& neighbours, int configurationCount);

    using OutcomeRules::enumerateRow;
    void enumerateRow(int source, const int* entries, SparseRows& rows) override;
    int certainSuccessor() const override { return successor_; }
    const double* successChances() const override { return chances_.data(); }
    long long leafCount() const override { return leaves_; }
    size_t memoryBytes() const override;

private:
    // How a node that acts may go, with the probability of each way: a
    // success; a failed attempt or none, told apart where a later node's
    // hold-back reads it, else together as staying.
    struct Ways {
        double success = 0.0;
        double failure = 0.0;
        double idle = 0.0;
        double stay = 0.0;
        int apart = 0;     // the ways with positive probability when told apart
        int together = 0;  // the same when the two ways of staying are one
    };
    // The chances of two nodes that target each other to be the one that acts.
    struct Arbitration {
        double lower = 0.0;
        double upper = 0.0;
    };

    void buildWeights();
    Arbitration arbitration(int j, int k) const;
    void prepareRow();
    int waysOf(int node) const { return watched_[node] ? ways_[node].apart : ways_[node].together; }
    bool heldBack(int node, int t) const { return t < node && source_[t] == node && failed_[t]; }
    void stay(int node) {
        setPartner(node, source_[node]);
        failed_[node] = 0;
    }
    void actSurely(int node, int t);
    template <bool Direct, bool Count>
    void enumerate(int node);
    template <bool Direct, bool Count>
    void goOnActing(int node, int t);
    template <bool Direct, bool Count>
    void attempt(int node, int t);
    template <bool Direct, bool Count>
    void arbitrate(int j, int k, const Arbitration& chances);
    template <bool Direct, bool Count>
    void leaf();
    template <bool Direct>
    void enumerateFromFirstNode(bool count);
    void finishRow(SparseRows& rows);

    std::vector<Ways> ways_;
    std::vector<Arbitration> arbitrations_;  // n x n, when n is small
    // Per node, for the row being enumerated: the node above it that it
    // targets and that targets it back, or -1; whether a later node's
    // hold-back reads its failed attempt.
    std::vector<int> mutualAbove_;
    std::vector<unsigned char> watched_;
    // Per node, on the path being followed: it lost an arbitration; it
    // attempted and failed.
    std::vector<unsigned char> settled_;
    std::vector<unsigned char> failed_;
    std::vector<double> chances_;
    long long firstLeaf_ = -1;
    long long leaves_ = 0;
    bool oneDestination_ = true;
    int successor_ = -1;
    std::vector<int> dropColumns_;
    std::vector<double> dropValues_;
};
