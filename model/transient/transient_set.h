#pragma once

#include <vector>

#include "model/storage/sparse_rows.h"

// What the graph of positive one-step weights alone decides about the long
// run: the marked configurations S, which stay there (limit 1, mean steps
// 0); the configurations from which no path of positive weights reaches S
// (limit 0, mean steps 0, exactly); and the transient ones in between, from
// which S can be reached but is not yet, the only ones left to numerics.
class TransientSet {
public:
    enum Kind : unsigned char { Unreachable = 0, Transient = 1, Marked = 2 };

    TransientSet(const SparseRows& transitions, const std::vector<bool>& marked);

    int configurationCount() const { return static_cast<int>(kind_.size()); }
    int markedCount() const { return markedCount_; }
    int transientCount() const { return static_cast<int>(transient_.size()); }
    Kind kind(int configuration) const { return static_cast<Kind>(kind_[configuration]); }
    const unsigned char* kinds() const { return kind_.data(); }
    // The transient configurations in increasing order.
    const std::vector<int>& transient() const { return transient_; }
    // The most entries in the row of a transient configuration.
    int longestRow() const { return longestRow_; }

    // The fewest steps after which no weight is left in the transient
    // configurations from any start, or -1 when they hold a cycle of
    // positive weights, so that some weight stays for ever.
    long long stepsToEmpty(const SparseRows& transitions) const;

private:
    // Sweeps over the rows before the search along predecessor lists.
    static constexpr int MaxSweeps = 24;

    // Whether the row has a positive entry into S or a transient configuration.
    bool reachesKnown(const SparseRows& transitions, int row) const;
    void searchBackwards(const SparseRows& transitions);

    std::vector<unsigned char> kind_;
    std::vector<int> transient_;
    int markedCount_ = 0;
    int longestRow_ = 0;
};
