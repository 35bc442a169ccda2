#include "model/rules/process_outcomes.h"

#include "model/network/network.h"

namespace {

// Arbitration chances are kept in a table up to this many nodes.
constexpr int MaxNodesForArbitrationTable = 64;

}  // namespace

ProcessOutcomes::ProcessOutcomes(const NetworkModel& network, const NeighbourLists& neighbours,
                                 int configurationCount)
    : OutcomeRules(network, neighbours, configurationCount),
      mutualAbove_(static_cast<size_t>(n_), -1),
      watched_(static_cast<size_t>(n_), 0),
      settled_(static_cast<size_t>(n_), 0),
      failed_(static_cast<size_t>(n_), 0),
      chances_(static_cast<size_t>(n_), 0.0) {
    buildWeights();
}

void ProcessOutcomes::buildWeights() {
    ways_.resize(static_cast<size_t>(n_));
    for (int i = 0; i < n_; ++i) {
        Ways& ways = ways_[i];
        ways.success = alpha_[i] * beta_[i];
        ways.failure = alpha_[i] * (1 - beta_[i]);
        ways.idle = 1 - alpha_[i];
        ways.stay = 1 - ways.success;
        ways.apart = (ways.success > 0) + (ways.failure > 0) + (ways.idle > 0);
        ways.together = (ways.success > 0) + (ways.stay > 0);
    }
    if (n_ > MaxNodesForArbitrationTable) return;
    arbitrations_.resize(static_cast<size_t>(n_) * n_);
    for (int j = 0; j < n_; ++j)
        for (int k = j + 1; k < n_; ++k) arbitrations_[static_cast<size_t>(j) * n_ + k] = arbitration(j, k);
}

// The step compares a draw in (0, 1] with gamma[j] / s, or with a second
// draw when s is too small to divide by.
ProcessOutcomes::Arbitration ProcessOutcomes::arbitration(int j, int k) const {
    const double s = gamma_[j] + gamma_[k];
    if (s <= NetworkModel::ZeroGammaSum) return {0.5, 0.5};
    return {gamma_[j] / s, gamma_[k] / s};
}

void ProcessOutcomes::prepareRow() {
    for (int j = 0; j < n_; ++j) {
        const int t = sourceTarget_[j];
        mutualAbove_[j] = t > j && sourceTarget_[t] == j ? t : -1;
        const int k = source_[j];
        watched_[j] = k > j && sourceTarget_[k] == j && t != k && alpha_[k] > 0;
        settled_[j] = 0;
        failed_[j] = 0;
        chances_[j] = 0.0;
    }
    firstLeaf_ = -1;
    leaves_ = 0;
    oneDestination_ = true;
}

void ProcessOutcomes::enumerateRow(int source, const int* entries, SparseRows& rows) {
    startRow(source, entries);
    prepareRow();
    const bool count = countEveryRow_ || mayPassPathLimit(3, [this](int node) { return sourceTarget_[node] >= 0; });
    paths_ = count ? 1 : 0;
    if (row_.direct())
        enumerateFromFirstNode<true>(count);
    else
        enumerateFromFirstNode<false>(count);
    finishRow(rows);
}

template <bool Direct>
void ProcessOutcomes::enumerateFromFirstNode(bool count) {
    if (count)
        enumerate<Direct, true>(0);
    else
        enumerate<Direct, false>(0);
}

// A row whose outcomes all reach one configuration holds it with weight
// exactly 1.0, whatever its paths' products add up to.
void ProcessOutcomes::finishRow(SparseRows& rows) {
    if (oneDestination_ && firstLeaf_ >= 0) {
        dropColumns_.clear();
        dropValues_.clear();
        row_.moveInto(dropColumns_, dropValues_);
        rows.append(static_cast<int>(firstLeaf_), 1.0);
        rows.finishRow();
        successor_ = static_cast<int>(firstLeaf_);
        return;
    }
    row_.moveInto(rows);
    successor_ = -1;
}

