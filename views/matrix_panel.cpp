// Drawing of the matrix panel, and the run-speed stepping that its drawing drives.

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "graphics/figure.h"
#include "graphics/font.h"
#include "model/network/network.h"
#include "views/clamped_pointer.h"
#include "views/palette.h"
#include "views/panel_geometry.h"

namespace mg = matrix_geometry;

namespace {

constexpr double SpeedCubeScale = 0.015625;  // speed^3 / 64 steps per second
constexpr double GridLineWidth = 2.0;
constexpr double KnobRadius = 6.0;
constexpr double MarkerInner = 10.0;
constexpr double MarkerOuter = 14.0;

// A slider's track lies at the bottom of its row; its value is printed above it.
constexpr int SliderTrackOffset = mg::CellPitch - mg::TrackThickness;
constexpr int ParameterTitleY = 32;

constexpr uint32_t GridColour = 0xC0000000;
constexpr uint32_t HandleRim = 0xC0000000;
constexpr uint32_t HandleFace = 0xC0FFFFFF;
constexpr uint32_t TrackColour = 0x80000000;
constexpr uint32_t KnobColour = 0xFF202020;

constexpr const char* ParameterNames[3] = {"alpha", "beta", "gamma"};

double stepsPerSecond(double speed) { return speed * speed * speed * SpeedCubeScale; }

// One frame of the matrix panel. Borrows the network for the frame's duration;
// everything it draws is read from it.
class MatrixPainter {
public:
    MatrixPainter(const Network& network, bool antialias)
        : network_(network), count_(network.nodeCount), antialias_(antialias) {
        placeHandle();
    }

    void drawNodeNumbers() const;
    void drawGridLines() const;
    void drawCellValues() const;
    void drawResizeHandle() const;
    void drawParameterColumns() const;
    void drawSpeedSlider() const;
    void drawCounters() const;
    void drawMarkerRings() const;

private:
    void placeHandle();
    void drawParameterColumn(int param) const;
    void drawSlider(int param, int row) const;
    bool sliderValue(int param, int row, double& value) const;
    void drawMarker(int row, int column, uint32_t colour) const;

    void fill(Figure& shape, uint32_t colour) const { shape.draw(network_.painter, colour, antialias_); }

