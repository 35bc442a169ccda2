#pragma once

#include <algorithm>
#include <cstdint>

#include "graphics/canvas.h"

// A pointer position clamped into the canvas. While a button is held the
// platform may report positions outside the window, and bogus ones of any
// size; everything that follows the pointer uses this so that nothing leaves
// the screen and no arithmetic on the coordinates can overflow.
struct ClampedPointer {
    int x;
    int y;
};

inline double lastCanvasIndex(uint32_t size) {
    // Far beyond any real window, and small enough that int arithmetic on it stays safe.
    constexpr double Limit = 1 << 24;
    return size > 0 ? std::min(size - 1.0, Limit) : 0.0;
}

inline ClampedPointer clampToCanvas(const Canvas* canvas, double x, double y) {
    const double maxX = canvas ? lastCanvasIndex(canvas->width()) : 0.0;
    const double maxY = canvas ? lastCanvasIndex(canvas->height()) : 0.0;
    // std::clamp keeps a NaN; the comparisons below turn it into 0.
    const double cx = x > 0.0 ? std::min(x, maxX) : 0.0;
    const double cy = y > 0.0 ? std::min(y, maxY) : 0.0;
    return {static_cast<int>(cx), static_cast<int>(cy)};
}
