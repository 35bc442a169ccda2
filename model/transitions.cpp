#include "model/transitions.h"

#include <algorithm>
#include <memory>

#include "model/network.h"
#include "model/parallel.h"
#include "model/work_progress.h"

RowAccumulator::RowAccumulator(int width) : sums_(static_cast<size_t>(width), 0.0), touched_(sums_.size(), 0) {}

void RowAccumulator::moveInto(std::vector<int>& columns, std::vector<double>& values) {
    sortColumns();
    for (const int column : columns_) {
        columns.push_back(column);
        values.push_back(sums_[column]);
        sums_[column] = 0.0;
        touched_[column] = 0;
    }
    columns_.clear();
}

// A sweep over the flags beats sorting once the row is dense enough.
void RowAccumulator::sortColumns() {
    const size_t width = sums_.size();
    if (columns_.size() * 16 < width) {
        std::sort(columns_.begin(), columns_.end());
        return;
    }
    columns_.clear();
    for (size_t c = 0; c < width; ++c)
        if (touched_[c]) columns_.push_back(static_cast<int>(c));
}

OutcomeEnumerator::OutcomeEnumerator(const NetworkModel& network, const NeighbourLists& neighbours,
                                     const ConfigurationList& configurations)
    : n_(network.nodeCount),
      alpha_(network.params[NetworkModel::Alpha].data()),
      beta_(network.params[NetworkModel::Beta].data()),
      gamma_(network.params[NetworkModel::Gamma].data()),
      configurations_(configurations),
      newPartner_(static_cast<size_t>(n_), 0),
      resolved_(static_cast<size_t>(n_), 0),
      row_(configurations.count) {
    buildTargets(network);
    buildLeafIndex(neighbours);
}

void OutcomeEnumerator::enumerateRow(int source, SparseRows& rows) {
    source_ = configurations_[source];
    weight_ = 1.0;
    enumerate(0);
    row_.moveInto(rows.column, rows.value);
    rows.rowStart.push_back(rows.column.size());
}

// The first node after partner value v (cyclically) linked to `node`; a
// target search accepts any non-zero link entry.
void OutcomeEnumerator::buildTargets(const NetworkModel& network) {
    targets_.assign(static_cast<size_t>(n_) * n_, -1);
    for (int node = 0; node < n_; ++node) {
        for (int v = 0; v < n_; ++v) {
            int candidate = v;
            for (int tried = 0; tried < n_; ++tried) {
                if (++candidate >= n_) candidate = 0;
                if (network.links[node][candidate] != 0) {
                    targets_[static_cast<size_t>(node) * n_ + v] = candidate;
                    break;
                }
            }
        }
    }
}

// Per node and partner value (-1 included), the value's contribution to the
// configuration index, or -1 when no configuration has it there.
void OutcomeEnumerator::buildLeafIndex(const NeighbourLists& neighbours) {
    digitValue_.assign(static_cast<size_t>(n_) * (n_ + 1), -1);
    int stride = 1;
    for (int i = 0; i < n_; ++i) {
        int* values = digitValue_.data() + static_cast<size_t>(i) * (n_ + 1) + 1;
        const auto& list = neighbours[i];
        if (list.empty()) {
            values[-1] = 0;
            continue;
        }
        for (size_t d = 0; d < list.size(); ++d) values[list[d]] = static_cast<int>(d) * stride;
        stride *= static_cast<int>(list.size());
    }
}

void OutcomeEnumerator::reachLeaf() {
    int index = 0;
    for (int i = 0; i < n_; ++i) {
        const int value = digitValue_[static_cast<size_t>(i) * (n_ + 1) + 1 + newPartner_[i]];
        if (value < 0) return;  // not a configuration: the weight is dropped
        index += value;
    }
    row_.add(index, weight_);
}

void OutcomeEnumerator::enumerate(int node) {
    if (node >= n_) {
        reachLeaf();
        return;
    }
    if (source_[node] < 0) {
        newPartner_[node] = -1;
        resolved_[node] = 1;
        enumerate(node + 1);
        return;
    }
    const int t = target(node, source_[node]);
    newPartner_[node] = t;
    if (t < node && (!resolved_[t] || newPartner_[t] == node)) {
        enumerateJoint(node, t);
        return;
    }
    resolved_[node] = 1;
    weight_ = (alpha_[node] * beta_[node]) * weight_;
    enumerate(node + 1);
}

