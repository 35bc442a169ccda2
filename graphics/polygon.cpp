#include "graphics/figure.h"

#include <algorithm>
#include <cmath>

#include "graphics/repeated_addition.h"
#include "graphics/saturate.h"

namespace {

// A boundary column from a whole double. Out of the int32 range it saturates
// just inside NoLeft and NoRight, so that a boundary far off the canvas still
// closes its span; a column that is not a number makes no boundary.
bool toColumn(double whole, int32_t& column) {
    if (std::isnan(whole)) return false;
    constexpr double lowest = static_cast<double>(Span::NoLeft) + 1.0;
    constexpr double highest = static_cast<double>(Span::NoRight) - 1.0;
    column = static_cast<int32_t>(std::min(std::max(whole, lowest), highest));
    return true;
}

}  // namespace

Polygon::Polygon(const Point* points, int count) {
    if (points == nullptr || count <= 0) return;
    vertices.assign(points, points + count);
    edges.reserve(vertices.size());
}

void Polygon::buildSpans() {
    const size_t n = vertices.size();
    edges.clear();
    for (size_t k = 0; k < n; ++k) {
        const Point& from = vertices[k];
        const Point& to = vertices[k + 1 < n ? k + 1 : 0];
        edges.push_back(Point{to.x - from.x, to.y - from.y});
    }
    spans.clear();
    for (size_t k = 0; k < n; ++k) addEdgeBoundaries(vertices[k], edges[k]);
}

// Each boundary is taken where the edge crosses the centre line of its row.
// x moves from row to row by adding the slope, never by recomputing it, so
// the rows above the window are skipped with the same sum a walk would reach.
void Polygon::addEdgeBoundaries(Point start, Point edge) {
    const double x0 = start.x;
    const double y0 = start.y;
    const double s = edge.x / edge.y;

    if (edge.y > 0) {
        // Downward edges make left boundaries: the column holding the crossing.
        const double top = std::floor(y0);
        const double bottom = std::ceil(y0 + edge.y);
        if (std::isnan(top) || std::isnan(bottom)) return;
        const int64_t firstEdgeRow = saturateToInt64(top);
        const int64_t first = std::max(firstEdgeRow, firstRow_);
        const int64_t last = std::min(saturateToInt64(bottom) - 1, endRow_ - 1);
        if (first > last) return;

        double x = x0 + (static_cast<double>(firstEdgeRow) + 0.5 - y0) * s;
        x = addRepeatedly(x, s, static_cast<uint64_t>(first - firstEdgeRow));
        for (int64_t row = first; row <= last; ++row) {
            int32_t column = 0;
            if (toColumn(std::floor(x), column)) spans.addBoundary(static_cast<int32_t>(row), column, false);
            x = x + s;
        }
    } else if (edge.y < 0) {
        // Upward edges make right boundaries, walked bottom to top: the first
        // column not below the crossing, pushed a further |trunc(s)| columns
        // right on edges flatter than 45 degrees.
        const double bottom = std::ceil(y0);
        const double top = std::floor(y0 + edge.y);
        if (std::isnan(top) || std::isnan(bottom)) return;
        const int64_t firstEdgeRow = saturateToInt64(bottom) - 1;
        const int64_t first = std::min(firstEdgeRow, endRow_ - 1);
        const int64_t last = std::max(saturateToInt64(top), firstRow_);
        if (first < last) return;

        double x = x0 + (static_cast<double>(firstEdgeRow) + 0.5 - y0) * s + std::fabs(std::trunc(s));
        x = addRepeatedly(x, -s, static_cast<uint64_t>(firstEdgeRow - first));
        for (int64_t row = first; row >= last; --row) {
            int32_t column = 0;
            if (toColumn(std::ceil(x), column)) spans.addBoundary(static_cast<int32_t>(row), column, true);
            x = x - s;
        }
    }
}
