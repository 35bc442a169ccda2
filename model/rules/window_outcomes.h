#pragma once

#include <vector>

#include "model/rules/outcome_rules.h"

// The window's analysis's weights of one step's outcomes (the A key). The
// partner and resolved arrays are deliberately shared by every path of a
// source: a node's joint case leaves its partner's entries as its last
// outcome set them, and later paths read them so. Every node writes its own
// entries before a later node or a leaf reads them, so a row does not depend
// on the rows before it and separate enumerators may share the rows out.
class WindowOutcomes : public OutcomeRules {
public:
    WindowOutcomes(const NetworkModel& network, const NeighbourLists& neighbours, int configurationCount);

    using OutcomeRules::enumerateRow;
    void enumerateRow(int source, const int* entries, SparseRows& rows) override;
    // The first configuration the row reaches with weight exactly 1.0, or -1:
    // the window's test of certainty.
    int certainSuccessor() const override { return successor_; }
    size_t memoryBytes() const override;

private:
    // The weights of a joint case of node n and its target t < n.
    struct JointWeights {
        double pn = 0.0;
        double pt = 0.0;
        double rest = 0.0;
    };

    void buildWeights();
    JointWeights jointWeights(int n, int t) const;
    // Direct: whether rows are summed in a table; a leaf then calls nothing.
    // Count: whether outcome paths are counted against the limit.
    template <bool Direct, bool Count>
    void enumerate(int node);
    template <bool Direct, bool Count>
    void enumerateJoint(int n, int t);
    template <bool Direct>
    void enumerateFromFirstNode(bool count);

    std::vector<double> alphaBeta_;
    std::vector<JointWeights> jointWeights_;  // n x n, when n is small
    std::vector<unsigned char> resolved_;
    int successor_ = -1;
};
