#include "views/graph_view.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>

#include "graphics/figure.h"
#include "graphics/font.h"
#include "model/network/network.h"
#include "views/clamped_pointer.h"
#include "views/palette.h"
#include "views/panel_geometry.h"

namespace {

// Deliberately this constant rather than a more precise 2 pi: node positions
// are part of what the panel shows and must not move.
constexpr double LayoutTurn = 6.2831853;
constexpr double FullTurn = 6.28318530718;
constexpr double CircleRadius = 128.0;
constexpr double CircleCentreX = 512.0;
// The centre's y for zero nodes. Each node moves it down by a matrix row, so
// that the circle stays below the matrix panel as that grows.
constexpr double CircleTop = 256.0;

constexpr double PickRadiusSquared = 576.0;  // the outer radius of a node's disc, 24
constexpr double LinkWidth = 4.0;
constexpr double DiscInner = 20.0;
constexpr double DiscOuter = 24.0;
constexpr double ProgressThreshold = 0.0001;

constexpr uint32_t LinkColour = 0x80000000;
constexpr uint32_t ProgressColour = 0xA0808080;
constexpr uint32_t TransferRed = 0x800000;
constexpr uint32_t OutlineHighlighted = 0x80408040;
constexpr uint32_t OutlineOther = 0x80404040;
constexpr uint32_t FillHighlighted = 0xFFC0E0C0;
constexpr uint32_t FillOther = 0xFFC0C0C0;
constexpr uint32_t LabelHighlighted = 0xC0008000;
constexpr uint32_t LabelOther = 0xC0000000;

Point offset(const Point& from, double angle, double along, double across) {
    // Across is taken along (sin, -cos), which keeps the arrowhead corners
    // counter-clockwise on screen.
    const double ux = std::cos(angle);
    const double uy = std::sin(angle);
    return {from.x + along * ux + across * uy, from.y + along * uy - across * ux};
}

double direction(const Point& from, const Point& to) { return std::atan2(to.y - from.y, to.x - from.x); }

// A 16 px long, 20 px wide arrowhead whose base lies `base` pixels from `centre`.
void drawArrowhead(Painter& painter, const Point& centre, double angle, double base, uint32_t colour,
                   bool antialias) {
    const Point corners[3] = {offset(centre, angle, base + 16.0, 0.0), offset(centre, angle, base, 10.0),
                              offset(centre, angle, base, -10.0)};
    Polygon(corners, 3).draw(painter, colour, antialias);
}

uint32_t transferColour(uint32_t alpha) { return alpha << 24 | TransferRed; }

}  // namespace

GraphView::GraphView(Network& network)
    : layoutCount(network.nodeCount), network(network), positions(std::max(0, network.nodeCount)) {
    layout();
}

void GraphView::layout() {
    const int count = std::max(0, layoutCount);
    positions.resize(count);
    const double centreY = CircleTop + static_cast<double>(matrix_geometry::CellPitch) * count;
    for (int i = 0; i < count; ++i) {
        const double angle = i * LayoutTurn / count;
        positions[i] = {CircleCentreX + CircleRadius * std::cos(angle), centreY + CircleRadius * std::sin(angle)};
    }
}

bool GraphView::pick(int x, int y) {
    const int count = std::min<int>(network.nodeCount, static_cast<int>(positions.size()));
    for (int i = 0; i < count; ++i) {
        // Truncated like an int, but kept in double so that no coordinate can overflow.
        const double dx = std::trunc(x - positions[i].x);
        const double dy = std::trunc(y - positions[i].y);
        if (dx * dx + dy * dy < PickRadiusSquared) {
            dragging = true;
            dragIndex = i;
            return true;
        }
    }
    return false;
}

void GraphView::release() { dragging = false; }

void GraphView::followMouse(int x, int y) {
    if (network.nodeCount != layoutCount) {
        layoutCount = network.nodeCount;
        layout();
    }
    if (!dragging) return;
    if (dragIndex < 0 || dragIndex >= static_cast<int>(positions.size())) {
        dragging = false;
        return;
    }
    // A pointer left of, above or far beyond the window keeps the node on screen.
    const ClampedPointer p = clampToCanvas(network.painter.canvas(), x, y);
    positions[dragIndex] = {static_cast<double>(p.x), static_cast<double>(p.y)};
}

int GraphView::drawnCount() const {
    return std::min<int>(network.nodeCount, static_cast<int>(positions.size()));
}

