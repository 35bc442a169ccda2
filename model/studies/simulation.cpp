#include "model/studies/simulation.h"

#include <algorithm>
#include <climits>

#include "model/network/seeded_random.h"
#include "model/support/engine_error.h"
#include "model/support/parallel.h"
#include "model/support/work_progress.h"

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

void simulateReplicates(const NetworkModel& network, const RunStart& start, unsigned firstSeed, int replicates,
                        uint32_t steps, uint32_t every, int batch, int jobs,
                        const std::function<void(int, const RunSnapshot&)>& record,
                        const std::function<void(int, int)>& batchDone, WorkProgress* progress) {
    batch = std::max(batch, 1);
    const NeighbourLists neighbours = neighbourLists(network);
    const int batchJobs = batch > 1 ? jobs : 1;
    for (int first = 0; first < replicates; first += batch) {
        const int count = std::min(batch, replicates - first);
        forEachChunk(batchJobs, count, 1, [&](int, long long k, long long, long long) {
            const int replicate = first + static_cast<int>(k);
            const unsigned seed = firstSeed + static_cast<unsigned>(replicate);
            simulateRun(
                startingNetwork(network, neighbours, start, seed), seed, steps, every,
                [&](const RunSnapshot& snapshot) { record(replicate, snapshot); }, progress);
        });
        batchDone(first, count);
    }
}

void checkReplicateSeeds(unsigned long long firstSeed, long long replicates, const std::string& seedName) {
    if (firstSeed + static_cast<unsigned long long>(replicates) - 1 > UINT_MAX)
        throw EngineError(EngineError::BadInput, seedName + " " + std::to_string(firstSeed) + " with " +
                                                     std::to_string(replicates) + " replicates runs past seed " +
                                                     std::to_string(UINT_MAX));
}

int replicateBatch(unsigned long long rowsPerReplicate, int jobs, unsigned long long rowsPerBatch) {
    const unsigned long long perJob = 4;
    return rowsPerReplicate * static_cast<unsigned long long>(jobs) * perJob <= rowsPerBatch
               ? jobs * static_cast<int>(perJob)
               : 1;
}
