#include <algorithm>
#include <cmath>

#include "graphics/figure.h"

namespace {

// Offsets far beyond any canvas saturate; sums of two squares of them still
// fit in 128 bits.
constexpr int64_t OffsetLimit = int64_t{1} << 62;
constexpr int64_t SmallOffset = int64_t{1} << 31;

int64_t toOffset(double whole) {
    if (whole <= -static_cast<double>(OffsetLimit)) return -OffsetLimit;
    if (whole >= static_cast<double>(OffsetLimit)) return OffsetLimit;
    return static_cast<int64_t>(whole);
}

// The distance from the centre to the sample at offset (j, i): the squares
// are summed as integers and only the sum becomes a double.
double sampleDistance(int64_t i, int64_t j) {
    if (i > -SmallOffset && i < SmallOffset && j > -SmallOffset && j < SmallOffset) {
        return std::sqrt(static_cast<double>(i * i + j * j));
    }
    const unsigned __int128 ii = static_cast<unsigned __int128>(static_cast<__int128>(i) * i);
    const unsigned __int128 jj = static_cast<unsigned __int128>(static_cast<__int128>(j) * j);
    return std::sqrt(static_cast<double>(ii + jj));
}

// The pixel index that the sample at centre + offset falls in, as a whole double.
double sampleIndex(double centre, int64_t offset) { return std::trunc(centre + static_cast<double>(offset)); }

struct OffsetRange {
    int64_t low;
    int64_t high;
};

// The offsets whose samples land on 0 .. size-1 along one axis. The first two
// rules are the exact clip for any centre whose sums centre + offset are
// exact; for centres so far off that those sums round, the range is narrowed
// further (the index never decreases as the offset grows), so that no sample
// ever lands off the canvas.
OffsetRange clippedOffsets(double centre, int64_t radius, uint32_t size) {
    const double r = static_cast<double>(radius);
    const double last = static_cast<double>(size) - 1.0;
    OffsetRange range;
    range.low = centre - r < 0 ? toOffset(std::trunc(-centre)) : -radius;
    range.high = centre + r >= static_cast<double>(size) ? toOffset(std::trunc(static_cast<double>(size) - centre - 1))
                                                         : radius;
    if (range.low > range.high) return range;

    if (sampleIndex(centre, range.low) < 0) {
        int64_t below = range.low;  // index < 0
        int64_t above = range.high + 1;
        while (above - below > 1) {
            const int64_t middle = below + (above - below) / 2;
            if (sampleIndex(centre, middle) < 0) below = middle; else above = middle;
        }
        range.low = above;
    }
    if (range.low <= range.high && sampleIndex(centre, range.high) > last) {
        int64_t below = range.low - 1;
        int64_t above = range.high;  // index > last
        while (above - below > 1) {
            const int64_t middle = below + (above - below) / 2;
            if (sampleIndex(centre, middle) > last) above = middle; else below = middle;
        }
        range.high = below;
    }
    return range;
}

}  // namespace

Ring::Ring(double centerX, double centerY, double innerRadius, double outerRadius)
    : centerX(centerX), centerY(centerY), innerRadius(innerRadius), outerRadius(outerRadius) {}

void Ring::buildSpans() {}

void Ring::draw(Painter& painter, uint32_t colour, bool antialias) {
    const Canvas* canvas = painter.canvas();
    if (canvas == nullptr || !canvas->drawable()) return;
    // No sample can satisfy innerRadius < d < outerRadius, and none of a
    // centre at infinity lands on a pixel.
    if (!(outerRadius > 0) || !(outerRadius > innerRadius)) return;
    if (!std::isfinite(centerX) || !std::isfinite(centerY)) return;

    const int64_t radius = toOffset(std::ceil(outerRadius));
    const OffsetRange columns = clippedOffsets(centerX, radius, canvas->width());
    const OffsetRange rows = clippedOffsets(centerY, radius, canvas->height());
    if (columns.low > columns.high) return;

    for (int64_t i = rows.low; i <= rows.high; ++i) {
        const uint32_t y = static_cast<uint32_t>(sampleIndex(centerY, i));
        for (int64_t j = columns.low; j <= columns.high; ++j) {
            const double d = sampleDistance(i, j);
            if (!(innerRadius < d && d < outerRadius)) continue;
            const uint32_t weight =
                antialias ? static_cast<uint32_t>(std::min(outerRadius - d, 1.0) * std::min(d - innerRadius, 1.0) * 255.0) + 1
                          : 256;
            const uint32_t x = static_cast<uint32_t>(sampleIndex(centerX, j));
            Canvas::blend(canvas->pixelAt(x, y), colour, weight);
        }
    }
}
