#pragma once

#include <cstdint>

// The rand() of the C library that the desktop program runs on (the GNU C
// library, as on Debian): an additive feedback generator over 31 words,
// x[k] = x[k - 31] + x[k - 3] modulo 2^32, returning x[k] >> 1. Seeding
// fills the words with the minimal standard Lehmer generator from the seed
// (0 stands for 1) and discards the first 310 results. A process that
// never seeds gets the sequence of seed 1.
//
// Written out rather than borrowed from the C library: seeded generators of
// replicates keep a state of their own on any C library, and the page, whose
// C library has another rand(), installs this one as its rand() so that the
// same clicks give the same pictures as on the desktop.
namespace c_library_random {

constexpr int Degree = 31;
constexpr int Separation = 3;

// The generator's words and the two positions it adds up, wherever they
// are kept: in a State, or in a caller's buffer for the reentrant functions.
struct Cursor {
    int32_t* words;
    int front;
    int rear;
};

void seed(Cursor& cursor, uint32_t seed);
int32_t next(Cursor& cursor);

struct State {
    int32_t words[Degree];
    Cursor cursor{words, Separation, 0};

    explicit State(uint32_t seedValue) { seed(cursor, seedValue); }
    State(const State&) = delete;
    State& operator=(const State&) = delete;

    void reseed(uint32_t seedValue) { seed(cursor, seedValue); }
    int32_t draw() { return next(cursor); }
};

}  // namespace c_library_random
