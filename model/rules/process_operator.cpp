#include "model/rules/process_operator.h"

#include <algorithm>

#include "model/network/network.h"
#include "model/rules/outcome_rules.h"
#include "model/support/parallel.h"

namespace {

constexpr long long StatesPerChunk = 8192;
constexpr double UnitRoundoff = 0x1p-53;

// The nodes k >= j with a neighbour below j: those that a node taken before
// j may stop.
std::vector<int> pendingBefore(const NeighbourLists& neighbours, int j) {
    std::vector<int> pending;
    for (int k = j; k < static_cast<int>(neighbours.size()); ++k)
        if (!neighbours[k].empty() && neighbours[k].front() < j) pending.push_back(k);
    return pending;
}

}  // namespace

ProcessOperator::ProcessOperator(const NetworkModel& network, const NeighbourLists& neighbours,
                                 int configurationCount)
    : n_(network.nodeCount),
      h_(configurationCount),
      alpha_(network.params[NetworkModel::Alpha]),
      beta_(network.params[NetworkModel::Beta]),
      gamma_(network.params[NetworkModel::Gamma]),
      stride_(static_cast<size_t>(n_), 0),
      partnerOf_(static_cast<size_t>(n_)),
      targetOf_(static_cast<size_t>(n_)),
      targetDigit_(static_cast<size_t>(n_)) {
    int stride = 1;
    for (int i = 0; i < n_; ++i) {
        const std::vector<int>& list = neighbours[i];
        stride_[i] = stride;
        for (const int partner : list) {
            const int target = targetAfter(network, i, partner);
            partnerOf_[i].push_back(partner);
            targetOf_[i].push_back(target);
            targetDigit_[i].push_back(
                static_cast<int>(std::find(list.begin(), list.end(), target) - list.begin()));
        }
        if (!list.empty()) stride *= static_cast<int>(list.size());
    }
    digits_.resize(static_cast<size_t>(h_) * n_);
    std::vector<int> entries(static_cast<size_t>(n_));
    for (int c = 0; c < h_; ++c)
        for (int i = 0; i < n_; ++i) {
            const int radix = static_cast<int>(neighbours[i].size());
            digits_[static_cast<size_t>(c) * n_ + i] = static_cast<uint16_t>(radix ? (c / stride_[i]) % radix : 0);
        }
    stages_.resize(static_cast<size_t>(n_) + 1);
    for (int j = 0; j <= n_; ++j) {
        Stage& stage = stages_[j];
        stage.pending = pendingBefore(neighbours, j);
        stage.slotOf.assign(static_cast<size_t>(n_), -1);
        for (size_t m = 0; m < stage.pending.size(); ++m) stage.slotOf[stage.pending[m]] = static_cast<int>(m);
        stage.states = static_cast<long long>(h_) << stage.pending.size();
        mostStates_ = std::max(mostStates_, stage.states);
    }
}

double ProcessOperator::memoryFor(const NetworkModel& network, const NeighbourLists& neighbours,
                                  int configurationCount, int width) {
    size_t most = 0;
    for (int j = 0; j <= network.nodeCount; ++j) most = std::max(most, pendingBefore(neighbours, j).size());
    const double states = static_cast<double>(configurationCount) * static_cast<double>(1ULL << most);
    return 2.0 * states * width * sizeof(double) + static_cast<double>(configurationCount) * network.nodeCount * 2.0;
}

double ProcessOperator::sensitivityBytesFor(const NeighbourLists& neighbours, int configurationCount, int width) {
    const int n = static_cast<int>(neighbours.size());
    double most = 1.0, states = 0.0;
    for (int j = 0; j <= n; ++j) {
        const double each = static_cast<double>(1ULL << pendingBefore(neighbours, j).size());
        most = std::max(most, each);
        if (j >= 1 && j < n) states += each;
    }
    return (states + 2 * most) * configurationCount * width * sizeof(double);
}

double ProcessOperator::workPerConfiguration(const NeighbourLists& neighbours) {
    double work = 0.0;
    for (int j = 0; j < static_cast<int>(neighbours.size()); ++j)
        work += 3.0 * static_cast<double>(1ULL << pendingBefore(neighbours, j).size());
    return work;
}

// Each update multiplies by probabilities rounded at most four times and adds
// at most four outcomes and a chance: within ten units of rounding of the
// values it reads, and the updates follow one another.
double ProcessOperator::slack() const { return (10.0 * n_ + 4.0) * UnitRoundoff * 1.01; }

bool ProcessOperator::mixesEverywhere(const NetworkModel& network) {
    const auto& alpha = network.params[NetworkModel::Alpha];
    const auto& beta = network.params[NetworkModel::Beta];
    const auto& gamma = network.params[NetworkModel::Gamma];
    for (int i = 0; i < network.nodeCount; ++i) {
        bool linked = false;
        for (int j = 0; j < network.nodeCount; ++j) {
            if (network.links[i][j] == 0) continue;
            linked = true;
            const double sum = gamma[i] + gamma[j];
            if (sum > NetworkModel::ZeroGammaSum && (gamma[i] == 0.0 || gamma[j] == 0.0)) return false;
        }
        if (linked && !(alpha[i] > 0.0 && alpha[i] < 1.0 && beta[i] > 0.0 && beta[i] < 1.0)) return false;
    }
    return true;
}

