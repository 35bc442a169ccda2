#pragma once

#include <vector>

#include "model/storage/sparse_rows.h"

// The closed classes of a chain: the strongly connected components of its
// graph of positive weights that no positive weight leaves. Every
// configuration ends in one of them; in a class the process stays for ever,
// in a proportion of steps that its stationary distribution gives. The other
// configurations are transient.
struct ClosedClasses {
    // Per configuration, its class (0 to count() - 1), or -1 when transient.
    std::vector<int> classOf;
    // Per class, its configurations in increasing order; classes in the order
    // of their first configuration.
    std::vector<std::vector<int>> members;

    int count() const { return static_cast<int>(members.size()); }
    // Whether every configuration of `c` moves for certain to the next of a
    // cycle: its one entry, of weight 1, lies in the class.
    bool isCycle(const SparseRows& rows, int c) const;
    // Whether some configuration of `c` may stay where it is in a step, which
    // makes the class aperiodic.
    bool mayStay(const SparseRows& rows, int c) const;
    // The configurations in no class, in increasing order.
    std::vector<int> transient() const;
};

// The closed classes of the chain with one-step weights `rows`, by Tarjan's
// algorithm without recursion, in time and memory linear in the rows.
ClosedClasses findClosedClasses(const SparseRows& rows);
