#include "model/chain/chain_estimate.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <new>

#include "model/network/network.h"
#include "model/support/work_progress.h"

namespace {

// The sample: rows drawn at random with a fixed seed, until 2^16 rows or
// until their outcome paths pass a bound of about a quarter second; with
// fewer rows than that, every row in a random order. Rows in the numbering's
// own order, or at regular strides, would share the partners of the first
// nodes, whose digits vary fastest.
constexpr long long SampleRows = 1LL << 16;
constexpr long long SamplePaths = 1LL << 24;
// When a bound shows that the rows fit, the sample only sizes the work and
// guesses how weights are kept: a few milliseconds.
constexpr long long SizingPaths = 1LL << 16;
// The large sample stops early, from this many paths on, once its estimate
// with every weight kept as a value is below a quarter of the limit and the
// sample has shown how weights will be kept: far from the limit a closer
// estimate changes no decision, and the build still stops at the limit if
// the sample was wrong.
constexpr long long FirstSettledCheck = 1LL << 20;
constexpr double SettledMargin = 4.0;
// Sampled rows are held until this many entries, then let go.
constexpr size_t SampleEntriesHeld = size_t{1} << 21;

// Bytes per configuration: the marking's successors, kinds, decisions, tree
// children and their starts and its walk's path; the curves' two vectors.
constexpr double MarkingBytes = 34.0;
constexpr double CurveBytes = 16.0;
// Room a worker thread takes beyond its scratch, mostly its stack.
constexpr double ThreadBytes = 256.0 * 1024;
// Bytes per entry a growing vector may hold while it doubles.
constexpr double GrowthFactor = 1.5;

uint64_t mixBits(uint64_t x) {
    x += 0x9E3779B97F4A7C15ULL;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
    return x ^ (x >> 31);
}

// The rows to count, in the order to count them.
std::vector<long long> sampleOrder(long long h) {
    std::vector<long long> rows;
    if (h <= SampleRows) {
        for (long long row = 0; row < h; ++row) rows.push_back(row);
        for (long long k = h - 1; k > 0; --k)
            std::swap(rows[k], rows[mixBits(static_cast<uint64_t>(k)) % static_cast<uint64_t>(k + 1)]);
    } else {
        for (long long k = 0; k < SampleRows; ++k)
            rows.push_back(static_cast<long long>(mixBits(static_cast<uint64_t>(k)) % static_cast<uint64_t>(h)));
    }
    return rows;
}

struct Sample {
    long long rows = 0;
    long long entries = 0;
    long long largestRow = 0;
    // Weights are expected to outgrow the table; they did on the sample.
    bool keepValues = false;
    bool overflowed = false;
    bool exact = false;
};

// Whether the weights of all rows will outgrow the table of distinct
// values, judged from how many new values the sample's later entries still
// brought: few networks have a handful of values that every row repeats,
// others a new value in most entries.
class DistinctWeights {
public:
    void update(const SparseRows& held) {
        if (decided_) return;
        if (held.keepsValues()) {
            overflowed_ = true;
            decide(true);
        } else if (held.entryCount() >= 2 * lastEntries_) {
            earlierEntries_ = lastEntries_;
            earlierDistinct_ = lastDistinct_;
            lastEntries_ = held.entryCount();
            lastDistinct_ = held.tableSize();
        }
    }
    // Decides once the rows are `transitions` in all, `held` of them seen.
    void decide(const SparseRows& held, double transitions) {
        if (decided_) return;
        update(held);
        if (decided_) return;
        decide(projectedDistinct(held, transitions) > static_cast<double>(SparseRows::MaxTableSize));
    }
    // Whether more rows could still change the decision: not once it is
    // made, nor while the values seen so far, going on at their latest rate,
    // fit the table.
    bool settled(const SparseRows& held, double transitions) const {
        return decided_ || projectedDistinct(held, transitions) <= static_cast<double>(SparseRows::MaxTableSize);
    }
    bool overflows() const { return overflows_; }
    bool overflowed() const { return overflowed_; }

private:
    // The distinct weights of `transitions` entries, new ones coming at the
    // rate of the entries since the earlier count.
    double projectedDistinct(const SparseRows& held, double transitions) const {
        const double seen = static_cast<double>(held.entryCount());
        const double newPerEntry = held.entryCount() > earlierEntries_
                                       ? static_cast<double>(held.tableSize() - earlierDistinct_) /
                                             static_cast<double>(held.entryCount() - earlierEntries_)
                                       : 0.0;
        return static_cast<double>(held.tableSize()) + newPerEntry * std::max(0.0, transitions - seen);
    }
    void decide(bool overflows) {
        decided_ = true;
        overflows_ = overflows;
    }

