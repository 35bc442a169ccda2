#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "model/network/configurations.h"
#include "model/network/network.h"
#include "model/rules/process_operator.h"
#include "model/rules/process_sensitivity.h"
#include "network_generator.h"

// The derivatives carried through the step's updates against those of each
// configuration's own outcomes, followed path by path: two ways of summing
// the same terms, on networks with probabilities at 0 and 1 (where outcomes
// of probability 0 still move), gammas summing to 0 and isolated nodes.
TEST(ProcessUpdatesSensitivity, AgreesWithTheOutcomesOfEveryConfiguration) {
    NetworkGenerator generator(23);
    std::mt19937 random(5);
    std::uniform_real_distribution<double> spread(-1.0, 1.0);
    int checked = 0;
    for (int trial = 0; checked < 60; ++trial) {
        ASSERT_LT(trial, 2000);
        NetworkModel network;
        generator.fill(network, 2 + trial % 5);
        network.symmetrize();
        for (auto& row : network.links)
            for (int& link : row) link = link != 0;
        const NeighbourLists neighbours = neighbourLists(network);
        const long long h = configurationCount(neighbours, 4000);
        if (h < 1) continue;
        ++checked;
        const int n = network.nodeCount;
        const int width = 1 + trial % 3;
        std::vector<double> values(static_cast<size_t>(h) * width), weights(values.size());
        for (double& value : values) value = spread(random);
        // Some configurations weigh nothing, as those outside a class do.
        for (double& weight : weights) weight = generator.chance(0.3) ? 0.0 : spread(random);
        std::vector<double> rewards(static_cast<size_t>(n) * width);
        for (double& reward : rewards) reward = spread(random);
        const double* withRewards = trial % 2 ? rewards.data() : nullptr;

        std::vector<double> byUpdates(static_cast<size_t>(width) * 3 * n, 0.0);
        ProcessOperator(network, neighbours, static_cast<int>(h))
            .addSensitivity(values.data(), withRewards, weights.data(), width, byUpdates.data(), 1 + trial % 2);

        const ConfigurationList configurations = listConfigurations(neighbours, static_cast<int>(h));
        ProcessSensitivity outcomes(network, neighbours, static_cast<int>(h), width);
        std::vector<double> byOutcomes(byUpdates.size(), 0.0);
        for (int x = 0; x < h; ++x)
            outcomes.accumulate(x, configurations[x], values.data(), withRewards,
                                weights.data() + static_cast<size_t>(x) * width, byOutcomes.data());

        double scale = 1.0;
        for (const double sum : byOutcomes) scale = std::max(scale, std::fabs(sum));
        for (size_t p = 0; p < byUpdates.size(); ++p)
            ASSERT_NEAR(byUpdates[p], byOutcomes[p], 1e-12 * scale * h)
                << "trial " << trial << " column " << p / (3 * n) << " parameter " << p % (3 * n);
    }
}
