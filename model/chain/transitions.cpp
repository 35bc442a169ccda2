#include "model/chain/transitions.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>

#include "model/network/network.h"
#include "model/support/parallel.h"
#include "model/support/work_progress.h"

namespace {

// Outside any configuration: below any sum of the other entries' values.
constexpr long long OutsideValue = -(1LL << 40);

// Joint weights are kept in a table up to this many nodes.
constexpr int MaxNodesForWeightTable = 64;

}  // namespace

OutcomeEnumerator::OutcomeEnumerator(const NetworkModel& network, const NeighbourLists& neighbours,
                                     const ConfigurationList& configurations)
    : OutcomeEnumerator(network, neighbours, configurations.count) {
    configurations_ = &configurations;
}

OutcomeEnumerator::OutcomeEnumerator(const NetworkModel& network, const NeighbourLists& neighbours,
                                     int configurationCount)
    : n_(network.nodeCount),
      alpha_(network.params[NetworkModel::Alpha].data()),
      beta_(network.params[NetworkModel::Beta].data()),
      gamma_(network.params[NetworkModel::Gamma].data()),
      sourceTarget_(static_cast<size_t>(n_), -1),
      newPartner_(static_cast<size_t>(n_), 0),
      resolved_(static_cast<size_t>(n_), 0),
      row_(configurationCount) {
    buildTargets(network);
    buildLeafIndex(neighbours);
    buildWeights();
    for (int i = 0; i < n_; ++i) leafIndex_ += digitValue(i, 0);
}

void OutcomeEnumerator::enumerateRow(int source, SparseRows& rows) {
    enumerateRow(source, (*configurations_)[source], rows);
}

void OutcomeEnumerator::enumerateRow(int source, const int* entries, SparseRows& rows) {
    source_ = entries;
    sourceIndex_ = source;
    for (int node = 0; node < n_; ++node) sourceTarget_[node] = source_[node] < 0 ? -1 : target(node, source_[node]);
    weight_ = 1.0;
    const bool count = countEveryRow_ || mayPassPathLimit();
    paths_ = count ? 1 : 0;
    if (row_.direct())
        enumerateFromFirstNode<true>(count);
    else
        enumerateFromFirstNode<false>(count);
    row_.moveInto(rows);
}

template <bool Direct>
void OutcomeEnumerator::enumerateFromFirstNode(bool count) {
    if (count)
        enumerate<Direct, true>(0);
    else
        enumerate<Direct, false>(0);
}

// A path splits in at most three at a node whose target comes before it and
// nowhere else, so 3^k bounds the paths of a row with k such nodes.
bool OutcomeEnumerator::mayPassPathLimit() const {
    long long bound = 1;
    for (int node = 0; node < n_; ++node) {
        const int t = sourceTarget_[node];
        if (t < 0 || t >= node) continue;
        if (bound > pathLimit_ / 3) return true;
        bound *= 3;
    }
    return false;
}

size_t OutcomeEnumerator::memoryBytes() const {
    return targets_.capacity() * sizeof(int) + digitValue_.capacity() * sizeof(long long) +
           alphaBeta_.capacity() * sizeof(double) + jointWeights_.capacity() * sizeof(JointWeights) +
           (sourceTarget_.capacity() + newPartner_.capacity()) * sizeof(int) + resolved_.capacity() +
           row_.memoryBytes();
}

namespace {

// The first node after partner value v (cyclically) linked to `node`, or -1;
// a target search accepts any non-zero link entry.
int targetAfter(const NetworkModel& network, int node, int v) {
    const int n = network.nodeCount;
    int candidate = v;
    for (int tried = 0; tried < n; ++tried) {
        if (++candidate >= n) candidate = 0;
        if (network.links[node][candidate] != 0) return candidate;
    }
    return -1;
}

}  // namespace

void OutcomeEnumerator::buildTargets(const NetworkModel& network) {
    targets_.assign(static_cast<size_t>(n_) * n_, -1);
    for (int node = 0; node < n_; ++node)
        for (int v = 0; v < n_; ++v) targets_[static_cast<size_t>(node) * n_ + v] = targetAfter(network, node, v);
}