    bool decided_ = false;
    bool overflows_ = false;
    bool overflowed_ = false;
    size_t earlierEntries_ = 0;
    size_t earlierDistinct_ = 0;
    size_t lastEntries_ = 0;
    size_t lastDistinct_ = 0;
};

Sample sampleRows(ChainRules rules, const NetworkModel& network, const NeighbourLists& neighbours, int h, long long maxPathsPerRow,
                  long long samplePaths, WorkProgress* progress,
                  const std::function<bool(const Sample&)>& settled = nullptr) {
    const std::vector<long long> order = sampleOrder(h);
    const std::unique_ptr<OutcomeRules> enumerator = makeOutcomeRules(rules, network, neighbours, h);
    enumerator->limitPaths(maxPathsPerRow);
    SparseRows held;
    held.indexWeights();
    DistinctWeights distinct;
    std::vector<int> entries(neighbours.size());
    Sample sample;
    long long paths = 0;
    long long nextCheck = FirstSettledCheck;
    if (progress) progress->begin("estimating memory", static_cast<long long>(order.size()));
    for (size_t k = 0; k < order.size() && paths < samplePaths; ++k) {
        const long long row = order[k];
        configurationEntries(neighbours, row, entries.data());
        const size_t before = held.entryCount();
        enumerator->enumerateRow(static_cast<int>(row), entries.data(), held);
        const long long count = static_cast<long long>(held.entryCount() - before);
        paths += enumerator->pathCount();
        ++sample.rows;
        sample.entries += count;
        sample.largestRow = std::max(sample.largestRow, count);
        distinct.update(held);
        if (held.entryCount() > SampleEntriesHeld) {
            distinct.decide(held, static_cast<double>(sample.entries) / sample.rows * h);
            held.clear();
            held.keepValues();
        }
        addProgress(progress, 1);
        if (settled && paths >= nextCheck) {
            if (settled(sample) && distinct.settled(held, static_cast<double>(sample.entries) / sample.rows * h)) break;
            nextCheck = 2 * paths;
        }
    }
    distinct.decide(held, sample.rows > 0 ? static_cast<double>(sample.entries) / sample.rows * h : 0.0);
    sample.keepValues = distinct.overflows();
    sample.overflowed = distinct.overflowed();
    sample.exact = sample.rows == h && h <= SampleRows;
    return sample;
}

// Blocks after the first are filled whole; the first, or the last, holds
// room for at most as many entries again as it has.
double rowBytesFor(double transitions, int h, bool keepValues) {
    const double entryBytes = keepValues ? SparseRows::ValueEntryBytes : SparseRows::IndexedEntryBytes;
    const double startBytes = transitions > 4294967295.0 ? 8.0 : 4.0;
    const double room = std::min(transitions, static_cast<double>(size_t{1} << 20)) * entryBytes;
    const double table = std::min(transitions, static_cast<double>(SparseRows::MaxTableSize)) *
                         (sizeof(double) + 2 * sizeof(uint32_t));
    return transitions * entryBytes + (h + 1.0) * startBytes + room + table;
}

double workerBytesFor(const Sample& sample, int h, int n, double entriesPerRow) {
    const double chunkEntries = std::max(static_cast<double>(rowsPerChunk(entriesPerRow)) * entriesPerRow,
                                         static_cast<double>(sample.largestRow));
    const double piece = chunkEntries * SparseRows::ValueEntryBytes * GrowthFactor +
                         SparseRows::MaxTableSize * (sizeof(double) + 2 * sizeof(uint32_t));
    const double accumulator = h <= RowAccumulator::MaxDirectWidth
                                   ? h * (sizeof(double) + 1.0) + sample.largestRow * 2.0 * sizeof(int)
                                   : sample.largestRow * 64.0;
    const double enumerator = static_cast<double>(n) * n * 40.0;
    return piece + accumulator + enumerator + ThreadBytes;
}

}  // namespace

