#include <algorithm>

#include "model/network/network.h"
#include "model/rules/process_operator.h"
#include "model/support/parallel.h"

// The derivative of a product of updates U_0 ... U_{N-1} weighed by w on the
// left and applied to u on the right is the sum over j of
//     (w U_0 ... U_{j-1}) dU_j (U_{j+1} ... U_{N-1} u):
// the values carried back through the updates after node j, the weights
// carried forward through those before it, and node j's own derivative in
// between. Each update's derivative involves node j's alpha and beta and the
// gammas of j and the node it arbitrates with.

namespace {

constexpr long long StatesPerChunk = 8192;

}  // namespace

int ProcessOperator::waysFrom(int j, long long s, Way* ways, int& target) const {
    const Stage& stage = stages_[j];
    const Stage& after = stages_[j + 1];
    const long long c = s % h_;
    const long long bits = s / h_;
    const uint16_t* digit = digits_.data() + c * n_;
    const long long carried = carriedBits(j, bits);
    const auto at = [&](long long digits, long long newBits) { return digits + h_ * (carried | newBits); };
    target = -1;
    const int slotJ = stage.slotOf[j];
    if (partnerOf_[j].empty() || (slotJ >= 0 && (bits >> slotJ & 1))) {
        ways[0] = {1.0, at(c, 0), 0.0, 0.0, 0.0, 0.0, false};
        return 1;
    }
    const double a = alpha_[j], b = beta_[j];
    const int d = digit[j];
    const int partner = partnerOf_[j][d];
    const int aim = targetOf_[j][d];
    const long long moved = c + static_cast<long long>(targetDigit_[j][d] - d) * stride_[j];
    long long heldBit = 0;
    if (partner > j && partner != aim && targetOf_[partner][digit[partner]] == j)
        heldBit = 1LL << after.slotOf[partner];
    double acts = 1.0, actsByGamma = 0.0, actsByTargetGamma = 0.0;
    long long settledBit = 0;
    int count = 0;
    if (aim > j && targetOf_[aim][digit[aim]] == j) {
        target = aim;
        settledBit = 1LL << after.slotOf[aim];
        const double sum = gamma_[j] + gamma_[aim];
        const bool even = sum <= NetworkModel::ZeroGammaSum;
        acts = arbitrationLower(j, aim);
        if (!even) {
            actsByGamma = gamma_[aim] / (sum * sum);
            actsByTargetGamma = -gamma_[j] / (sum * sum);
        }
        const double other = even ? 0.5 : gamma_[aim] / sum;
        ways[count++] = {other, at(c, 0), 0.0, 0.0, -actsByGamma, -actsByTargetGamma, false};
    }
    const auto way = [&](double p, double byA, double byB, long long to, bool success) {
        ways[count++] = {acts * p, to, acts * byA, acts * byB, actsByGamma * p, actsByTargetGamma * p, success};
    };
    way(a * b, b, a, at(moved, settledBit), true);
    if (heldBit == 0) {
        way(1 - a * b, -b, -a, at(c, settledBit), false);
    } else {
        way(a * (1 - b), 1 - b, -a, at(c, settledBit | heldBit), false);
        way(1 - a, -1.0, 0.0, at(c, settledBit), false);
    }
    return count;
}

// The values before node j's update from those after it, with node j's
// reward where it succeeds.
void ProcessOperator::carryBack(int j, const double* next, double* current, const double* rewards, int width,
                                long long begin, long long end) const {
    Way ways[4];
    int target = -1;
    for (long long s = begin; s < end; ++s) {
        const int count = waysFrom(j, s, ways, target);
        double* values = current + s * width;
        std::fill(values, values + width, 0.0);
        for (int w = 0; w < count; ++w) {
            const Way& way = ways[w];
            if (way.weight == 0.0) continue;
            const double* from = next + way.to * width;
            for (int k = 0; k < width; ++k) values[k] += way.weight * from[k];
            if (way.success && rewards)
                for (int k = 0; k < width; ++k) values[k] += way.weight * rewards[static_cast<size_t>(j) * width + k];
        }
    }
}

void ProcessOperator::addSensitivity(const double* values, const double* rewards, const double* weights, int width,
                                     double* gradient, int jobs) const {
    if (n_ == 0) return;
    // later[j]: the values after node j's update, for j < N - 1.
    std::vector<std::vector<double>> later(static_cast<size_t>(n_ - 1));
    const double* next = values;
    for (int j = n_ - 1; j >= 1; --j) {
        std::vector<double>& current = later[j - 1];
        current.resize(static_cast<size_t>(stages_[j].states) * width);
        forEachChunk(jobs, stages_[j].states, StatesPerChunk, [&](int, long long, long long begin, long long end) {
            carryBack(j, next, current.data(), rewards, width, begin, end);
        });
        next = current.data();
    }
    const size_t parameters = static_cast<size_t>(3 * n_);
    std::vector<double> reach(weights, weights + static_cast<size_t>(h_) * width);
    std::vector<double> following;
    std::vector<double> flow(static_cast<size_t>(width));
    Way ways[4];
    for (int j = 0; j < n_; ++j) {
        const double* after = j + 1 < n_ ? later[j].data() : values;
        if (j + 1 < n_) following.assign(static_cast<size_t>(stages_[j + 1].states) * width, 0.0);
        for (long long s = 0; s < stages_[j].states; ++s) {
            const double* here = reach.data() + s * width;
            if (std::all_of(here, here + width, [](double w) { return w == 0.0; })) continue;
            int target = -1;
            const int count = waysFrom(j, s, ways, target);
            for (int w = 0; w < count; ++w) {
                const Way& way = ways[w];
                const double* there = after + way.to * width;
                for (int k = 0; k < width; ++k) {
                    double value = there[k];
                    if (way.success && rewards) value += rewards[static_cast<size_t>(j) * width + k];
                    flow[k] = here[k] * value;
                    double* sums = gradient + k * parameters;
                    if (way.byAlpha != 0.0) sums[j] += way.byAlpha * flow[k];
                    if (way.byBeta != 0.0) sums[n_ + j] += way.byBeta * flow[k];
                    if (way.byGamma != 0.0) sums[2 * n_ + j] += way.byGamma * flow[k];
                    if (way.byTargetGamma != 0.0) sums[2 * n_ + target] += way.byTargetGamma * flow[k];
                }
                if (j + 1 < n_ && way.weight != 0.0) {
                    double* into = following.data() + way.to * width;
                    for (int k = 0; k < width; ++k) into[k] += way.weight * here[k];
                }
            }
        }
        reach.swap(following);
    }
}