double ProcessOperator::arbitrationLower(int j, int k) const {
    const double s = gamma_[j] + gamma_[k];
    return s <= NetworkModel::ZeroGammaSum ? 0.5 : gamma_[j] / s;
}

void ProcessOperator::apply(const std::vector<double>& values, std::vector<double>& out, int width, int jobs) {
    const size_t cells = static_cast<size_t>(mostStates_) * width;
    if (bufferA_.size() < cells) bufferA_.resize(cells);
    if (bufferB_.size() < cells) bufferB_.resize(cells);
    out.resize(static_cast<size_t>(h_) * width);
    const double* next = values.data();
    for (int j = n_ - 1; j >= 0; --j) {
        double* current = j == 0 ? out.data() : (j % 2 ? bufferA_.data() : bufferB_.data());
        forEachChunk(jobs, stages_[j].states, StatesPerChunk, [&](int, long long, long long begin, long long end) {
            update(j, next, current, width, begin, end);
        });
        next = current;
    }
    if (n_ == 0) out = values;
}

// The bits of the nodes after j that a state before node j holds, as the
// state after it holds them.
long long ProcessOperator::carriedBits(int j, long long bits) const {
    const Stage& stage = stages_[j];
    const Stage& after = stages_[j + 1];
    long long carried = 0;
    for (size_t m = 0; m < stage.pending.size(); ++m)
        if (stage.pending[m] != j && (bits >> m & 1)) carried |= 1LL << after.slotOf[stage.pending[m]];
    return carried;
}

// The values before node j is taken, from those after: for each state, the
// outcomes of node j's turn in the step's order, each with its probability
// and the state it leads to, and node j's chance to succeed.
void ProcessOperator::update(int j, const double* next, double* current, int width, long long begin,
                             long long end) const {
    const Stage& stage = stages_[j];
    const Stage& after = stages_[j + 1];
    const int slotJ = stage.slotOf[j];
    const bool linked = !partnerOf_[j].empty();
    const double success = alpha_[j] * beta_[j];
    const double failure = alpha_[j] * (1 - beta_[j]);
    const double idle = 1 - alpha_[j];
    const double stay = 1 - success;
    struct Outcome {
        double weight;
        long long to;
    };
    for (long long s = begin; s < end; ++s) {
        const long long c = s % h_;
        const long long bits = s / h_;
        const uint16_t* digit = digits_.data() + c * n_;
        const long long carried = carriedBits(j, bits);
        // Unreachable states (a bit set that no earlier node could set) are
        // computed too; or-ing the bits keeps their successors in range.
        const auto at = [&](long long digits, long long newBits) { return digits + h_ * (carried | newBits); };
        Outcome outcomes[4];
        int count = 0;
        double chance = 0.0;
        const bool stopped = slotJ >= 0 && (bits >> slotJ & 1);
        if (!linked || stopped) {
            outcomes[count++] = {1.0, at(c, 0)};
        } else {
            const int d = digit[j];
            const int partner = partnerOf_[j][d];
            const int target = targetOf_[j][d];
            const long long moved = c + static_cast<long long>(targetDigit_[j][d] - d) * stride_[j];
            // A later node that targets j and still has j as partner is held
            // back when j's attempt fails.
            long long heldBit = 0;
            if (partner > j && partner != target && targetOf_[partner][digit[partner]] == j)
                heldBit = 1LL << after.slotOf[partner];
            const bool mutual = target > j && targetOf_[target][digit[target]] == j;
            const double acts = mutual ? arbitrationLower(j, target) : 1.0;
            const long long settledBit = mutual ? 1LL << after.slotOf[target] : 0;
            if (mutual) {
                const double other = gamma_[j] + gamma_[target] <= NetworkModel::ZeroGammaSum
                                         ? 0.5
                                         : gamma_[target] / (gamma_[j] + gamma_[target]);
                if (other > 0) outcomes[count++] = {other, at(c, 0)};
            }
            if (acts > 0) {
                chance = acts * success;
                if (success > 0) outcomes[count++] = {chance, at(moved, settledBit)};
                if (heldBit == 0) {
                    if (stay > 0) outcomes[count++] = {acts * stay, at(c, settledBit)};
                } else {
                    if (failure > 0) outcomes[count++] = {acts * failure, at(c, settledBit | heldBit)};
                    if (idle > 0) outcomes[count++] = {acts * idle, at(c, settledBit)};
                }
            }
        }
        double* values = current + s * width;
        for (int i = 0; i < width; ++i) values[i] = 0.0;
        for (int o = 0; o < count; ++o) {
            const double* from = next + outcomes[o].to * width;
            for (int i = 0; i < width; ++i) values[i] += outcomes[o].weight * from[i];
        }
        values[j] += chance;
    }
}
