#include "model/seeded_random.h"

SeededRandom::SeededRandom(unsigned seed) { initstate_r(seed, state_, sizeof state_, &data_); }