bool GraphView::linkedNode(int i, int other) const {
    return other >= 0 && other < drawnCount() && network.linked(i, other);
}

bool GraphView::highlighted(int i) const { return network.connected[i] && linkedNode(i, network.pointer[i]); }

void GraphView::drawLinks(bool antialias) const {
    const int count = drawnCount();
    for (int d = 1; d < count; ++d) {
        for (int i = 0; i < d; ++i) {
            if (!network.linked(d, i)) continue;
            Line(positions[d].x, positions[d].y, positions[i].x, positions[i].y, LinkWidth)
                .draw(network.painter, LinkColour, antialias);
        }
    }
}

void GraphView::drawMarkers(int i, bool antialias) const {
    const Point& centre = positions[i];
    const int target = network.pointer[i];
    const int partner = network.partner[i];
    const bool succeeded = network.connected[i];
    if (linkedNode(i, target)) {
        drawArrowhead(network.painter, centre, direction(centre, positions[target]), 28.0,
                      succeeded ? palette::PointerSucceeded : palette::PointerOther, antialias);
    }
    if (linkedNode(i, partner)) {
        drawArrowhead(network.painter, centre, direction(centre, positions[partner]), 28.0,
                      succeeded ? palette::PartnerSucceeded : palette::PartnerOther, antialias);
    }
    const double carry = network.stepCarry;
    if (!(carry > ProgressThreshold)) return;
    if (!linkedNode(i, target) || !linkedNode(i, partner)) return;
    const double progress = std::min(1.0, carry);
    drawProgressArrowhead(i, progress, antialias);
    drawTransferRing(i, progress, antialias);
}

// The grey arrowhead turns from the partner towards the pointer as the next
// automatic step builds up, always clockwise on screen (growing angle), even
// where that is the long way round.
void GraphView::drawProgressArrowhead(int i, double progress, bool antialias) const {
    const Point& centre = positions[i];
    double towardPointer = direction(centre, positions[network.pointer[i]]);
    double angle = towardPointer;
    if (network.connected[i]) {
        const double towardPartner = direction(centre, positions[network.partner[i]]);
        if (towardPartner > towardPointer) towardPointer += FullTurn;
        angle = towardPointer * progress + towardPartner * (1.0 - progress);
    }
    drawArrowhead(network.painter, centre, angle, 44.0, ProgressColour, antialias);
}

void GraphView::drawTransferRing(int i, double progress, bool antialias) const {
    const int target = network.pointer[i];
    const Point& here = positions[i];
    const Point& there = positions[target];
    const Point middle = {(here.x + there.x) * 0.5, (here.y + there.y) * 0.5};
    const bool incoming = network.partner[target] == i && !network.connected[i];
    if (incoming) {
        const double radius = 12.0 - 12.0 * progress;
        const uint32_t alpha = 192 - static_cast<uint32_t>(192.0 * progress);
        Ring(middle.x * (1.0 - progress) + here.x * progress, middle.y * (1.0 - progress) + here.y * progress,
             radius / 2.0, radius)
            .draw(network.painter, transferColour(alpha), antialias);
    } else if (network.pointer[target] == i) {
        const double radius = 12.0 * progress + 1.0;
        const uint32_t alpha = static_cast<uint32_t>(192.0 * progress);
        Ring(middle.x, middle.y, radius / 2.0, radius).draw(network.painter, transferColour(alpha), antialias);
    }
}

void GraphView::drawNode(int i, bool antialias) const {
    const Point& centre = positions[i];
    const bool lit = highlighted(i);
    Ring(centre.x, centre.y, DiscInner, DiscOuter).draw(network.painter, lit ? OutlineHighlighted : OutlineOther,
                                                         antialias);
    Ring(centre.x, centre.y, palette::FilledDisc, DiscInner).draw(network.painter, lit ? FillHighlighted : FillOther,
                                                         antialias);
    char text[32];
    std::snprintf(text, sizeof text, "%d", i);
    network.largeFont.draw(text, lit ? LabelHighlighted : LabelOther, static_cast<int>(centre.x),
                           static_cast<int>(centre.y), 0);
}

void GraphView::drawGraph(bool antialias) {
    drawLinks(antialias);
    const int count = drawnCount();
    for (int i = 0; i < count; ++i) drawMarkers(i, antialias);
    for (int i = 0; i < count; ++i) drawNode(i, antialias);
}
