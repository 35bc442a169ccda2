#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "model/network/network.h"
#include "model/studies/run_start.h"

class WorkProgress;

// The counters of every node after some step of a sampled run.
struct RunSnapshot {
    uint32_t step = 0;
    std::vector<uint32_t> successes;
};

// Runs `steps` pairing steps from the network's state, drawing from a
// generator of its own seeded with `seed` (seed 1 repeats a process that
// never seeds rand()), and records the counters after every `every`-th step
// and after the last. `every` 0 records only the last.
// Adds the steps run to `progress`, when given, now and then.
std::vector<RunSnapshot> simulateRun(NetworkModel network, unsigned seed, uint32_t steps, uint32_t every,
                                     WorkProgress* progress = nullptr);

// The same run, handing each snapshot to `record` as it is taken instead of
// keeping them all.
void simulateRun(NetworkModel network, unsigned seed, uint32_t steps, uint32_t every,
                 const std::function<void(const RunSnapshot&)>& record, WorkProgress* progress = nullptr);

// How many snapshots a run of `steps` steps recorded every `every` takes.
uint32_t snapshotCount(uint32_t steps, uint32_t every);

// Replicate r = 0 .. replicates - 1 is a run of `network`, started as
// `start` says, with seed firstSeed + r. Replicates run side by side on up to `jobs` threads in
// batches of `batch`; `record(r, snapshot)` gets replicate r's snapshots on
// the thread that runs it, in order, and `batchDone(first, count)` runs on
// the calling thread after each batch, batches in order. With a batch of
// one, everything runs on the calling thread. A replicate's snapshots are
// the same whatever the batch and the number of jobs.
void simulateReplicates(const NetworkModel& network, const RunStart& start, unsigned firstSeed, int replicates,
                        uint32_t steps, uint32_t every, int batch, int jobs,
                        const std::function<void(int replicate, const RunSnapshot&)>& record,
                        const std::function<void(int first, int count)>& batchDone, WorkProgress* progress = nullptr);

// The most replicates the front ends run at once.
constexpr int MaxReplicates = 100000000;

// EngineError (bad input) when the seeds firstSeed to firstSeed + replicates
// - 1 run past the largest seed; the message calls the first seed `seedName`.
void checkReplicateSeeds(unsigned long long firstSeed, long long replicates, const std::string& seedName);

// How many replicates to run side by side on `jobs` threads so that a batch
// keeps at most about `rowsPerBatch` rows of `rowsPerReplicate` each: a few
// per job when they fit, otherwise one at a time.
int replicateBatch(unsigned long long rowsPerReplicate, int jobs, unsigned long long rowsPerBatch);
