#include "model/transitions.h"

#include <algorithm>
#include <condition_variable>
#include <memory>
#include <mutex>

#include "model/network.h"
#include "model/parallel.h"
#include "model/work_progress.h"

RowAccumulator::RowAccumulator(int width) : sums_(static_cast<size_t>(width), 0.0), touched_(sums_.size(), 0) {}

void SparseRows::appendRows(const SparseRows& piece) {
    const size_t offset = column_.size();
    column_.insert(column_.end(), piece.column_.begin(), piece.column_.end());
    value_.insert(value_.end(), piece.value_.begin(), piece.value_.end());
    for (size_t r = 1; r < piece.rowStart_.size(); ++r) rowStart_.push_back(offset + piece.rowStart_[r]);
}

void SparseRows::reserve(size_t rows, size_t entries) {
    rowStart_.reserve(rows + 1);
    column_.reserve(entries);
    value_.reserve(entries);
}

void SparseRows::clear() {
    rowStart_.assign(1, 0);
    column_.clear();
    value_.clear();
}

SparseRows SparseRows::fromRows(const std::vector<std::vector<std::pair<int, double>>>& rows) {
    SparseRows sparse;
    for (const auto& row : rows) {
        for (const auto& [column, weight] : row) sparse.append(column, weight);
        sparse.finishRow();
    }
    return sparse;
}

void RowAccumulator::moveInto(SparseRows& rows) {
    moveInto(rows.column_, rows.value_);
    rows.finishRow();
}

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

// A sweep over the flags beats sorting once the row is dense enough, and a
// radix sort beats comparisons once it is long.
void RowAccumulator::sortColumns() {
    const size_t width = sums_.size();
    if (columns_.size() * 16 >= width) {
        columns_.clear();
        for (size_t c = 0; c < width; ++c)
            if (touched_[c]) columns_.push_back(static_cast<int>(c));
    } else if (columns_.size() > 64) {
        radixSortColumns();
    } else {
        std::sort(columns_.begin(), columns_.end());
    }
}

// Least significant byte first, as many passes as the widest column needs.
void RowAccumulator::radixSortColumns() {
    scratch_.resize(columns_.size());
    for (unsigned shift = 0; (sums_.size() - 1) >> shift != 0; shift += 8) {
        size_t start[257] = {};
        for (const int column : columns_) ++start[((static_cast<unsigned>(column) >> shift) & 0xff) + 1];
        for (int digit = 0; digit < 256; ++digit) start[digit + 1] += start[digit];
        for (const int column : columns_) scratch_[start[(static_cast<unsigned>(column) >> shift) & 0xff]++] = column;
        columns_.swap(scratch_);
    }
}

namespace {

// Outside any configuration: below any sum of the other entries' values.
constexpr long long OutsideValue = -(1LL << 40);

// Joint weights are kept in a table up to this many nodes.
constexpr int MaxNodesForWeightTable = 64;

}  // namespace

OutcomeEnumerator::OutcomeEnumerator(const NetworkModel& network, const NeighbourLists& neighbours,
                                     const ConfigurationList& configurations)
    : n_(network.nodeCount),
      alpha_(network.params[NetworkModel::Alpha].data()),
      beta_(network.params[NetworkModel::Beta].data()),
      gamma_(network.params[NetworkModel::Gamma].data()),
      configurations_(configurations),
      sourceTarget_(static_cast<size_t>(n_), -1),
      newPartner_(static_cast<size_t>(n_), 0),
      resolved_(static_cast<size_t>(n_), 0),
      row_(configurations.count) {
    buildTargets(network);
    buildLeafIndex(neighbours);
    buildWeights();
    for (int i = 0; i < n_; ++i) leafIndex_ += digitValue(i, 0);
}

