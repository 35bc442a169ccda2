#include <algorithm>
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

// Paints columns xs .. xe-1 of one row. The distances start at the first
// pixel and move right by adding each edge's step, one pixel at a time.
void fillSpan(const Canvas& canvas, const EdgeLine* lines, double* distances, size_t n, int32_t row, int32_t xs,
              int32_t xe, uint32_t colour, bool antialias) {
    for (size_t k = 0; k < n; ++k) distances[k] = distanceAt(lines[k], xs, row);
    uint32_t* pixel = canvas.pixelAt(static_cast<uint32_t>(xs), static_cast<uint32_t>(row));
    for (int32_t x = xs; x < xe; ++x, ++pixel) {
        double coverage = 1.0;
        for (size_t k = 0; k < n; ++k) {
            if (distances[k] < 1.0) coverage = coverage * std::max(distances[k], 0.0);
        }
        const uint32_t weight = antialias ? static_cast<uint32_t>(coverage * 255.0) + 1 : 256;
        Canvas::blend(pixel, colour, weight);
        for (size_t k = 0; k < n; ++k) distances[k] = distances[k] + lines[k].uy;
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
        fillSpan(*canvas, lines, distances, n, span.row, xs, xe, colour, antialias);
    }
}