// Every node's visit writes its partner and its failure before any later
// node or the leaf reads them, so what earlier paths left behind is never
// read and nothing is undone on the way back.
template <bool Direct, bool Count>
void ProcessOutcomes::enumerate(int node) {
    for (; node < n_; ++node) {
        const int t = sourceTarget_[node];
        if (t < 0 || settled_[node] || heldBack(node, t)) {
            stay(node);
            continue;
        }
        const int k = mutualAbove_[node];
        if (k >= 0) {
            const Arbitration chances = arbitrations_.empty() ? arbitration(node, k)
                                                              : arbitrations_[static_cast<size_t>(node) * n_ + k];
            if (chances.lower > 0 && chances.upper > 0) {
                arbitrate<Direct, Count>(node, k, chances);
                return;
            }
            settled_[k] = chances.lower > 0;
            if (!settled_[k]) {
                stay(node);
                continue;
            }
        }
        if (waysOf(node) > 1) {
            attempt<Direct, Count>(node, t);
            return;
        }
        actSurely(node, t);
    }
    leaf<Direct, Count>();
}

template <bool Direct, bool Count>
void ProcessOutcomes::leaf() {
    ++leaves_;
    if (firstLeaf_ < 0)
        firstLeaf_ = leafIndex_;
    else if (leafIndex_ != firstLeaf_)
        oneDestination_ = false;
    // A product that underflows to 0 is no weight to store.
    if (leafIndex_ < 0 || weight_ == 0.0) return;
    if constexpr (Direct)
        row_.addDirect(static_cast<int>(leafIndex_), weight_);
    else
        row_.addHashed(static_cast<int>(leafIndex_), weight_);
}

// A node with one way to go: that way has probability exactly 1.
void ProcessOutcomes::actSurely(int node, int t) {
    const Ways& ways = ways_[node];
    if (ways.success > 0) {
        setPartner(node, t);
        failed_[node] = 0;
        chances_[node] += weight_;
    } else {
        setPartner(node, source_[node]);
        failed_[node] = watched_[node] && ways.failure > 0;
    }
}

template <bool Direct, bool Count>
void ProcessOutcomes::goOnActing(int node, int t) {
    if (waysOf(node) > 1) {
        attempt<Direct, Count>(node, t);
        return;
    }
    actSurely(node, t);
    enumerate<Direct, Count>(node + 1);
}

template <bool Direct, bool Count>
void ProcessOutcomes::attempt(int node, int t) {
    const Ways& ways = ways_[node];
    const double saved = weight_;
    if constexpr (Count) {
        paths_ += waysOf(node) - 1;
        if (paths_ > pathLimit_) refuseTooManyPaths();
    }
    if (ways.success > 0) {
        setPartner(node, t);
        failed_[node] = 0;
        weight_ = ways.success * saved;
        chances_[node] += weight_;
        enumerate<Direct, Count>(node + 1);
    }
    if (watched_[node]) {
        setPartner(node, source_[node]);
        if (ways.failure > 0) {
            failed_[node] = 1;
            weight_ = ways.failure * saved;
            enumerate<Direct, Count>(node + 1);
        }
        if (ways.idle > 0) {
            stay(node);
            weight_ = ways.idle * saved;
            enumerate<Direct, Count>(node + 1);
        }
    } else if (ways.stay > 0) {
        stay(node);
        weight_ = ways.stay * saved;
        enumerate<Direct, Count>(node + 1);
    }
    weight_ = saved;
}

// Nodes j < k target each other: j acts and k holds back, or the other way.
template <bool Direct, bool Count>
void ProcessOutcomes::arbitrate(int j, int k, const Arbitration& chances) {
    const double saved = weight_;
    if constexpr (Count) {
        paths_ += 1;
        if (paths_ > pathLimit_) refuseTooManyPaths();
    }
    settled_[k] = 1;
    weight_ = chances.lower * saved;
    goOnActing<Direct, Count>(j, k);

    settled_[k] = 0;
    stay(j);
    weight_ = chances.upper * saved;
    enumerate<Direct, Count>(j + 1);
    weight_ = saved;
}

size_t ProcessOutcomes::memoryBytes() const {
    return OutcomeRules::memoryBytes() + ways_.capacity() * sizeof(Ways) +
           arbitrations_.capacity() * sizeof(Arbitration) + mutualAbove_.capacity() * sizeof(int) +
           watched_.capacity() + settled_.capacity() + failed_.capacity() +
           (chances_.capacity() + dropValues_.capacity()) * sizeof(double) + dropColumns_.capacity() * sizeof(int);
}
