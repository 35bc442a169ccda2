#pragma once

#include <cstdint>

// The value that `count` repetitions of `x = x + step` leave in x, bit for bit
// as a double loop would (round to nearest, ties to even), in time that does not
// grow with `count`: the scan converter uses it to start an edge on the first
// canvas row without walking the rows above it one by one.
double addRepeatedly(double x, double step, uint64_t count);
