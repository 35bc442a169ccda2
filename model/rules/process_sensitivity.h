#pragma once

#include <utility>
#include <vector>

#include "model/rules/outcome_rules.h"

// How the expectation of a value one step on moves with the parameters: for
// a configuration x, values u(y) of the configurations the step may lead to
// (K of them per configuration) and rewards of the nodes that succeed in it,
// the derivative with respect to every node's alpha, beta and gamma of each
//     E_x[u_k(next) + rewards_k] = sum over outcomes of P(outcome) (u_k(y) + r_k),
// times a weight w_k of x, added into K gradients of 3N values each (alpha of
// nodes 0 to N - 1, then beta, then gamma).
//
// The outcomes are the process's own (ProcessOutcomes'), enumerated node by
// node; each probability is a product of the factors of a path, and the
// derivative of a path's factor is taken times the path's other factors and
// times the expectation below it, which the enumeration returns on its way
// back: the whole gradient costs one enumeration. Where a parameter lies at
// 0 or 1 an outcome may have probability 0 and still a derivative (the
// failure of beta = 1, say): such an outcome is followed too, so that the
// derivatives are those from inside [0, 1], one-sided at its ends.
class ProcessSensitivity : public OutcomeRules {
public:
    ProcessSensitivity(const NetworkModel& network, const NeighbourLists& neighbours, int configurationCount,
                       int width);

    // `values`: K values of every configuration; `rewards`: K values per node
    // for its success, or null; `weights`: K values; `gradient`: K x 3N
    // values, added to.
    void accumulate(int source, const int* entries, const double* values, const double* rewards,
                    const double* weights, double* gradient);

    // Unused: the rows are ProcessOutcomes'.
    void enumerateRow(int, const int*, SparseRows&) override {}
    int certainSuccessor() const override { return -1; }

    // The expectations of the last configuration accumulated, K values.
    const double* expectation() const { return levels_.data(); }

private:
    // How a node that acts may go: success, a failed attempt, none, or
    // staying either way, with the probability and its derivatives.
    enum Way { Success, Failure, Idle, Stay };

    void prepareRow();
    // The subtree's K expectations into levels_[depth].
    void enumerate(int node, int depth, double prefix, bool zeroed);
    void attempt(int node, int t, int depth, double prefix, bool zeroed);
    void arbitrate(int j, int k, int depth, double prefix, bool zeroed);
    void follow(double factor, int depth, double prefix, bool zeroed, int next, const double* reward);
    void addDerivative(int parameter, double derivative, double prefix, const double* subtree);
    double probability(int node, Way way) const;
    std::pair<double, double> wayDerivatives(int node, Way way) const;
    bool heldBack(int node, int t) const { return t < node && source_[t] == node && failed_[t]; }
    void stay(int node) {
        setPartner(node, source_[node]);
        failed_[node] = 0;
    }

    const int width_;
    const double* values_ = nullptr;
    const double* rewards_ = nullptr;
    const double* weights_ = nullptr;
    double* gradient_ = nullptr;
    std::vector<int> mutualAbove_;
    std::vector<unsigned char> watched_;
    std::vector<unsigned char> settled_;
    std::vector<unsigned char> failed_;
    // K values per depth of the enumeration: a subtree's expectation.
    std::vector<double> levels_;
};