double outcomePathBound(const NetworkModel& network, const NeighbourLists& neighbours) {
    double bound = 1.0;
    for (int node = 0; node < network.nodeCount; ++node) {
        if (neighbours[node].empty()) continue;
        double cases = 0.0;
        for (const int v : neighbours[node]) {
            const int t = targetAfter(network, node, v);
            cases += t >= 0 && t < node ? 3.0 : 1.0;
        }
        bound *= cases;
    }
    return bound;
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
template <bool Direct, bool Count>
void OutcomeEnumerator::enumerate(int node) {
    for (; node < n_; ++node) {
        const int t = sourceTarget_[node];
        setPartner(node, t);
        if (t >= 0 && t < node && (!resolved_[t] || newPartner_[t] == node)) {
            enumerateJoint<Direct, Count>(node, t);
            return;
        }
        resolved_[node] = 1;
        if (t >= 0) weight_ = alphaBeta_[node] * weight_;
    }
    // A leaf that is not a configuration drops its weight.
    if (leafIndex_ < 0) return;
    if constexpr (Direct)
        row_.addDirect(static_cast<int>(leafIndex_), weight_);
    else
        row_.addHashed(static_cast<int>(leafIndex_), weight_);
}

// Node n and its target t < n may each be the one that moves, or neither.
template <bool Direct, bool Count>
void OutcomeEnumerator::enumerateJoint(int n, int t) {
    const double saved = weight_;
    const JointWeights weights =
        jointWeights_.empty() ? jointWeights(n, t) : jointWeights_[static_cast<size_t>(n) * n_ + t];
    // A path becomes two or three here: the row's leaves are one plus what
    // every joint case adds, counted before any of them is followed.
    if constexpr (Count) {
        paths_ += weights.rest > 0 ? 2 : 1;
        if (paths_ > pathLimit_) refuseTooManyPaths();
    }

    setPartner(n, source_[n]);
    resolved_[n] = 0;
    resolved_[t] = 1;
    weight_ = weights.pn * saved;
    enumerate<Direct, Count>(n + 1);

    setPartner(n, t);
    setPartner(t, source_[t]);
    resolved_[n] = 1;
    resolved_[t] = 0;
    weight_ = weights.pt * saved;
    enumerate<Direct, Count>(n + 1);

    setPartner(t, n);
    if (weights.rest > 0) {
        setPartner(n, source_[n]);
        setPartner(t, source_[t]);
        resolved_[n] = 0;
        resolved_[t] = 0;
        weight_ = weights.rest * saved;
        enumerate<Direct, Count>(n + 1);
    }
    weight_ = saved;
}

void OutcomeEnumerator::refuseTooManyPaths() const { throw TooManyOutcomePaths(sourceIndex_, pathLimit_); }

TooManyOutcomePaths::TooManyOutcomePaths(int source, long long limit)
    : EngineError(BeyondLimit, "configuration " + std::to_string(source) + " has more than " + std::to_string(limit) +
                                   " outcome paths to follow in one step"),
      source_(source),
      limit_(limit) {}

TransitionsPastMemory::TransitionsPastMemory(long long rowsDone, size_t entries, size_t bytes)
    : EngineError(BeyondLimit, "the transitions outgrew their memory after " + std::to_string(rowsDone) + " rows"),
      rowsDone_(rowsDone),
      entries_(entries),
      bytes_(bytes) {}

namespace {

constexpr long long MaxRowsPerChunk = 4096;

// How the rows keep their weights, for the pieces that join them.
enum { WeightsUndecided, IndexWeights, KeepValues };
constexpr double EntriesPerChunk = 1 << 16;

void checkMemory(const SparseRows& rows, const TransitionBudget& budget, long long rowsDone) {
    if (rows.memoryBytes() > budget.maxRowBytes)
        throw TransitionsPastMemory(rowsDone, rows.entryCount(), rows.memoryBytes());
}

// Each worker enumerates a chunk into scratch of its own, then appends it
// once every chunk before it has been appended.
class ChunkWorker {
public:
    ChunkWorker(const NetworkModel& network, const NeighbourLists& neighbours, const ConfigurationList& configurations,
                long long pathLimit)
        : enumerator_(network, neighbours, configurations) {
        enumerator_.limitPaths(pathLimit);
        enumerator_.countPathsOnlyNearLimit();
    }

    // `weights`: how the rows the piece joins keep their weights, for the
    // piece to keep its own so.
    void enumerate(long long begin, long long end, int weights) {
        piece_.clear();
        if (weights == KeepValues) piece_.keepValues();
        if (weights == IndexWeights) piece_.indexWeights();
        for (long long source = begin; source < end; ++source) enumerator_.enumerateRow(static_cast<int>(source), piece_);
    }
    const SparseRows& piece() const { return piece_; }

private:
    OutcomeEnumerator enumerator_;
    SparseRows piece_;
};

}  // namespace

long long rowsPerChunk(double entriesPerRow) {
    if (!(entriesPerRow > 0)) return MaxRowsPerChunk;
    return std::max(1LL, std::min(MaxRowsPerChunk, static_cast<long long>(EntriesPerChunk / entriesPerRow)));
}

SparseRows computeTransitions(const NetworkModel& network, const NeighbourLists& neighbours,
                              const ConfigurationList& configurations, int jobs, WorkProgress* progress,
                              const TransitionBudget& budget) {
    const int h = configurations.count;
    const long long chunkRows = rowsPerChunk(budget.entriesPerRow);
    SparseRows rows;
    rows.reserve(static_cast<size_t>(h), static_cast<size_t>(budget.entriesPerRow * h));
    if (budget.keepValues) rows.keepValues();
    if (progress) progress->begin("enumerating transitions", h);
    if (h <= chunkRows) {
        // One chunk: straight into the rows, with nothing to join.
        OutcomeEnumerator enumerator(network, neighbours, configurations);
        enumerator.limitPaths(budget.maxPathsPerRow);
        enumerator.countPathsOnlyNearLimit();
        for (int source = 0; source < h; ++source) {
            enumerator.enumerateRow(source, rows);
            checkMemory(rows, budget, source + 1);
        }
        addProgress(progress, h);
        return rows;
    }
    std::vector<std::unique_ptr<ChunkWorker>> workers(workerCount(jobs, h, chunkRows));
    std::mutex appending;
    std::condition_variable appended;
    long long nextChunk = 0;
    bool failed = false;
    // Pieces keep their weights as the rows do: as indices, looked up by the
    // workers, once the rows have them, and as values once the rows keep those.
    std::atomic<int> weights{budget.keepValues ? KeepValues : WeightsUndecided};
    forEachChunk(jobs, h, chunkRows, [&](int worker, long long chunk, long long begin, long long end) {
        try {
            auto& chunkWorker = workers[worker];
            if (!chunkWorker)
                chunkWorker = std::make_unique<ChunkWorker>(network, neighbours, configurations, budget.maxPathsPerRow);
            chunkWorker->enumerate(begin, end, weights.load(std::memory_order_relaxed));
            // Chunks are handed out in order, so the lowest one still out is
            // being worked on and never waits: no worker waits forever, unless
            // a chunk failed, which releases every waiter.
            std::unique_lock<std::mutex> lock(appending);
            appended.wait(lock, [&] { return nextChunk == chunk || failed; });
            if (failed) return;
            rows.appendRows(chunkWorker->piece());
            checkMemory(rows, budget, end);
            weights.store(rows.keepsValues() ? KeepValues : rows.indexesWeights() ? IndexWeights : WeightsUndecided,
                          std::memory_order_relaxed);
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
    int first = -1;
    transitions.forEachEntryOfRows(
        0, h,
        [&](int column, double weight) {
            if (first < 0 && weight == 1.0) first = column;
        },
        [&](int row) {
            successor[row] = first;
            first = -1;
        });
    return successor;
}
