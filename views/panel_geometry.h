#pragma once

#include <algorithm>
#include <cstdint>

#include "graphics/canvas.h"

// Pixel geometry of the matrix panel. Drawing and mouse editing both read it,
// so a hit box can never drift away from what is drawn.
namespace matrix_geometry {

constexpr int CellPitch = 32;
constexpr int HeaderLeft = 16;   // left edge of the row-number column
constexpr int HeaderTop = 48;    // top edge of the column-number band
constexpr int GridLeft = 48;     // left edge of column 0
constexpr int GridTop = 80;      // top edge of row 0
constexpr int SliderLength = 64;
constexpr int ParameterPitch = 80;
constexpr int SpeedLeft = 16;
constexpr int SpeedRight = 144;
// While the handle is dragged, the grid never shrinks visually below two nodes.
constexpr int MinHandleX = 112;
constexpr int MinHandleY = 144;

constexpr int columnCentreX(int column) { return GridLeft + CellPitch / 2 + CellPitch * column; }
constexpr int rowCentreY(int row) { return GridTop + CellPitch / 2 + CellPitch * row; }
constexpr int headerCentreY() { return HeaderTop + CellPitch / 2; }
constexpr int headerCentreX() { return HeaderLeft + CellPitch / 2; }

// Lower right corner of the grid of `count` nodes, where the resize handle sits.
constexpr int cornerX(int count) { return GridLeft + CellPitch * count; }
constexpr int cornerY(int count) { return GridTop + CellPitch * count; }

// Left end of the sliders of parameter `param` (0 alpha, 1 beta, 2 gamma).
constexpr int parameterLeft(int count, int param) { return cornerX(count) + 32 + ParameterPitch * param; }
constexpr int counterLeft(int count) { return cornerX(count) + 304; }

}  // namespace matrix_geometry

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
