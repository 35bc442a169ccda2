#include "model/transient/transient_set.h"

#include <algorithm>

namespace {

// Per configuration, the sources of its positive-weight entries.
struct Predecessors {
    std::vector<size_t> start;
    std::vector<int> source;

    explicit Predecessors(const SparseRows& transitions) {
        const int h = transitions.rowCount();
        start.assign(static_cast<size_t>(h) + 1, 0);
        for (int l = 0; l < h; ++l)
            transitions.forEachEntry(l, [&](int column, double weight) {
                if (weight > 0.0) ++start[static_cast<size_t>(column) + 1];
            });
        for (int m = 0; m < h; ++m) start[m + 1] += start[m];
        source.resize(start[h]);
        std::vector<size_t> fill(start.begin(), start.end() - 1);
        for (int l = 0; l < h; ++l)
            transitions.forEachEntry(l, [&](int column, double weight) {
                if (weight > 0.0) source[fill[column]++] = l;
            });
    }
};

}  // namespace

// Sweeps over the rows, forwards and backwards in turn, mark a row that has
// a positive entry into S or a row already marked: each sweep reads the rows
// in order and the marks of a byte per configuration, which stay in cache,
// and paths that run with the order of the sweep are followed in one. Where
// the paths are long against the order, a search backwards from what is
// known along the predecessor lists finishes the work.
TransientSet::TransientSet(const SparseRows& transitions, const std::vector<bool>& marked)
    : kind_(marked.size(), Unreachable) {
    const int h = static_cast<int>(marked.size());
    for (int l = 0; l < h; ++l)
        if (marked[l]) kind_[l] = Marked, ++markedCount_;
    if (markedCount_ == 0 || markedCount_ == h) return;

    bool changed = true;
    for (int sweep = 0; changed && sweep < MaxSweeps; ++sweep) {
        changed = false;
        const bool forwards = sweep % 2 == 0;
        for (int k = 0; k < h; ++k) {
            const int l = forwards ? k : h - 1 - k;
            if (kind_[l] == Unreachable && reachesKnown(transitions, l)) {
                kind_[l] = Transient;
                changed = true;
            }
        }
    }
    if (changed) searchBackwards(transitions);
    for (int l = 0; l < h; ++l) {
        if (kind_[l] != Transient) continue;
        transient_.push_back(l);
        longestRow_ = std::max(longestRow_, static_cast<int>(transitions.end(l) - transitions.begin(l)));
    }
}

bool TransientSet::reachesKnown(const SparseRows& transitions, int row) const {
    bool reaches = false;
    transitions.forEachEntry(row, [&](int column, double weight) {
        reaches = reaches || (weight > 0.0 && kind_[column] != Unreachable);
    });
    return reaches;
}

void TransientSet::searchBackwards(const SparseRows& transitions) {
    const Predecessors predecessors(transitions);
    std::vector<int> frontier;
    for (int l = 0; l < configurationCount(); ++l)
        if (kind_[l] != Unreachable) frontier.push_back(l);
    while (!frontier.empty()) {
        const int m = frontier.back();
        frontier.pop_back();
        for (size_t k = predecessors.start[m]; k < predecessors.start[m + 1]; ++k) {
            const int l = predecessors.source[k];
            if (kind_[l] != Unreachable) continue;
            kind_[l] = Transient;
            frontier.push_back(l);
        }
    }
}

// Kahn's order on the transient configurations, peeling those without
// transient predecessors left; the longest path, in configurations, is the
// nilpotency index of the transient block: after that many steps no weight
// remains in it, and one step fewer leaves some.
long long TransientSet::stepsToEmpty(const SparseRows& transitions) const {
    const int h = configurationCount();
    std::vector<int> waiting(static_cast<size_t>(h), 0);
    for (const int l : transient_)
        transitions.forEachEntry(l, [&](int column, double weight) {
            if (weight > 0.0 && kind_[column] == Transient) ++waiting[column];
        });
    std::vector<int> order;
    order.reserve(transient_.size());
    for (const int l : transient_)
        if (waiting[l] == 0) order.push_back(l);
    for (size_t next = 0; next < order.size(); ++next)
        transitions.forEachEntry(order[next], [&](int column, double weight) {
            if (weight > 0.0 && kind_[column] == Transient && --waiting[column] == 0) order.push_back(column);
        });
    if (order.size() < transient_.size()) return -1;

    // Longest path from each configuration, last in the order first.
    std::vector<long long> path(static_cast<size_t>(h), 0);
    long long longest = 0;
    for (size_t k = order.size(); k-- > 0;) {
        const int l = order[k];
        long long below = 0;
        transitions.forEachEntry(l, [&](int column, double weight) {
            if (weight > 0.0 && kind_[column] == Transient) below = std::max(below, path[column]);
        });
        path[l] = below + 1;
        longest = std::max(longest, path[l]);
    }
    return longest;
}
