#pragma once

#include <string>

// The viridis colour map, in its published 256 entries.
constexpr int ViridisEntries = 256;

// The entry for a position from 0 (the lowest value) to 1 (the highest): the
// 256 entries share the range equally, the last one taking 1 itself.
int viridisIndex(double position);

// The entry's colour as "#rrggbb", each channel rounded to the nearest of 256 levels.
std::string viridisColour(int index);
