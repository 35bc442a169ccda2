#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "model/network.h"

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
