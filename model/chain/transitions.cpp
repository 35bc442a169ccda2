#include "model/chain/transitions.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>

#include "model/network/network.h"
#include "model/support/parallel.h"
#include "model/support/work_progress.h"

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

// Where the rows' certain successors and success chances go, each row's to
// slots of its own, so that workers write them side by side.
struct RowFacts {
    std::vector<int>& successors;
    std::vector<double>* chances;
    int nodes;
    std::atomic<long long>& mostLeaves;

    void record(const OutcomeRules& rules, long long source) const {
        successors[source] = rules.certainSuccessor();
        const long long leaves = rules.leafCount();
        for (long long most = mostLeaves.load(std::memory_order_relaxed);
             leaves > most && !mostLeaves.compare_exchange_weak(most, leaves, std::memory_order_relaxed);) {
        }
        const double* rowChances = rules.successChances();
        if (chances && rowChances)
            std::copy(rowChances, rowChances + nodes, chances->begin() + source * nodes);
    }
};

std::unique_ptr<OutcomeRules> limitedRules(ChainRules rules, const NetworkModel& network,
                                           const NeighbourLists& neighbours, int configurationCount,
                                           long long pathLimit) {
    std::unique_ptr<OutcomeRules> enumerator = makeOutcomeRules(rules, network, neighbours, configurationCount);
    enumerator->limitPaths(pathLimit);
    enumerator->countPathsOnlyNearLimit();
    return enumerator;
}

// Each worker enumerates a chunk into scratch of its own, then appends it
// once every chunk before it has been appended.
class ChunkWorker {
public:
    ChunkWorker(ChainRules rules, const NetworkModel& network, const NeighbourLists& neighbours,
                const ConfigurationList& configurations, long long pathLimit)
        : configurations_(configurations),
          enumerator_(limitedRules(rules, network, neighbours, configurations.count, pathLimit)) {}

    // `weights`: how the rows the piece joins keep their weights, for the
    // piece to keep its own so.
    void enumerate(long long begin, long long end, int weights, const RowFacts& facts) {
        piece_.clear();
        if (weights == KeepValues) piece_.keepValues();
        if (weights == IndexWeights) piece_.indexWeights();
        for (long long source = begin; source < end; ++source) {
            enumerator_->enumerateRow(static_cast<int>(source), configurations_, piece_);
            facts.record(*enumerator_, source);
        }
    }
    const SparseRows& piece() const { return piece_; }

private:
    const ConfigurationList& configurations_;
    std::unique_ptr<OutcomeRules> enumerator_;
    SparseRows piece_;
};

}  // namespace

long long rowsPerChunk(double entriesPerRow) {
    if (!(entriesPerRow > 0)) return MaxRowsPerChunk;
    return std::max(1LL, std::min(MaxRowsPerChunk, static_cast<long long>(EntriesPerChunk / entriesPerRow)));
}

ChainRows computeTransitions(ChainRules rules, const NetworkModel& network, const NeighbourLists& neighbours,
                             const ConfigurationList& configurations, int jobs, WorkProgress* progress,
                             const TransitionBudget& budget, bool keepSuccessChances) {
    const int h = configurations.count;
    const long long chunkRows = rowsPerChunk(budget.entriesPerRow);
    ChainRows built;
    built.successors.assign(static_cast<size_t>(h), -1);
    if (keepSuccessChances && rules == ChainRules::Process)
        built.successChances.assign(static_cast<size_t>(h) * network.nodeCount, 0.0);
    std::atomic<long long> mostLeaves{0};
    const RowFacts facts{built.successors, built.successChances.empty() ? nullptr : &built.successChances,
                         network.nodeCount, mostLeaves};
    SparseRows& rows = built.transitions;
    rows.reserve(static_cast<size_t>(h), static_cast<size_t>(budget.entriesPerRow * h));
    if (budget.keepValues) rows.keepValues();
    if (progress) progress->begin("enumerating transitions", h);
    if (h <= chunkRows) {
        // One chunk: straight into the rows, with nothing to join.
        const std::unique_ptr<OutcomeRules> enumerator =
            limitedRules(rules, network, neighbours, h, budget.maxPathsPerRow);
        for (int source = 0; source < h; ++source) {
            enumerator->enumerateRow(source, configurations, rows);
            facts.record(*enumerator, source);
            checkMemory(rows, budget, source + 1);
        }
        addProgress(progress, h);
        built.mostLeavesPerRow = mostLeaves;
        return built;
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
                chunkWorker = std::make_unique<ChunkWorker>(rules, network, neighbours, configurations,
                                                            budget.maxPathsPerRow);
            chunkWorker->enumerate(begin, end, weights.load(std::memory_order_relaxed), facts);
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
    built.mostLeavesPerRow = mostLeaves;
    return built;
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
