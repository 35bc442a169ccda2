#include <algorithm>
#include <cmath>

#include "graphics/figure.h"
#include "graphics/saturate.h"

namespace {

// Offsets below this in size have squares whose sum fits in 64 bits.
constexpr int64_t SmallOffset = int64_t{1} << 31;

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

// The same index for an offset inside its clipped range, where it is known to
// lie on the canvas: conversion truncates toward zero as trunc does.
uint32_t pixelIndex(double centre, int64_t offset) {
    return static_cast<uint32_t>(static_cast<int64_t>(centre + static_cast<double>(offset)));
}

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
    range.low = centre - r < 0 ? saturateToInt64(std::trunc(-centre)) : -radius;
    range.high = centre + r >= static_cast<double>(size)
                     ? saturateToInt64(std::trunc(static_cast<double>(size) - centre - 1))
                     : radius;
    if (range.low > range.high) return range;

    if (sampleIndex(centre, range.low) < 0) {
        int64_t below = range.low;  // index < 0
        int64_t above = range.high + 1;
        while (above - below > 1) {
            const int64_t middle = below + (above - below) / 2;
            if (sampleIndex(centre, middle) < 0) {
                below = middle;
            } else {
                above = middle;
            }
        }
        range.low = above;
    }
    if (range.low <= range.high && sampleIndex(centre, range.high) > last) {
        int64_t below = range.low - 1;
        int64_t above = range.high;  // index > last
        while (above - below > 1) {
            const int64_t middle = below + (above - below) / 2;
            if (sampleIndex(centre, middle) > last) {
                above = middle;
            } else {
                below = middle;
            }
        }
        range.high = below;
    }
    return range;
}

// A sample's distance and weight, exactly as the rule states them.
struct RingProfile {
    double inner;
    double outer;
    bool antialias;

    bool includes(double d) const { return inner < d && d < outer; }
    uint32_t weight(double d) const {
        if (!antialias) return 256;
        return static_cast<uint32_t>(std::min(outer - d, 1.0) * std::min(d - inner, 1.0) * 255.0) + 1;
    }
};

// Weight 256 of an opaque colour replaces the pixel outright, which is what
// the blend rule gives for it.
void blendSample(uint32_t* pixel, uint32_t colour, uint32_t weight) {
    if (weight == 256 && (colour >> 24) == 0xFFu) {
        *pixel = colour & 0xFFFFFFu;
    } else {
        Canvas::blend(pixel, colour, weight);
    }
}

// Rings up to this radius are decided on the integer S = i^2 + j^2 alone,
// with S exact as a double.
constexpr int64_t BandRadius = int64_t{1} << 20;

// The smallest S in [low, high] where a predicate that turns from false to
// true holds, or high + 1.
template <typename Predicate>
uint64_t firstWhere(uint64_t low, uint64_t high, Predicate holds) {
    uint64_t end = high + 1;
    while (low < end) {
        const uint64_t middle = low + (end - low) / 2;
        if (holds(middle)) {
            end = middle;
        } else {
            low = middle + 1;
        }
    }
    return low;
}

double rootOf(uint64_t s) { return std::sqrt(static_cast<double>(s)); }

// d grows with S, and each test of the rule is monotone in d, so each one
// splits the values of S at a single threshold. Samples with S in
// [first, last] are drawn; those in [fullFirst, fullLast] have both factors
// of their coverage at 1 and get weight 256 without a square root.
struct SampleBands {
    uint64_t first;
    uint64_t last;
    uint64_t fullFirst;
    uint64_t fullLast;
};

SampleBands bandsFor(const RingProfile& ring, int64_t radius) {
    const uint64_t top = 2 * static_cast<uint64_t>(radius) * static_cast<uint64_t>(radius);
    SampleBands bands;
    bands.first = firstWhere(0, top, [&](uint64_t s) { return ring.inner < rootOf(s); });
    bands.last = firstWhere(0, top, [&](uint64_t s) { return !(rootOf(s) < ring.outer); }) - 1;
    if (!ring.antialias) {
        bands.fullFirst = bands.first;
        bands.fullLast = bands.last;
        return bands;
    }
    bands.fullFirst = firstWhere(0, top, [&](uint64_t s) { return rootOf(s) - ring.inner >= 1.0; });
    bands.fullLast = firstWhere(0, top, [&](uint64_t s) { return !(ring.outer - rootOf(s) >= 1.0); }) - 1;
    return bands;
}

uint64_t squareRootFloor(uint64_t v) {
    uint64_t r = static_cast<uint64_t>(std::sqrt(static_cast<double>(v)));
    while (r * r > v) --r;
    while ((r + 1) * (r + 1) <= v) ++r;
    return r;
}

// Every clipped sample with its own square root: for radii too large for
// the integer bands.
void drawPlain(const Canvas& canvas, const RingProfile& ring, double cx, double cy, OffsetRange columns,
               OffsetRange rows, uint32_t colour) {
    for (int64_t i = rows.low; i <= rows.high; ++i) {
        const uint32_t y = pixelIndex(cy, i);
        for (int64_t j = columns.low; j <= columns.high; ++j) {
            const double d = sampleDistance(i, j);
            if (!ring.includes(d)) continue;
            blendSample(canvas.pixelAt(pixelIndex(cx, j), y), colour, ring.weight(d));
        }
    }
}

// Rows and samples in the rule's order, each row limited to the offsets that
// reach S <= last; square roots only where a coverage factor is below 1.
void drawBanded(const Canvas& canvas, const RingProfile& ring, double cx, double cy, int64_t radius,
                OffsetRange columns, OffsetRange rows, uint32_t colour) {
    const SampleBands bands = bandsFor(ring, radius);
    if (bands.first > bands.last) return;
    const int64_t first = static_cast<int64_t>(bands.first);
    const int64_t fullFirst = static_cast<int64_t>(bands.fullFirst);
    const int64_t fullLast = static_cast<int64_t>(bands.fullLast);
    for (int64_t i = rows.low; i <= rows.high; ++i) {
        const uint64_t ii = static_cast<uint64_t>(i * i);
        if (ii > bands.last) continue;
        const int64_t reach = static_cast<int64_t>(squareRootFloor(bands.last - ii));
        const int64_t jFirst = std::max(columns.low, -reach);
        const int64_t jLast = std::min(columns.high, reach);
        if (jFirst > jLast) continue;
        uint32_t* const rowStart = canvas.pixelAt(0, pixelIndex(cy, i));
        int64_t s = static_cast<int64_t>(ii) + jFirst * jFirst;
        for (int64_t j = jFirst; j <= jLast; s += 2 * j + 1, ++j) {
            if (s < first) continue;
            const uint32_t weight =
                s >= fullFirst && s <= fullLast ? 256 : ring.weight(rootOf(static_cast<uint64_t>(s)));
            blendSample(rowStart + pixelIndex(cx, j), colour, weight);
        }
    }
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

    const int64_t radius = saturateToInt64(std::ceil(outerRadius));
    const OffsetRange columns = clippedOffsets(centerX, radius, canvas->width());
    const OffsetRange rows = clippedOffsets(centerY, radius, canvas->height());
    if (columns.low > columns.high || rows.low > rows.high) return;

    const RingProfile profile{innerRadius, outerRadius, antialias};
    if (radius <= BandRadius) {
        drawBanded(*canvas, profile, centerX, centerY, radius, columns, rows, colour);
    } else {
        drawPlain(*canvas, profile, centerX, centerY, columns, rows, colour);
    }
}
