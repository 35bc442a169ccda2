#pragma once

#include <cstdint>

#include "model/network/c_library_random.h"

// A generator of its own with the C library's rand() sequence for a seed:
// the same additive feedback generator and seeding as srand(seed) followed by
// rand(), with private state, so that parallel replicates neither share nor
// lock anything. Seed 1 gives the sequence of a process that never seeds.
class SeededRandom {
public:
    explicit SeededRandom(unsigned seed) : state_(seed) {}
    SeededRandom(const SeededRandom&) = delete;
    SeededRandom& operator=(const SeededRandom&) = delete;

    int next() { return state_.draw(); }

private:
    c_library_random::State state_;
};