double ChainEstimate::bytes(int jobs) const {
    return rowBytes + chainBytes + std::max(passingBytes(), jobs * workerBytes);
}

namespace {

ChainEstimate estimateFrom(const Sample& sample, const NetworkModel& network, int h, double keptBytes,
                           double transitionBound) {
    ChainEstimate estimate;
    estimate.configurations = h;
    estimate.exact = sample.exact;
    estimate.entriesPerRow = sample.rows > 0 ? static_cast<double>(sample.entries) / sample.rows : 0.0;
    estimate.transitions = sample.exact ? static_cast<double>(sample.entries)
                                        : std::min(estimate.entriesPerRow * h, transitionBound);
    estimate.keepValues = sample.keepValues;
    estimate.rowBytes = rowBytesFor(estimate.transitions, h, estimate.keepValues);
    estimate.chainBytes = static_cast<double>(h) * network.nodeCount * sizeof(int) + h / 8.0;
    estimate.markingBytes = h * MarkingBytes;
    estimate.curveBytes = h * CurveBytes;
    estimate.keptBytes = keptBytes;
    estimate.workerBytes = workerBytesFor(sample, h, network.nodeCount, estimate.entriesPerRow);
    return estimate;
}

}  // namespace

// Counting a large sample costs as much as enumerating a small network, so
// the large sample is taken only when the bound on all outcome paths leaves
// doubt that the rows fit.
ChainEstimate estimateChain(ChainRules rules, const NetworkModel& network, const NeighbourLists& neighbours,
                            int configurationCount, const ChainLimits& limits, double keptBytes,
                            WorkProgress* progress) {
    const int h = configurationCount;
    const double bound = outcomePathBound(rules, network, neighbours);
    Sample sizing = sampleRows(rules, network, neighbours, h, limits.maxPathsPerRow, SizingPaths, progress);
    // Too few entries to judge how many distinct weights all rows have: only
    // an overflow counts, and otherwise the rows find out as they are built.
    if (!sizing.exact) sizing.keepValues = sizing.overflowed;
    ChainEstimate estimate = estimateFrom(sizing, network, h, keptBytes, bound);
    if (estimate.exact) return estimate;
    ChainEstimate worst = estimate;
    worst.transitions = bound;
    worst.rowBytes = rowBytesFor(bound, h, true);
    if (worst.bytes(1) <= limits.maxBytes) return estimate;
    const auto settled = [&](const Sample& partial) {
        ChainEstimate pessimistic = estimateFrom(partial, network, h, keptBytes, bound);
        pessimistic.rowBytes = rowBytesFor(pessimistic.transitions, h, true);
        return pessimistic.bytes(1) * SettledMargin <= limits.maxBytes;
    };
    const Sample sample = sampleRows(rules, network, neighbours, h, limits.maxPathsPerRow, SamplePaths, progress, settled);
    return estimateFrom(sample, network, h, keptBytes, bound);
}

void checkOutcomePaths(ChainRules rules, const NetworkModel& network, const NeighbourLists& neighbours,
                       int configurationCount, long long limit) {
    const std::unique_ptr<OutcomeRules> enumerator = makeOutcomeRules(rules, network, neighbours, configurationCount);
    enumerator->limitPaths(limit);
    enumerator->countPathsOnlyNearLimit();
    std::vector<int> entries(neighbours.size());
    SparseRows row;
    for (int source = 0; source < configurationCount; ++source) {
        configurationEntries(neighbours, source, entries.data());
        row.clear();
        enumerator->enumerateRow(source, entries.data(), row);
    }
}

int jobsWithin(const ChainEstimate& estimate, const ChainLimits& limits, int jobs) {
    const double room = limits.maxBytes - estimate.rowBytes - estimate.chainBytes;
    if (!(room < std::numeric_limits<double>::infinity())) return std::max(jobs, 1);
    const double fitting = std::floor(room / estimate.workerBytes);
    return static_cast<int>(std::max(1.0, std::min(static_cast<double>(jobs), fitting)));
}

