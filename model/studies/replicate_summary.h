#pragma once

#include <cstdint>
#include <vector>

#include "model/network/network.h"
#include "model/studies/run_start.h"

class WorkProgress;

// A node's chance after the last step, averaged over replicates, and the
// Student t interval around the average.
struct ChanceInterval {
    double chance = 0.0;
    double low = 0.0;
    double high = 0.0;
};

// The running mean and sum of squared deviations of every node's chance,
// one replicate at a time (Welford's update): a few doubles per node,
// whatever the number of replicates. Replicates must come in a fixed order
// for the figures to repeat to the last bit.
class ChanceMoments {
public:
    explicit ChanceMoments(int nodes) : mean_(static_cast<size_t>(nodes), 0.0), squares_(mean_.size(), 0.0) {}

    void add(const std::vector<double>& chances);
    long long count() const { return count_; }

    // With t the quantile (1 + confidence) / 2 of Student's t with count - 1
    // degrees of freedom and s the replicates' standard deviation, the
    // interval mean -/+ t s / sqrt(count), cut to [0, 1], where every chance
    // lies. Needs at least two replicates.
    std::vector<ChanceInterval> intervals(double confidence) const;

private:
    long long count_ = 0;
    std::vector<double> mean_;
    std::vector<double> squares_;
};

// The quantile at `probability` of Student's t distribution with
// `degreesOfFreedom` degrees of freedom.
double studentTQuantile(double probability, long long degreesOfFreedom);

// Whether a confidence level lies strictly between 0 and 1.
bool isConfidenceLevel(double confidence);

// The figures that follow replicates 0 .. replicates - 1, each a run of
// `steps` steps from `start` with seed firstSeed + r as simulateReplicates
// runs them: per node the mean chance after the last step and its interval
// at `confidence`. The same to the last bit for any number of jobs; memory
// grows with the nodes and the jobs, not with the replicates.
std::vector<ChanceInterval> summarizeReplicates(const NetworkModel& network, const RunStart& start,
                                                unsigned firstSeed, int replicates, uint32_t steps, int jobs,
                                                double confidence, WorkProgress* progress = nullptr);
