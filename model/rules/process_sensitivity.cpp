#include "model/rules/process_sensitivity.h"

#include <algorithm>

#include "model/network/network.h"

ProcessSensitivity::ProcessSensitivity(const NetworkModel& network, const NeighbourLists& neighbours,
                                       int configurationCount, int width)
    : OutcomeRules(network, neighbours, configurationCount),
      width_(width),
      mutualAbove_(static_cast<size_t>(n_), -1),
      watched_(static_cast<size_t>(n_), 0),
      settled_(static_cast<size_t>(n_), 0),
      failed_(static_cast<size_t>(n_), 0),
      // Every node may add an arbitration and an attempt below it.
      levels_(static_cast<size_t>(2 * n_ + 2) * width, 0.0) {}

void ProcessSensitivity::prepareRow() {
    for (int j = 0; j < n_; ++j) {
        const int t = sourceTarget_[j];
        mutualAbove_[j] = t > j && sourceTarget_[t] == j ? t : -1;
        const int k = source_[j];
        watched_[j] = k > j && sourceTarget_[k] == j && t != k;
        settled_[j] = 0;
        failed_[j] = 0;
    }
}

void ProcessSensitivity::accumulate(int source, const int* entries, const double* values, const double* rewards,
                                    const double* weights, double* gradient) {
    startRow(source, entries);
    prepareRow();
    values_ = values;
    rewards_ = rewards;
    weights_ = weights;
    gradient_ = gradient;
    enumerate(0, 0, 1.0, false);
}

double ProcessSensitivity::probability(int node, Way way) const {
    const double a = alpha_[node], b = beta_[node];
    switch (way) {
        case Success: return a * b;
        case Failure: return a * (1 - b);
        case Idle: return 1 - a;
        case Stay: return 1 - a * b;
    }
    return 0.0;
}

// d/d alpha and d/d beta of a way's probability.
std::pair<double, double> ProcessSensitivity::wayDerivatives(int node, Way way) const {
    const double a = alpha_[node], b = beta_[node];
    switch (way) {
        case Success: return {b, a};
        case Failure: return {1 - b, -a};
        case Idle: return {-1.0, 0.0};
        case Stay: return {-b, -a};
    }
    return {0.0, 0.0};
}

void ProcessSensitivity::addDerivative(int parameter, double derivative, double prefix, const double* subtree) {
    if (derivative == 0.0) return;
    const size_t parameters = static_cast<size_t>(3 * n_);
    for (int k = 0; k < width_; ++k)
        gradient_[k * parameters + parameter] += prefix * derivative * (weights_[k] * subtree[k]);
}

// The subtree below a way of factor `factor`, from node `next` on, into the
// next depth's values, with the reward of the way's success when it has one.
void ProcessSensitivity::follow(double factor, int depth, double prefix, bool zeroed, int next,
                                const double* reward) {
    enumerate(next, depth + 1, prefix * factor, zeroed || factor == 0.0);
    double* below = levels_.data() + static_cast<size_t>(depth + 1) * width_;
    if (reward)
        for (int k = 0; k < width_; ++k) below[k] += reward[k];
}

// Nodes that cannot act stay and go on in the same loop; the first that can
// branches, and its branches enumerate the rest.
void ProcessSensitivity::enumerate(int node, int depth, double prefix, bool zeroed) {
    for (; node < n_; ++node) {
        const int t = sourceTarget_[node];
        if (t < 0 || settled_[node] || heldBack(node, t)) {
            stay(node);
            continue;
        }
        const int k = mutualAbove_[node];
        if (k >= 0)
            arbitrate(node, k, depth, prefix, zeroed);
        else
            attempt(node, t, depth, prefix, zeroed);
        return;
    }
    double* level = levels_.data() + static_cast<size_t>(depth) * width_;
    const double* values = values_ + static_cast<size_t>(leafIndex_) * width_;
    std::copy(values, values + width_, level);
}

// Node acts toward t: each way it may go, those of probability 0 only where
// the path has no other zero factor and the way's probability moves.
void ProcessSensitivity::attempt(int node, int t, int depth, double prefix, bool zeroed) {
    double* level = levels_.data() + static_cast<size_t>(depth) * width_;
    const double* below = levels_.data() + static_cast<size_t>(depth + 1) * width_;
    std::fill(level, level + width_, 0.0);
    const double* reward = rewards_ ? rewards_ + static_cast<size_t>(node) * width_ : nullptr;
    const bool apart = watched_[node];
    const Way ways[3] = {Success, apart ? Failure : Stay, Idle};
    const int count = apart ? 3 : 2;
    for (int w = 0; w < count; ++w) {
        const Way way = ways[w];
        const double p = probability(node, way);
        const auto [byAlpha, byBeta] = wayDerivatives(node, way);
        if (!(p > 0.0) && (zeroed || (byAlpha == 0.0 && byBeta == 0.0))) continue;
        if (way == Success) {
            setPartner(node, t);
            failed_[node] = 0;
        } else {
            setPartner(node, source_[node]);
            failed_[node] = way == Failure;
        }
        follow(p, depth, prefix, zeroed, node + 1, way == Success ? reward : nullptr);
        for (int c = 0; c < width_; ++c) level[c] += p * below[c];
        if (!zeroed) {
            addDerivative(node, byAlpha, prefix, below);
            addDerivative(n_ + node, byBeta, prefix, below);
        }
    }
}

// Nodes j < k target each other: j acts with gamma[j] / s and k holds back,
// or the other way round; one half each where s is too small to divide by.
void ProcessSensitivity::arbitrate(int j, int k, int depth, double prefix, bool zeroed) {
    double* level = levels_.data() + static_cast<size_t>(depth) * width_;
    const double* below = levels_.data() + static_cast<size_t>(depth + 1) * width_;
    std::fill(level, level + width_, 0.0);
    const double s = gamma_[j] + gamma_[k];
    const bool even = s <= NetworkModel::ZeroGammaSum;
    const double lower = even ? 0.5 : gamma_[j] / s;
    const double upper = even ? 0.5 : gamma_[k] / s;
    // d lower / d gamma[j] = gamma[k] / s^2, d lower / d gamma[k] = -gamma[j] / s^2; upper the opposite.
    const double byJ = even ? 0.0 : gamma_[k] / (s * s);
    const double byK = even ? 0.0 : -gamma_[j] / (s * s);
    const bool moves = byJ != 0.0 || byK != 0.0;

    if (lower > 0.0 || (!zeroed && moves)) {
        settled_[k] = 1;
        const bool zeroedBelow = zeroed || lower == 0.0;
        attempt(j, k, depth + 1, prefix * lower, zeroedBelow);
        for (int c = 0; c < width_; ++c) level[c] += lower * below[c];
        if (!zeroed) {
            addDerivative(2 * n_ + j, byJ, prefix, below);
            addDerivative(2 * n_ + k, byK, prefix, below);
        }
    }
    if (upper > 0.0 || (!zeroed && moves)) {
        settled_[k] = 0;
        stay(j);
        follow(upper, depth, prefix, zeroed, j + 1, nullptr);
        for (int c = 0; c < width_; ++c) level[c] += upper * below[c];
        if (!zeroed) {
            addDerivative(2 * n_ + j, -byJ, prefix, below);
            addDerivative(2 * n_ + k, -byK, prefix, below);
        }
    }
}
