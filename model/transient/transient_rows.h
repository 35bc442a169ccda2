#pragma once

#include <array>

#include "model/storage/sparse_rows.h"
#include "model/transient/transient_set.h"

// Configurations per block of work: the success curves' block, so that a
// curve summed block by block here adds in the same order as there.
constexpr long long ConfigurationsPerBlock = 8192;

// For each transient configuration l in [begin, end), in increasing order,
// row(l, sums) with sums[k] the sum over l's entries, in increasing column
// order, of weight x x[k][column]: K products of the same rows, read once.
template <int K, typename Row>
void sumTransientRows(const SparseRows& transitions, const TransientSet& set, const std::array<const double*, K> x,
                      long long begin, long long end, Row&& row) {
    const unsigned char* kinds = set.kinds();
    for (long long l = begin; l < end; ++l) {
        if (kinds[l] != TransientSet::Transient) continue;
        std::array<double, K> sums{};
        transitions.forEachEntry(static_cast<int>(l), [&](int column, double weight) {
            for (int k = 0; k < K; ++k) sums[k] += weight * x[k][column];
        });
        row(static_cast<int>(l), sums);
    }
}

// The sum of a block's values after a step, as the success curves add it:
// every configuration in increasing order, S counted as 1.
inline double curveBlockSum(const TransientSet& set, const double* next, long long begin, long long end) {
    const unsigned char* kinds = set.kinds();
    double sum = 0.0;
    for (long long l = begin; l < end; ++l) {
        if (kinds[l] == TransientSet::Transient)
            sum += next[l];
        else if (kinds[l] == TransientSet::Marked)
            sum += 1.0;
    }
    return sum;
}
