#include "model/simulation.h"

#include "model/seeded_random.h"
#include "model/work_progress.h"

namespace {

constexpr uint32_t StepsPerProgressReport = 1 << 16;

}  // namespace

std::vector<RunSnapshot> simulateRun(NetworkModel network, unsigned seed, uint32_t steps, uint32_t every,
                                     WorkProgress* progress) {
    SeededRandom random(seed);
    std::vector<RunSnapshot> snapshots;
    for (uint32_t k = 1; k <= steps; ++k) {
        network.step(random);
        if (k == steps || (every > 0 && k % every == 0))
            snapshots.push_back(RunSnapshot{network.stepCount, network.successCount});
        if (k % StepsPerProgressReport == 0) addProgress(progress, StepsPerProgressReport);
    }
    addProgress(progress, steps % StepsPerProgressReport);
    return snapshots;
}
