#pragma once

#include <cstdint>
#include <vector>

#include "model/network/configurations.h"

class NetworkModel;

// The process's one-step weights applied without being stored: the step
// takes the nodes one at a time, so T is a product of N local updates, one
// per node, on an extended state: the partners decided so far (new for the
// nodes already taken, old for the rest) and, for the nodes still to come
// that a node already taken may stop, a bit saying it does (it lost an
// arbitration to it, or it is held back by its failed attempt). Where every
// node may go more than one way the stored rows hold up to 2^N entries each,
// while a product through the updates costs about N times the extended
// states, a few times the configurations, and memory for a few vectors.
//
// apply() computes, for `width` value columns per configuration, out = s + T
// v: the expected values one step on, plus in column i < N the chance that
// node i succeeds in the step. Each local update sums its outcomes in a
// fixed order, so the result is the same for any number of jobs.
class ProcessOperator {
public:
    ProcessOperator(const NetworkModel& network, const NeighbourLists& neighbours, int configurationCount);

    int configurationCount() const { return h_; }
    int nodeCount() const { return n_; }

    // `values` and `out` hold configurationCount() x width values,
    // configuration by configuration; width is at least the node count.
    void apply(const std::vector<double>& values, std::vector<double>& out, int width, int jobs);

    // The most extended states of any update, and the bytes apply() holds
    // for `width` columns.
    long long mostStates() const { return mostStates_; }
    static double memoryFor(const NetworkModel& network, const NeighbourLists& neighbours, int configurationCount,
                            int width);
    // The outcomes a product follows per configuration, against the entries
    // of a row that a product through stored rows reads.
    static double workPerConfiguration(const NeighbourLists& neighbours);

    // A bound of the relative distance of every value apply() gives from the
    // exact operator's, beyond the values' own size: each update multiplies
    // by probabilities rounded once or twice and adds a few outcomes.
    double slack() const;

    // Adds to `gradient` (width x 3N values per column: alpha of nodes 0 to
    // N - 1, then beta, then gamma) the derivatives of
    //     sum over x of weights_k(x) E_x[values_k(next) + sum_i success_i rewards_ik],
    // `values` and `weights` holding configurationCount() x width values,
    // `rewards` N x width or null. The same sums as ProcessSensitivity's, by
    // the updates instead of each configuration's outcomes: the values are
    // carried back through the updates and the weights forward, and each
    // update's derivative is taken between the two. Outcomes of probability
    // 0 whose probability moves count, so derivatives at 0 and 1 are those
    // from inside [0, 1]. The same for any number of jobs.
    void addSensitivity(const double* values, const double* rewards, const double* weights, int width,
                        double* gradient, int jobs) const;
    // The bytes addSensitivity holds for `width` columns: the values after
    // every update, and the weights before two of them.
    static double sensitivityBytesFor(const NeighbourLists& neighbours, int configurationCount, int width);

    // Whether the process surely reaches every configuration from every
    // other and may stay where it is: every linked node attempts and
    // succeeds with probabilities strictly between 0 and 1, and of every two
    // linked nodes either may win an arbitration. Its chain is then one
    // aperiodic class.
    static bool mixesEverywhere(const NetworkModel& network);

private:
    // The extended states before node j is taken: every configuration, and
    // a bit for each node k >= j with a neighbour below j, which a node
    // already taken may have stopped.
    struct Stage {
        std::vector<int> pending;  // those nodes, in increasing order
        std::vector<int> slotOf;   // per node, its bit among `pending`, or -1
        long long states = 0;      // configurations x 2^pending
    };

    void update(int j, const double* next, double* current, int width, long long begin, long long end) const;
    long long carriedBits(int j, long long bits) const;

    // One way node j's turn may go from a state: its probability, the
    // state after, and the derivatives of the probability.
    struct Way {
        double weight;
        long long to;
        double byAlpha, byBeta, byGamma, byTargetGamma;
        bool success;
    };
    // The ways from state s before node j, those of probability 0 among
    // them, and the target whose gamma moves them (-1 for none).
    int waysFrom(int j, long long s, Way* ways, int& target) const;
    void carryBack(int j, const double* next, double* current, const double* rewards, int width, long long begin,
                   long long end) const;
    double arbitrationLower(int j, int k) const;

    const int n_;
    const int h_;
    std::vector<double> alpha_, beta_, gamma_;
    std::vector<int> stride_;
    // Per node and digit: the partner, its target, and the target's digit.
    std::vector<std::vector<int>> partnerOf_, targetOf_, targetDigit_;
    // Per configuration, each node's digit.
    std::vector<uint16_t> digits_;
    std::vector<Stage> stages_;  // stages_[j]: the states before node j is taken; stages_[n] after the last
    long long mostStates_ = 0;
    std::vector<double> bufferA_, bufferB_;
};
