#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "graphics/figure.h"

namespace {

// One edge line as draw uses it: its start point and unit direction.
struct EdgeLine {
    double px, py;
    double ux, uy;
};

// Outlines of up to this many vertices keep their working arrays on the stack.
constexpr size_t StackEdges = 8;

// Signed distance from the centre of pixel (x, row) to the edge line,
// positive on the interior side of a counter-clockwise outline.
double distanceAt(const EdgeLine& e, int32_t x, int32_t row) {
    return (static_cast<double>(x) + 0.5 - e.px) * e.uy - (static_cast<double>(row) + 0.5 - e.py) * e.ux;
}

// Weight 256 for every pixel. An opaque colour at full weight replaces the
// pixel outright, which is what the blend rule gives for it.
void fillFull(uint32_t* pixel, int32_t count, uint32_t colour) {
    if ((colour >> 24) == 0xFFu) {
        std::fill_n(pixel, count, colour & 0xFFFFFFu);
        return;
    }
    for (int32_t i = 0; i < count; ++i) Canvas::blend(pixel + i, colour, 256);
}

// The weight from the running distances: the product of the distances below 1
// (clamped at 0), in edge order; distances that are not numbers never compare
// below 1 and so drop out.
template <typename Distances>
uint32_t coverageWeight(const Distances& d, size_t n) {
    double coverage = 1.0;
    for (size_t k = 0; k < n; ++k) {
        if (d[k] < 1.0) coverage = coverage * std::max(d[k], 0.0);
    }
    return static_cast<uint32_t>(coverage * 255.0) + 1;
}

// Anti-aliased run for an outline of N edges, the distances held in registers.
// They start at the first pixel and move right by repeated addition of each
// edge's step, exactly as the rule walks them.
template <size_t N>
void fillSmooth(uint32_t* pixel, int32_t count, const EdgeLine* lines, int32_t xs, int32_t row, uint32_t colour) {
    std::array<double, N> d;
    std::array<double, N> step;
    for (size_t k = 0; k < N; ++k) {
        d[k] = distanceAt(lines[k], xs, row);
        step[k] = lines[k].uy;
    }
    for (int32_t i = 0; i < count; ++i) {
        Canvas::blend(pixel + i, colour, coverageWeight(d, N));
        for (size_t k = 0; k < N; ++k) d[k] = d[k] + step[k];
    }
}

void fillSmoothAny(uint32_t* pixel, int32_t count, const EdgeLine* lines, double* d, size_t n, int32_t xs,
                   int32_t row, uint32_t colour) {
    for (size_t k = 0; k < n; ++k) d[k] = distanceAt(lines[k], xs, row);
    for (int32_t i = 0; i < count; ++i) {
        Canvas::blend(pixel + i, colour, coverageWeight(d, n));
        for (size_t k = 0; k < n; ++k) d[k] = d[k] + lines[k].uy;
    }
}

}  // namespace

void Polygon::draw(Painter& painter, uint32_t colour, bool antialias) {
    const Canvas* canvas = painter.canvas();
    const bool drawable = canvas != nullptr && canvas->drawable();
    firstRow_ = 0;
    endRow_ = drawable ? static_cast<int64_t>(canvas->height()) : 0;
    buildSpans();
    firstRow_ = AllRowsFirst;
    endRow_ = AllRowsEnd;

    const size_t n = vertices.size();
    if (!drawable || n == 0 || edges.size() != n) return;

    EdgeLine stackLines[StackEdges];
    double stackDistances[StackEdges];
    std::vector<EdgeLine> heapLines;
    std::vector<double> heapDistances;
    EdgeLine* lines = stackLines;
    double* distances = stackDistances;
    if (n > StackEdges) {
        heapLines.resize(n);
        heapDistances.resize(n);
        lines = heapLines.data();
        distances = heapDistances.data();
    }
    for (size_t k = 0; k < n; ++k) {
        const Point e = edges[k];
        const double length = std::sqrt(e.x * e.x + e.y * e.y);
        lines[k] = EdgeLine{vertices[k].x, vertices[k].y, e.x / length, e.y / length};
    }

    const int32_t width = static_cast<int32_t>(canvas->width());
    const int32_t height = static_cast<int32_t>(canvas->height());
    for (const Span& span : spans) {
        if (!span.complete() || span.row < 0 || span.row >= height) continue;
        const int32_t xs = std::max(span.left, 0);
        const int32_t xe = span.right < width ? span.right : width;
        if (xe <= xs) continue;
        uint32_t* pixel = canvas->pixelAt(static_cast<uint32_t>(xs), static_cast<uint32_t>(span.row));
        const int32_t count = xe - xs;
        if (!antialias) {
            fillFull(pixel, count, colour);
        } else if (n == 3) {
            fillSmooth<3>(pixel, count, lines, xs, span.row, colour);
        } else if (n == 4) {
            fillSmooth<4>(pixel, count, lines, xs, span.row, colour);
        } else {
            fillSmoothAny(pixel, count, lines, distances, n, xs, span.row, colour);
        }
    }
}
