#pragma once

#include "model/network/network.h"

// Pixel geometry of the matrix panel. Drawing and mouse editing both read it,
// so a hit box can never drift away from what is drawn.
namespace matrix_geometry {

constexpr int CellPitch = 32;
constexpr int HeaderLeft = 16;   // left edge of the row-number column
constexpr int HeaderTop = 48;    // top edge of the column-number band
constexpr int GridLeft = 48;     // left edge of column 0
constexpr int GridTop = 80;      // top edge of row 0
constexpr int TrackThickness = 3;

// A parameter slider's track spans one unit, so a pixel moves its value by
// one 64th.
constexpr int SliderLength = 64;
constexpr double SliderUnitsPerPixel = 1.0 / SliderLength;
constexpr int ParameterPitch = 80;

// The run-speed track spans speeds 0 to MaxSpeed: 16 pixels per unit.
constexpr int SpeedLeft = 16;
constexpr int SpeedRight = 144;
constexpr double MaxSpeed = 8.0;
constexpr double SpeedPixelsPerUnit = (SpeedRight - SpeedLeft) / MaxSpeed;
constexpr double SpeedUnitsPerPixel = MaxSpeed / (SpeedRight - SpeedLeft);
// At or below this speed no step runs and the carry is dropped, so the
// picture changes only when the user changes something.
constexpr double IdleSpeed = 0.01;
constexpr bool speedRunsSteps(double speed) { return speed > IdleSpeed; }

constexpr int columnCentreX(int column) { return GridLeft + CellPitch / 2 + CellPitch * column; }
constexpr int rowCentreY(int row) { return GridTop + CellPitch / 2 + CellPitch * row; }
constexpr int headerCentreY() { return HeaderTop + CellPitch / 2; }
constexpr int headerCentreX() { return HeaderLeft + CellPitch / 2; }

// Lower right corner of the grid of `count` nodes, where the resize handle sits.
constexpr int cornerX(int count) { return GridLeft + CellPitch * count; }
constexpr int cornerY(int count) { return GridTop + CellPitch * count; }

// While the handle is dragged, the grid never shrinks visually below the
// smallest network.
constexpr int MinHandleX = cornerX(NetworkModel::MinNodeCount);
constexpr int MinHandleY = cornerY(NetworkModel::MinNodeCount);

// Left end of the sliders of parameter `param` (0 alpha, 1 beta, 2 gamma).
constexpr int parameterLeft(int count, int param) { return cornerX(count) + 32 + ParameterPitch * param; }
constexpr int counterLeft(int count) { return cornerX(count) + 304; }

// The run-speed slider: its value printed in the cell-high band below the
// grid, its track just below that band. A press anywhere from the grid's
// bottom edge to the track's bottom edge grabs it.
constexpr int speedTextY(int count) { return cornerY(count) + CellPitch / 2; }
constexpr int speedTrackTop(int count) { return cornerY(count) + CellPitch; }
constexpr int speedBandBottom(int count) { return speedTrackTop(count) + TrackThickness; }

}  // namespace matrix_geometry
