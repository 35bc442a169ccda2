#pragma once

#include <cstdlib>

// A generator of its own with the C library's rand() sequence for a seed:
// the same additive feedback generator and seeding as srand(seed) followed by
// rand(), with private state, so that parallel replicates neither share nor
// lock anything. Seed 1 gives the sequence of a process that never seeds.
class SeededRandom {
public:
    explicit SeededRandom(unsigned seed);
    SeededRandom(const SeededRandom&) = delete;
    SeededRandom& operator=(const SeededRandom&) = delete;

    int next() {
        int32_t value;
        random_r(&data_, &value);
        return value;
    }

private:
    // The size of the C library's own default state, which selects the same
    // generator as rand().
    char state_[128];
    random_data data_{};
};
