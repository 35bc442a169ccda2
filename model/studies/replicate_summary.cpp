#include "model/studies/replicate_summary.h"

#include <algorithm>
#include <cmath>
#include <string>

#include <boost/math/distributions/students_t.hpp>

#include "model/studies/simulation.h"
#include "model/support/engine_error.h"

namespace {

// The chances of a batch of replicates run side by side, at most this many
// values. Many replicates per job, so that short runs do not wait on
// threads started for every few of them.
constexpr long long ChancesPerBatch = 1 << 22;
constexpr long long ReplicatesPerJob = 64;

int summaryBatch(int nodes, int jobs) {
    const long long fitting = std::max(1LL, ChancesPerBatch / std::max(nodes, 1));
    return static_cast<int>(std::min(ReplicatesPerJob * std::max(jobs, 1), fitting));
}

}  // namespace

void ChanceMoments::add(const std::vector<double>& chances) {
    ++count_;
    const double n = static_cast<double>(count_);
    for (size_t node = 0; node < mean_.size(); ++node) {
        const double deviation = chances[node] - mean_[node];
        mean_[node] += deviation / n;
        squares_[node] += deviation * (chances[node] - mean_[node]);
    }
}

std::vector<ChanceInterval> ChanceMoments::intervals(double confidence) const {
    if (count_ < 2) throw EngineError(EngineError::BadInput, "an interval needs at least 2 replicates");
    const double n = static_cast<double>(count_);
    const double t = studentTQuantile((1.0 + confidence) / 2.0, count_ - 1);
    std::vector<ChanceInterval> result(mean_.size());
    for (size_t node = 0; node < mean_.size(); ++node) {
        const double deviation = std::sqrt(squares_[node] / (n - 1.0));
        const double half = t * deviation / std::sqrt(n);
        result[node] = {mean_[node], std::max(0.0, mean_[node] - half), std::min(1.0, mean_[node] + half)};
    }
    return result;
}

double studentTQuantile(double probability, long long degreesOfFreedom) {
    const boost::math::students_t distribution(static_cast<double>(degreesOfFreedom));
    return boost::math::quantile(distribution, probability);
}

bool isConfidenceLevel(double confidence) { return confidence > 0.0 && confidence < 1.0; }

std::vector<ChanceInterval> summarizeReplicates(const NetworkModel& network, const RunStart& start,
                                                unsigned firstSeed, int replicates, uint32_t steps, int jobs,
                                                double confidence, WorkProgress* progress) {
    if (replicates < 2) throw EngineError(EngineError::BadInput, "a summary needs at least 2 replicates");
    if (!isConfidenceLevel(confidence))
        throw EngineError(EngineError::BadInput, "the confidence must lie strictly between 0 and 1");
    const int batch = summaryBatch(network.nodeCount, jobs);
    std::vector<std::vector<double>> chances(static_cast<size_t>(batch));
    ChanceMoments moments(network.nodeCount);
    simulateReplicates(
        network, start, firstSeed, replicates, steps, 0, batch, jobs,
        [&](int replicate, const RunSnapshot& snapshot) {
            std::vector<double>& slot = chances[static_cast<size_t>(replicate % batch)];
            slot.resize(snapshot.successes.size());
            for (size_t node = 0; node < slot.size(); ++node)
                slot[node] = static_cast<double>(snapshot.successes[node]) / snapshot.step;
        },
        // Batches end in replicate order, so the moments take the
        // replicates in the same order whatever ran them.
        [&](int, int count) {
            for (int k = 0; k < count; ++k) moments.add(chances[static_cast<size_t>(k)]);
        },
        progress);
    return moments.intervals(confidence);
}
