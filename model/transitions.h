#pragma once

#include <cstddef>
#include <utility>
#include <vector>

#include "model/configurations.h"

class NetworkModel;
class WorkProgress;

// One-step weights by source row; each row's entries in increasing column
// order. Columns without an entry weigh 0.0. An entry may hold an exact 0.0
// that an enumeration path of weight zero added.
//
// Readers go through rowCount, begin, end, column and weight (entries of row
// l are those with begin(l) <= k < end(l)), or forEachEntry in hot loops;
// writers append a row's entries in increasing column order and finish it.
// How the entries are stored is this class's own business.
class SparseRows {
public:
    int rowCount() const { return static_cast<int>(rowStart_.size()) - 1; }
    size_t entryCount() const { return column_.size(); }
    size_t begin(int row) const { return rowStart_[row]; }
    size_t end(int row) const { return rowStart_[row + 1]; }
    int column(size_t k) const { return column_[k]; }
    double weight(size_t k) const { return value_[k]; }

    // visit(column, weight) for every entry of `row`, in increasing column order.
    template <typename Visit>
    void forEachEntry(int row, Visit&& visit) const {
        for (size_t k = rowStart_[row], e = rowStart_[row + 1]; k < e; ++k) visit(column_[k], value_[k]);
    }

    // Appends an entry to the row being written; columns must increase.
    void append(int column, double weight) {
        column_.push_back(column);
        value_.push_back(weight);
    }
    // Ends the row being written; the next append starts a new one.
    void finishRow() { rowStart_.push_back(column_.size()); }

    // Appends every row of `piece`.
    void appendRows(const SparseRows& piece);
    void reserve(size_t rows, size_t entries);
    // No rows.
    void clear();

    // Rows from a list per row of (column, weight) pairs, for tests and small chains.
    static SparseRows fromRows(const std::vector<std::vector<std::pair<int, double>>>& rows);

private:
    friend class RowAccumulator;

    std::vector<size_t> rowStart_{0};
    std::vector<int> column_;
    std::vector<double> value_;
};

// Sums weights into the columns of one row in any order of columns, each
// column's additions in the order given, and hands the row out by column.
class RowAccumulator {
public:
    explicit RowAccumulator(int width);

    void add(int column, double weight) {
        if (!touched_[column]) {
            touched_[column] = 1;
            columns_.push_back(column);
        }
        sums_[column] += weight;
    }

    // Appends the row in increasing column order to `rows` and finishes it,
    // then starts an empty one.
    void moveInto(SparseRows& rows);
    // The same into plain arrays, without finishing any row.
    void moveInto(std::vector<int>& columns, std::vector<double>& values);

private:
    void sortColumns();
    void radixSortColumns();

    std::vector<double> sums_;
    std::vector<unsigned char> touched_;
    std::vector<int> columns_;
    std::vector<int> scratch_;
};

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

    // Appends the row of transitions out of configuration `source`.
    void enumerateRow(int source, SparseRows& rows);

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
    void enumerate(int node);
    void enumerateJoint(int n, int t);

    const int n_;
    const double* alpha_;
    const double* beta_;
    const double* gamma_;
    const ConfigurationList& configurations_;
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
    RowAccumulator row_;
};

// Every row of one-step weights, enumerated on up to `jobs` threads. The rows
// are the same for any number of jobs.
SparseRows computeTransitions(const NetworkModel& network, const NeighbourLists& neighbours,
                              const ConfigurationList& configurations, int jobs, WorkProgress* progress = nullptr);

// Per configuration, the first one it reaches with weight exactly 1.0, or -1.
std::vector<int> findSuccessors(const SparseRows& transitions);
