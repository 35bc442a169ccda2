// Mouse editing of the matrix panel: a press records which gesture begins,
// followMouse moves the value with the pointer until the left release.

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "graphics/canvas.h"
#include "model/network/network.h"
#include "views/clamped_pointer.h"
#include "views/panel_geometry.h"

namespace mg = matrix_geometry;

namespace {

constexpr double HandleGrabRadiusSquared = 64.0;

// Floor division; the coordinates may be negative (and, from the platform,
// anything an int can hold), so it works in 64 bits.
int64_t floorDiv(int64_t value, int64_t divisor) {
    const int64_t quotient = value / divisor;
    return quotient * divisor > value ? quotient - 1 : quotient;
}

struct Cell {
    int row;
    int column;
};

// The grid cell under (x, y), if any.
bool cellAt(int nodeCount, int x, int y, Cell& cell) {
    if (x < mg::HeaderLeft || y < mg::HeaderTop) return false;
    const int64_t column = (int64_t{x} - mg::HeaderLeft) / mg::CellPitch - 1;
    const int64_t row = (int64_t{y} - mg::HeaderTop) / mg::CellPitch - 1;
    if (column < 0 || column >= nodeCount || row < 0 || row >= nodeCount) return false;
    cell = {static_cast<int>(row), static_cast<int>(column)};
    return true;
}

bool onResizeHandle(int nodeCount, int x, int y) {
    // In double: the squares of far-off platform coordinates overflow 64 bits.
    const double dx = static_cast<double>(mg::cornerX(nodeCount)) - x;
    const double dy = static_cast<double>(mg::cornerY(nodeCount)) - y;
    return dx * dx + dy * dy < HandleGrabRadiusSquared;
}

bool inSpeedBand(int nodeCount, int x, int y) {
    return x >= mg::SpeedLeft && x <= mg::SpeedRight && y >= mg::cornerY(nodeCount) &&
           y <= mg::speedBandBottom(nodeCount);
}

double clampUnit(double value) { return std::min(1.0, std::max(0.0, value)); }

}  // namespace

void Network::pressLeft(int x, int y) {
    if (onResizeHandle(nodeCount, x, y)) {
        resizing = true;
        return;
    }
    if (inSpeedBand(nodeCount, x, y)) {
        speedDragging = true;
        return;
    }
    // Row -1 is the all-nodes slider in the header band.
    const int64_t sliderRow = floorDiv(int64_t{y} - mg::GridTop, mg::CellPitch);
    if (sliderRow >= -1 && sliderRow < nodeCount) {
        for (int p = 0; p < 3; ++p) {
            const int64_t offset = int64_t{x} - mg::parameterLeft(nodeCount, p);
            if (offset >= 0 && offset <= mg::SliderLength) {
                sliderParam = p;
                sliderNode = static_cast<int>(sliderRow);
                sliderDragging = true;
                return;
            }
        }
    }
    Cell cell;
    if (cellAt(nodeCount, x, y, cell) && cell.row != cell.column) {
        const int value = links[cell.row][cell.column] == 0 ? 1 : 0;
        links[cell.row][cell.column] = value;
        links[cell.column][cell.row] = value;
    }
}

void Network::pressRight(int x, int y) {
    Cell cell;
    if (!cellAt(nodeCount, x, y, cell) || cell.row == cell.column) return;
    connected[cell.row] = false;
    partner[cell.row] = cell.column;
    pointer[cell.row] = cell.column;
}

void Network::releaseLeft() {
    resizing = false;
    sliderDragging = false;
    speedDragging = false;
}

namespace {

// The largest grid whose corner lies above and left of the pointer. The
// pointer is clamped into the canvas first: a position left of or above the
// window counts as 0 (which asks for fewer than two nodes and so changes
// nothing), and a bogus huge one cannot ask for more nodes than fit on screen.
int handleNodeCount(const Canvas* canvas, int x, int y) {
    const ClampedPointer p = clampToCanvas(canvas, x, y);
    const double across = std::trunc((p.x - static_cast<double>(mg::GridLeft)) / mg::CellPitch);
    const double down = std::trunc((p.y - static_cast<double>(mg::GridTop)) / mg::CellPitch);
    return static_cast<int>(std::min(across, down));
}

}  // namespace

void Network::followMouse(int x, int y) {
    mouseX = x;
    mouseY = y;
    if (resizing) {
        const int count = handleNodeCount(painter.canvas(), x, y);
        if (count != nodeCount && count >= MinNodeCount) resize(count);
    } else if (sliderDragging) {
        // A slider row that no longer exists (or a bad parameter) edits nothing.
        if (sliderParam < 0 || sliderParam > 2 || sliderNode < -1 || sliderNode >= nodeCount) return;
        const double offset = static_cast<double>(x) - mg::parameterLeft(nodeCount, sliderParam);
        const double value = clampUnit(offset * mg::SliderUnitsPerPixel);
        std::vector<double>& values = params[sliderParam];
        if (sliderNode >= 0) {
            values[sliderNode] = value;
        } else {
            std::fill(values.begin(), values.end(), value);
        }
    } else if (speedDragging) {
        const double value = (static_cast<double>(x) - mg::SpeedLeft) * mg::SpeedUnitsPerPixel;
        speed = std::min(mg::MaxSpeed, std::max(0.0, value));
    }
}
