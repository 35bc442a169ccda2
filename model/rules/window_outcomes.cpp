#include "model/rules/window_outcomes.h"

namespace {

// Joint weights are kept in a table up to this many nodes.
constexpr int MaxNodesForWeightTable = 64;

}  // namespace

WindowOutcomes::WindowOutcomes(const NetworkModel& network, const NeighbourLists& neighbours, int configurationCount)
    : OutcomeRules(network, neighbours, configurationCount), resolved_(static_cast<size_t>(n_), 0) {
    buildWeights();
}

void WindowOutcomes::enumerateRow(int source, const int* entries, SparseRows& rows) {
    startRow(source, entries);
    // A path splits in at most three at a node whose target comes before it
    // and nowhere else.
    const bool count = countEveryRow_ || mayPassPathLimit(3, [this](int node) {
                           const int t = sourceTarget_[node];
                           return t >= 0 && t < node;
                       });
    paths_ = count ? 1 : 0;
    if (row_.direct())
        enumerateFromFirstNode<true>(count);
    else
        enumerateFromFirstNode<false>(count);
    row_.moveInto(rows);
    successor_ = -1;
    const int row = rows.rowCount() - 1;
    for (size_t k = rows.begin(row); k < rows.end(row) && successor_ < 0; ++k)
        if (rows.weight(k) == 1.0) successor_ = rows.column(k);
}

template <bool Direct>
void WindowOutcomes::enumerateFromFirstNode(bool count) {
    if (count)
        enumerate<Direct, true>(0);
    else
        enumerate<Direct, false>(0);
}

size_t WindowOutcomes::memoryBytes() const {
    return OutcomeRules::memoryBytes() + alphaBeta_.capacity() * sizeof(double) +
           jointWeights_.capacity() * sizeof(JointWeights) + resolved_.capacity();
}

// The products are those the enumeration would form, so caching them changes
// no bit of any weight.
void WindowOutcomes::buildWeights() {
    alphaBeta_.resize(static_cast<size_t>(n_));
    for (int i = 0; i < n_; ++i) alphaBeta_[i] = alpha_[i] * beta_[i];
    if (n_ > MaxNodesForWeightTable) return;
    jointWeights_.resize(static_cast<size_t>(n_) * n_);
    for (int n = 0; n < n_; ++n)
        for (int t = 0; t < n; ++t) jointWeights_[static_cast<size_t>(n) * n_ + t] = jointWeights(n, t);
}

WindowOutcomes::JointWeights WindowOutcomes::jointWeights(int n, int t) const {
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
void WindowOutcomes::enumerate(int node) {
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
void WindowOutcomes::enumerateJoint(int n, int t) {
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