void OutcomeEnumerator::enumerateRow(int source, SparseRows& rows) {
    source_ = configurations_[source];
    for (int node = 0; node < n_; ++node) sourceTarget_[node] = source_[node] < 0 ? -1 : target(node, source_[node]);
    weight_ = 1.0;
    enumerate(0);
    row_.moveInto(rows);
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

void OutcomeEnumerator::buildLeafIndex(const NeighbourLists& neighbours) {
    digitValue_.assign(static_cast<size_t>(n_) * (n_ + 1), OutsideValue);
    long long stride = 1;
    for (int i = 0; i < n_; ++i) {
        long long* values = digitValue_.data() + static_cast<size_t>(i) * (n_ + 1) + 1;
        const auto& list = neighbours[i];
        if (list.empty()) {
            values[-1] = 0;
            continue;
        }
        for (size_t d = 0; d < list.size(); ++d) values[list[d]] = static_cast<long long>(d) * stride;
        stride *= static_cast<long long>(list.size());
    }
}

// The products are those the enumeration would form, so caching them changes
// no bit of any weight.
void OutcomeEnumerator::buildWeights() {
    alphaBeta_.resize(static_cast<size_t>(n_));
    for (int i = 0; i < n_; ++i) alphaBeta_[i] = alpha_[i] * beta_[i];
    if (n_ > MaxNodesForWeightTable) return;
    jointWeights_.resize(static_cast<size_t>(n_) * n_);
    for (int n = 0; n < n_; ++n)
        for (int t = 0; t < n; ++t) jointWeights_[static_cast<size_t>(n) * n_ + t] = jointWeights(n, t);
}

OutcomeEnumerator::JointWeights OutcomeEnumerator::jointWeights(int n, int t) const {
    const double g = gamma_[n] + gamma_[t];
    double gn = 0.5;
    double gt = 0.5;
    if (g != 0.0) {
        gn = gamma_[n] / g;
        gt = gamma_[t] / g;
    }
    const double o = alpha_[n] * alpha_[t];
    JointWeights weights;
    weights.pn = ((gn * o + alpha_[n]) - o) * beta_[n];
    weights.pt = ((gt * o + alpha_[t]) - o) * beta_[t];
    weights.rest = (1 - weights.pn) - weights.pt;
    return weights;
}

// Nodes in the single case go on in the same loop: their factor is taken
// and never restored, so nothing waits for their return.
void OutcomeEnumerator::enumerate(int node) {
    for (; node < n_; ++node) {
        const int t = sourceTarget_[node];
        setPartner(node, t);
        if (t >= 0 && t < node && (!resolved_[t] || newPartner_[t] == node)) {
            enumerateJoint(node, t);
            return;
        }
        resolved_[node] = 1;
        if (t >= 0) weight_ = alphaBeta_[node] * weight_;
    }
    // A leaf that is not a configuration drops its weight.
    if (leafIndex_ >= 0) row_.add(static_cast<int>(leafIndex_), weight_);
}

// Node n and its target t < n may each be the one that moves, or neither.
void OutcomeEnumerator::enumerateJoint(int n, int t) {
    const double saved = weight_;
    const JointWeights weights =
        jointWeights_.empty() ? jointWeights(n, t) : jointWeights_[static_cast<size_t>(n) * n_ + t];

    setPartner(n, source_[n]);
    resolved_[n] = 0;
    resolved_[t] = 1;
    weight_ = weights.pn * saved;
    enumerate(n + 1);

    setPartner(n, t);
    setPartner(t, source_[t]);
    resolved_[n] = 1;
    resolved_[t] = 0;
    weight_ = weights.pt * saved;
    enumerate(n + 1);

    setPartner(t, n);
    if (weights.rest > 0) {
        setPartner(n, source_[n]);
        setPartner(t, source_[t]);
        resolved_[n] = 0;
        resolved_[t] = 0;
        weight_ = weights.rest * saved;
        enumerate(n + 1);
    }
    weight_ = saved;
}

namespace {

constexpr long long RowsPerChunk = 4096;

// Appends `piece` to `rows`; the first append reserves room for all rows at
// twice the piece's density, so that the rows are rarely moved as they grow.
void appendRows(SparseRows& rows, const SparseRows& piece, int totalRows) {
    if (rows.entryCount() == 0 && piece.rowCount() > 0) {
        // Reserved room that is never written takes address space, not memory.
        const size_t estimate = piece.entryCount() * (static_cast<size_t>(totalRows) / piece.rowCount() + 1) * 2;
        rows.reserve(static_cast<size_t>(totalRows), estimate);
    }
    rows.appendRows(piece);
}

// Each worker enumerates a chunk into scratch of its own, then appends it
// once every chunk before it has been appended.
class ChunkWorker {
public:
    ChunkWorker(const NetworkModel& network, const NeighbourLists& neighbours, const ConfigurationList& configurations)
        : enumerator_(network, neighbours, configurations) {}

    void enumerate(long long begin, long long end) {
        piece_.clear();
        for (long long source = begin; source < end; ++source) enumerator_.enumerateRow(static_cast<int>(source), piece_);
    }
    const SparseRows& piece() const { return piece_; }

private:
    OutcomeEnumerator enumerator_;
    SparseRows piece_;
};

}  // namespace

SparseRows computeTransitions(const NetworkModel& network, const NeighbourLists& neighbours,
                              const ConfigurationList& configurations, int jobs, WorkProgress* progress) {
    const int h = configurations.count;
    SparseRows rows;
    rows.reserve(static_cast<size_t>(h), 0);
    if (progress) progress->begin("enumerating transitions", h);
    if (h <= RowsPerChunk) {
        // One chunk: straight into the rows, with nothing to join.
        OutcomeEnumerator enumerator(network, neighbours, configurations);
        for (int source = 0; source < h; ++source) enumerator.enumerateRow(source, rows);
        addProgress(progress, h);
        return rows;
    }
    std::vector<std::unique_ptr<ChunkWorker>> workers(workerCount(jobs, h, RowsPerChunk));
    std::mutex appending;
    std::condition_variable appended;
    long long nextChunk = 0;
    bool failed = false;
    forEachChunk(jobs, h, RowsPerChunk, [&](int worker, long long chunk, long long begin, long long end) {
        try {
            auto& chunkWorker = workers[worker];
            if (!chunkWorker) chunkWorker = std::make_unique<ChunkWorker>(network, neighbours, configurations);
            chunkWorker->enumerate(begin, end);
            // Chunks are handed out in order, so the lowest one still out is
            // being worked on and never waits: no worker waits forever, unless
            // a chunk failed, which releases every waiter.
            std::unique_lock<std::mutex> lock(appending);
            appended.wait(lock, [&] { return nextChunk == chunk || failed; });
            if (failed) return;
            appendRows(rows, chunkWorker->piece(), h);
            ++nextChunk;
        } catch (...) {
            {
                std::lock_guard<std::mutex> lock(appending);
                failed = true;
            }
            appended.notify_all();
            throw;
        }
        appended.notify_all();
        addProgress(progress, end - begin);
    });
    return rows;
}

std::vector<int> findSuccessors(const SparseRows& transitions) {
    const int h = transitions.rowCount();
    std::vector<int> successor(static_cast<size_t>(h), -1);
    for (int s = 0; s < h; ++s) {
        for (size_t k = transitions.begin(s); k < transitions.end(s); ++k) {
            if (transitions.weight(k) == 1.0) {
                successor[s] = transitions.column(k);
                break;
            }
        }
    }
    return successor;
}
