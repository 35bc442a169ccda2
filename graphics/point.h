#pragma once

// A position or a vector in canvas pixels, x to the right and y downward.
struct Point {
    double x = 0.0;
    double y = 0.0;
};