namespace {

[[noreturn]] void refuseMemory(const ChainLimits& limits, const std::string& what, double bytes, double transitions) {
    throw EngineError(EngineError::BeyondLimit, limits.name + what + "about " + byteText(bytes) + " for " +
                                                    countText(transitions) + " transitions; " + limits.limitName +
                                                    " is " + byteText(limits.maxBytes));
}

}  // namespace

void checkEstimate(const ChainEstimate& estimate, const ChainLimits& limits) {
    if (estimate.bytes(1) > limits.maxBytes) refuseMemory(limits, "needs ", estimate.bytes(1), estimate.transitions);
}

TransitionBudget transitionBudget(const ChainEstimate& estimate, const ChainLimits& limits, int jobs) {
    TransitionBudget budget;
    budget.maxPathsPerRow = limits.maxPathsPerRow;
    budget.entriesPerRow = estimate.entriesPerRow;
    budget.keepValues = estimate.keepValues;
    const double room = limits.maxBytes - estimate.chainBytes - std::max(estimate.passingBytes(), jobs * estimate.workerBytes);
    if (room < static_cast<double>(std::numeric_limits<size_t>::max()))
        budget.maxRowBytes = static_cast<size_t>(std::max(0.0, room));
    return budget;
}

void refuseAsLimit(const ChainEstimate& estimate, const ChainLimits& limits) {
    try {
        throw;
    } catch (const TooManyOutcomePaths& e) {
        throw EngineError(EngineError::BeyondLimit, limits.name + e.what());
    } catch (const TransitionsPastMemory& e) {
        // The rows built so far tell better than the sample how many there are.
        const int h = estimate.configurations;
        const double projected = static_cast<double>(e.entries()) / std::max(1LL, e.rowsDone()) * h;
        ChainEstimate seen = estimate;
        seen.transitions = std::max(estimate.transitions, projected);
        seen.rowBytes = std::max(estimate.rowBytes, rowBytesFor(seen.transitions, h, estimate.keepValues));
        refuseMemory(limits, "needs ", seen.bytes(1), seen.transitions);
    } catch (const std::bad_alloc&) {
        refuseMemory(limits, "could not get the memory it needs, ", estimate.bytes(1), estimate.transitions);
    }
}

MarkovChain buildMarkovChainWithin(ChainRules rules, const NetworkModel& network, const NeighbourLists& neighbours,
                                   int configurationCount, int jobs, const ChainLimits& limits, double keptBytes,
                                   WorkProgress* progress, bool keepSuccessChances) {
    ChainEstimate estimate;
    estimate.configurations = configurationCount;
    try {
        estimate = estimateChain(rules, network, neighbours, configurationCount, limits, keptBytes, progress);
        checkEstimate(estimate, limits);
        const int workers = jobsWithin(estimate, limits, jobs);
        return buildMarkovChain(rules, network, neighbours, configurationCount, workers, progress,
                                transitionBudget(estimate, limits, workers), keepSuccessChances);
    } catch (...) {
        refuseAsLimit(estimate, limits);
    }
}

std::string byteText(double bytes) {
    const char* units[] = {"bytes", "KB", "MB", "GB", "TB", "PB", "EB"};
    int unit = 0;
    while (unit < 6 && bytes >= 1024.0) {
        bytes /= 1024.0;
        ++unit;
    }
    char text[64];
    if (unit == 0)
        std::snprintf(text, sizeof text, "%.0f bytes", bytes);
    else
        std::snprintf(text, sizeof text, "%.1f %s", bytes, units[unit]);
    return text;
}

std::string countText(double count) {
    char text[64];
    if (count < 100000.0) {
        std::snprintf(text, sizeof text, "%.0f", count);
        return text;
    }
    int exponent = static_cast<int>(std::floor(std::log10(count)));
    double mantissa = count / std::pow(10.0, exponent);
    // 9.96 shows as 10.0: carry it into the exponent.
    if (std::round(mantissa * 10.0) >= 100.0) {
        mantissa /= 10.0;
        ++exponent;
    }
    std::snprintf(text, sizeof text, "%.1fe%d", mantissa, exponent);
    return text;
}