// Node n and its target t < n may each be the one that moves, or neither.
void OutcomeEnumerator::enumerateJoint(int n, int t) {
    const double saved = weight_;
    const double g = gamma_[n] + gamma_[t];
    double gn = 0.5;
    double gt = 0.5;
    if (g != 0.0) {
        gn = gamma_[n] / g;
        gt = gamma_[t] / g;
    }
    const double o = alpha_[n] * alpha_[t];
    const double pn = ((gn * o + alpha_[n]) - o) * beta_[n];
    const double pt = ((gt * o + alpha_[t]) - o) * beta_[t];
    const double rest = (1 - pn) - pt;

    newPartner_[n] = source_[n];
    resolved_[n] = 0;
    resolved_[t] = 1;
    weight_ = pn * saved;
    enumerate(n + 1);

    newPartner_[n] = t;
    newPartner_[t] = source_[t];
    resolved_[n] = 1;
    resolved_[t] = 0;
    weight_ = pt * saved;
    enumerate(n + 1);

    newPartner_[t] = n;
    if (rest > 0) {
        newPartner_[n] = source_[n];
        newPartner_[t] = source_[t];
        resolved_[n] = 0;
        resolved_[t] = 0;
        weight_ = rest * saved;
        enumerate(n + 1);
    }
    weight_ = saved;
}

namespace {

constexpr long long RowsPerChunk = 8192;

// Appends `piece` to `rows` and releases it, so that the rows are held about
// once while the pieces are joined.
void appendRows(SparseRows& rows, SparseRows& piece) {
    const size_t offset = rows.column.size();
    rows.column.insert(rows.column.end(), piece.column.begin(), piece.column.end());
    rows.value.insert(rows.value.end(), piece.value.begin(), piece.value.end());
    for (size_t r = 1; r < piece.rowStart.size(); ++r) rows.rowStart.push_back(offset + piece.rowStart[r]);
    piece = SparseRows();
}

}  // namespace

SparseRows computeTransitions(const NetworkModel& network, const NeighbourLists& neighbours,
                              const ConfigurationList& configurations, int jobs, WorkProgress* progress) {
    const int h = configurations.count;
    const long long chunks = (h + RowsPerChunk - 1) / RowsPerChunk;
    std::vector<SparseRows> pieces(static_cast<size_t>(chunks));
    if (progress) progress->begin("enumerating transitions", h);
    std::vector<std::unique_ptr<OutcomeEnumerator>> enumerators(workerCount(jobs, h, RowsPerChunk));
    forEachChunk(jobs, h, RowsPerChunk, [&](int worker, long long chunk, long long begin, long long end) {
        auto& enumerator = enumerators[worker];
        if (!enumerator) enumerator = std::make_unique<OutcomeEnumerator>(network, neighbours, configurations);
        SparseRows& piece = pieces[chunk];
        for (long long source = begin; source < end; ++source) enumerator->enumerateRow(static_cast<int>(source), piece);
        addProgress(progress, end - begin);
    });
    enumerators.clear();

    SparseRows rows;
    size_t total = 0;
    for (const auto& piece : pieces) total += piece.column.size();
    rows.column.reserve(total);
    rows.value.reserve(total);
    rows.rowStart.reserve(static_cast<size_t>(h) + 1);
    for (auto& piece : pieces) appendRows(rows, piece);
    return rows;
}

std::vector<int> findSuccessors(const SparseRows& transitions) {
    const int h = transitions.rowCount();
    std::vector<int> successor(static_cast<size_t>(h), -1);
    for (int s = 0; s < h; ++s) {
        for (size_t k = transitions.begin(s); k < transitions.end(s); ++k) {
            if (transitions.value[k] == 1.0) {
                successor[s] = transitions.column[k];
                break;
            }
        }
    }
    return successor;
}