    const Network& network_;
    const int count_;
    const bool antialias_;
    int handleX_ = 0;
    int handleY_ = 0;
};

// While the handle is dragged the grid's corner follows the pointer, clamped
// into the canvas so that a far-off position cannot make shapes of absurd
// size, and never closer to the origin than a two-node grid.
void MatrixPainter::placeHandle() {
    if (!network_.resizing) {
        handleX_ = mg::cornerX(count_);
        handleY_ = mg::cornerY(count_);
        return;
    }
    const ClampedPointer p = clampToCanvas(network_.painter.canvas(), network_.mouseX, network_.mouseY);
    handleX_ = std::max(mg::MinHandleX, p.x);
    handleY_ = std::max(mg::MinHandleY, p.y);
}

void MatrixPainter::drawNodeNumbers() const {
    char text[32];
    for (int i = 0; i < count_; ++i) {
        std::snprintf(text, sizeof text, "%d", i);
        network_.largeFont.draw(text, palette::Text, mg::columnCentreX(i), mg::headerCentreY(), 0);
        network_.largeFont.draw(text, palette::Text, mg::headerCentreX(), mg::rowCentreY(i), 0);
    }
}

void MatrixPainter::drawGridLines() const {
    for (int i = 0; i <= count_; ++i) {
        const double x = mg::GridLeft + mg::CellPitch * i;
        const double y = mg::GridTop + mg::CellPitch * i;
        Line vertical(x, mg::HeaderTop, x, handleY_, GridLineWidth);
        fill(vertical, GridColour);
        Line horizontal(mg::HeaderLeft, y, handleX_, y, GridLineWidth);
        fill(horizontal, GridColour);
    }
}

void MatrixPainter::drawCellValues() const {
    char text[32];
    for (int c = 0; c < count_; ++c) {
        for (int r = 0; r < count_; ++r) {
            std::snprintf(text, sizeof text, "%d", network_.linked(r, c) ? 1 : 0);
            network_.largeFont.draw(text, palette::Text, mg::columnCentreX(c), mg::rowCentreY(r), 0);
        }
    }
}

// A white wedge with a dark rim pointing to the lower right; corners counter-clockwise.
void MatrixPainter::drawResizeHandle() const {
    const double x = handleX_;
    const double y = handleY_;
    const Point rim[3] = {{x + 4, y - 10}, {x - 10, y + 4}, {x + 4, y + 4}};
    Polygon outer(rim, 3);
    fill(outer, HandleRim);
    const Point face[3] = {{x + 2, y - 6}, {x - 6, y + 2}, {x + 2, y + 2}};
    Polygon inner(face, 3);
    fill(inner, HandleFace);
}

void MatrixPainter::drawParameterColumns() const {
    for (int p = 0; p < 3; ++p) drawParameterColumn(p);
}

void MatrixPainter::drawParameterColumn(int param) const {
    const int left = mg::parameterLeft(count_, param);
    network_.smallFont.draw(ParameterNames[param], palette::Text, left + mg::SliderLength / 2, ParameterTitleY, 0);
    for (int row = -1; row < count_; ++row) drawSlider(param, row);
}

// Row -1 sets all nodes at once; it shows a value only while all nodes agree.
bool MatrixPainter::sliderValue(int param, int row, double& value) const {
    const std::vector<double>& values = network_.params[param];
    if (row >= 0) {
        value = values[row];
        return true;
    }
    if (values.empty()) return false;
    value = values.front();
    return std::all_of(values.begin(), values.end(), [&](double v) { return v == value; });
}

void MatrixPainter::drawSlider(int param, int row) const {
    const double left = mg::parameterLeft(count_, param);
    const double top = mg::GridTop + mg::CellPitch * row + SliderTrackOffset;
    Rectangle track(left, top, left + mg::SliderLength, top + mg::TrackThickness);
    fill(track, TrackColour);
    double value = 0.0;
    if (!sliderValue(param, row, value)) return;
    Ring knob(left + mg::SliderLength * value, top + 2, palette::FilledDisc, KnobRadius);
    fill(knob, KnobColour);
    char text[32];
    std::snprintf(text, sizeof text, "%5.3f", value);
    network_.smallFont.draw(text, palette::Text, static_cast<int>(left) + mg::SliderLength / 2,
                            mg::rowCentreY(row), 0);
}

void MatrixPainter::drawSpeedSlider() const {
    const double top = mg::speedTrackTop(count_);
    Rectangle track(mg::SpeedLeft, top, mg::SpeedRight, top + mg::TrackThickness);
    fill(track, TrackColour);
    const int knobX = mg::SpeedLeft + static_cast<int>(mg::SpeedPixelsPerUnit * network_.speed);
    Ring knob(knobX, top + 1, palette::FilledDisc, KnobRadius);
    fill(knob, KnobColour);
    char text[32];
    std::snprintf(text, sizeof text, "%5.3f", stepsPerSecond(network_.speed));
    network_.smallFont.draw(text, palette::Text, (mg::SpeedLeft + mg::SpeedRight) / 2, mg::speedTextY(count_), 0);
}

void MatrixPainter::drawCounters() const {
    const int left = mg::counterLeft(count_);
    char text[32];
    // Unsigned, so that a count past 2^31 steps is not shown as negative.
    std::snprintf(text, sizeof text, "count: %12u", static_cast<unsigned>(network_.stepCount));
    network_.smallFont.draw(text, palette::Text, left, mg::headerCentreY(), AlignLeft);
    const double steps = network_.stepCount;
    for (int i = 0; i < count_; ++i) {
        // Before the first step this is 0/0 and shows as not-a-number, on purpose.
        const double chance = static_cast<double>(network_.successCount[i]) / steps * 100.0;
        std::snprintf(text, sizeof text, "chance: %8.3f%%", chance);
        network_.smallFont.draw(text, palette::Text, left, mg::rowCentreY(i), AlignLeft);
    }
}

void MatrixPainter::drawMarkerRings() const {
    for (int i = 0; i < count_; ++i) {
        const bool succeeded = network_.connected[i];
        drawMarker(i, network_.partner[i], succeeded ? palette::PartnerSucceeded : palette::PartnerOther);
        // Drawn second, so that it covers the partner ring when both name the same node.
        drawMarker(i, network_.pointer[i], succeeded ? palette::PointerSucceeded : palette::PointerOther);
    }
}

void MatrixPainter::drawMarker(int row, int column, uint32_t colour) const {
    if (column < 0 || column >= count_) return;
    Ring ring(mg::columnCentreX(column), mg::rowCentreY(row), MarkerInner, MarkerOuter);
    fill(ring, colour);
}

// The carry builds up by the displayed rate spread over the frames of a
// second; each whole step it gathers is run before the frame is drawn.
void runSpeedSteps(Network& network) {
    if (mg::speedRunsSteps(network.speed)) {
        network.stepCarry += stepsPerSecond(network.speed) / Network::FramesPerSecond;
        while (network.stepCarry > 1.0) {
            network.stepCarry -= 1.0;
            network.step();
        }
    } else {
        network.stepCarry = 0.0;
    }
}

}  // namespace

void Network::drawMatrix(bool antialias) {
    symmetrize();
    runSpeedSteps(*this);
    const MatrixPainter panel(*this, antialias);
    panel.drawNodeNumbers();
    panel.drawGridLines();
    panel.drawCellValues();
    panel.drawResizeHandle();
    panel.drawParameterColumns();
    panel.drawSpeedSlider();
    panel.drawCounters();
    panel.drawMarkerRings();
}
