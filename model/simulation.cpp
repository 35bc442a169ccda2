#include "model/simulation.h"

#include "model/seeded_random.h"
#include "model/work_progress.h"

namespace {

constexpr uint32_t StepsPerProgressReport = 1 << 16;

}  // namespace

void simulateRun(NetworkModel network, unsigned seed, uint32_t steps, uint32_t every,
                 const std::function<void(const RunSnapshot&)>& record, WorkProgress* progress) {
    SeededRandom random(seed);
    RunSnapshot snapshot;
    for (uint32_t k = 1; k <= steps; ++k) {
        network.step(random);
        if (k == steps || (every > 0 && k % every == 0)) {
            snapshot.step = network.stepCount;
            snapshot.successes = network.successCount;
            record(snapshot);
        }
        if (k % StepsPerProgressReport == 0) addProgress(progress, StepsPerProgressReport);
    }
    addProgress(progress, steps % StepsPerProgressReport);
}

std::vector<RunSnapshot> simulateRun(NetworkModel network, unsigned seed, uint32_t steps, uint32_t every,
                                     WorkProgress* progress) {
    std::vector<RunSnapshot> snapshots;
    snapshots.reserve(snapshotCount(steps, every));
    simulateRun(std::move(network), seed, steps, every, [&](const RunSnapshot& s) { snapshots.push_back(s); }, progress);
    return snapshots;
}

uint32_t snapshotCount(uint32_t steps, uint32_t every) {
    if (every == 0) return steps > 0 ? 1 : 0;
    return steps / every + (steps % every != 0 ? 1 : 0);
}
