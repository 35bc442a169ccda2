#pragma once

// A deliberately plain second rasterizer for the tests: every step written out
// the long way (a vector searched from the front, every row of every edge
// walked, every pixel recomputed from the rules), so that the production code
// can be checked against it on many random shapes. Meant for finite
// coordinates of moderate size.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "graphics/canvas.h"
#include "graphics/figure.h"

namespace oracle {

struct NaiveSpanList {
    std::vector<Span> spans;

    size_t firstRowAtLeast(int32_t row) const {
        size_t i = 0;
        while (i < spans.size() && spans[i].row < row) ++i;
        return i;
    }

    void insertAt(size_t i, Span span) { spans.insert(spans.begin() + static_cast<std::ptrdiff_t>(i), span); }

    void addBoundary(int32_t row, int32_t x, bool isRight) {
        const Span fresh = isRight ? Span{row, Span::NoLeft, x} : Span{row, x, Span::NoRight};
        const size_t n = firstRowAtLeast(row);
        if (n == spans.size() || spans[n].row > row) {
            insertAt(n, fresh);
            return;
        }
        if (!isRight) {
            size_t m = n;
            for (;;) {
                if (x > spans[m].right) {
                    if (m + 1 < spans.size() && spans[m + 1].row == row) {
                        ++m;
                        continue;
                    }
                    insertAt(m + 1, fresh);
                    return;
                }
                if (x <= spans[m].left) {
                    insertAt(m, fresh);
                    return;
                }
                if (spans[m].left == Span::NoLeft) {
                    spans[m].left = x;
                } else {
                    insertAt(m + 1, Span{row, x, spans[m].right});
                }
                return;
            }
        }
        if (x <= spans[n].left) {
            insertAt(n, fresh);
            return;
        }
        size_t m = n;
        while (m + 1 < spans.size() && spans[m + 1].row == row && spans[m + 1].left < x) ++m;
        spans[m].right = x;
    }
};

// Every row of every edge is walked; only rows in [rowLow, rowHigh) are kept.
inline std::vector<Span> buildSpans(const std::vector<Point>& p, int64_t rowLow = INT32_MIN,
                                    int64_t rowHigh = int64_t{INT32_MAX} + 1) {
    NaiveSpanList list;
    const size_t n = p.size();
    for (size_t k = 0; k < n; ++k) {
        const Point next = p[(k + 1) % n];
        const double x0 = p[k].x, y0 = p[k].y;
        const double dx = next.x - x0, dy = next.y - y0;
        const double s = dx / dy;
        if (dy > 0) {
            const int64_t r0 = static_cast<int64_t>(std::floor(y0));
            const int64_t r1 = static_cast<int64_t>(std::ceil(y0 + dy)) - 1;
            double x = x0 + (static_cast<double>(r0) + 0.5 - y0) * s;
            for (int64_t r = r0; r <= r1; ++r) {
                if (r >= rowLow && r < rowHigh) {
                    list.addBoundary(static_cast<int32_t>(r), static_cast<int32_t>(std::floor(x)), false);
                }
                x = x + s;
            }
        } else if (dy < 0) {
            const int64_t r0 = static_cast<int64_t>(std::ceil(y0)) - 1;
            const int64_t r1 = static_cast<int64_t>(std::floor(y0 + dy));
            const double t = std::trunc(s);
            double x = x0 + (static_cast<double>(r0) + 0.5 - y0) * s + (t < 0 ? -t : t);
            for (int64_t r = r0; r >= r1; --r) {
                if (r >= rowLow && r < rowHigh) {
                    list.addBoundary(static_cast<int32_t>(r), static_cast<int32_t>(std::ceil(x)), true);
                }
                x = x - s;
            }
        }
    }
    return list.spans;
}

inline void drawPolygon(Canvas& canvas, const std::vector<Point>& p, uint32_t colour, bool antialias) {
    if (canvas.pixels() == nullptr || canvas.width() == 0 || canvas.height() == 0 || p.empty()) return;
    const int64_t w = canvas.width(), h = canvas.height();
    const size_t n = p.size();
    std::vector<double> ux(n), uy(n), d(n);
    for (size_t k = 0; k < n; ++k) {
        const Point next = p[(k + 1) % n];
        const double ex = next.x - p[k].x, ey = next.y - p[k].y;
        const double len = std::sqrt(ex * ex + ey * ey);
        ux[k] = ex / len;
        uy[k] = ey / len;
    }
    for (const Span& span : buildSpans(p, 0, h)) {
        if (span.left == Span::NoLeft || span.right == Span::NoRight) continue;
        if (span.row < 0 || span.row >= h) continue;
        const int64_t xs = std::max<int64_t>(span.left, 0);
        const int64_t xe = span.right < w ? span.right : w;
        for (size_t k = 0; k < n; ++k) {
            d[k] = (static_cast<double>(xs) + 0.5 - p[k].x) * uy[k] -
                   (static_cast<double>(span.row) + 0.5 - p[k].y) * ux[k];
        }
        for (int64_t x = xs; x < xe; ++x) {
            double coverage = 1;
            for (size_t k = 0; k < n; ++k) {
                if (d[k] < 1) coverage = coverage * (d[k] > 0 ? d[k] : 0.0);
            }
            const uint32_t weight = antialias ? static_cast<uint32_t>(coverage * 255) + 1 : 256;
            Canvas::blend(canvas.pixelAt(static_cast<uint32_t>(x), static_cast<uint32_t>(span.row)), colour, weight);
            for (size_t k = 0; k < n; ++k) d[k] = d[k] + uy[k];
        }
    }
}

inline void drawRing(Canvas& canvas, double cx, double cy, double inner, double outer, uint32_t colour,
                     bool antialias) {
    if (canvas.pixels() == nullptr || canvas.width() == 0 || canvas.height() == 0) return;
    const double w = canvas.width(), h = canvas.height();
    const int64_t r = static_cast<int64_t>(std::ceil(outer));
    const int64_t jLo = cx - r < 0 ? static_cast<int64_t>(std::trunc(-cx)) : -r;
    const int64_t iLo = cy - r < 0 ? static_cast<int64_t>(std::trunc(-cy)) : -r;
    const int64_t jHi = cx + r >= w ? static_cast<int64_t>(std::trunc(w - cx - 1)) : r;
    const int64_t iHi = cy + r >= h ? static_cast<int64_t>(std::trunc(h - cy - 1)) : r;
    for (int64_t i = iLo; i <= iHi; ++i) {
        for (int64_t j = jLo; j <= jHi; ++j) {
            const double dist = std::sqrt(static_cast<double>(i * i + j * j));
            if (!(inner < dist && dist < outer)) continue;
            const double a = outer - dist < 1 ? outer - dist : 1.0;
            const double b = dist - inner < 1 ? dist - inner : 1.0;
            const uint32_t weight = antialias ? static_cast<uint32_t>(a * b * 255) + 1 : 256;
            const auto x = static_cast<uint32_t>(std::trunc(cx + static_cast<double>(j)));
            const auto y = static_cast<uint32_t>(std::trunc(cy + static_cast<double>(i)));
            Canvas::blend(canvas.pixelAt(x, y), colour, weight);
        }
    }
}

}  // namespace oracle

// Canvas helpers shared by the raster tests.
namespace raster {

inline size_t wordCount(const Canvas& canvas) { return size_t{canvas.pitch()} / 4 * canvas.height(); }

inline std::vector<uint32_t> words(const Canvas& canvas) {
    if (canvas.pixels() == nullptr) return {};
    return std::vector<uint32_t>(canvas.pixels(), canvas.pixels() + wordCount(canvas));
}

inline void setWords(Canvas& canvas, const std::vector<uint32_t>& content) {
    std::copy(content.begin(), content.end(), canvas.pixels());
}

// Pixels get `background`, the padding words past each row's end get `guard`.
inline void fill(Canvas& canvas, uint32_t background, uint32_t guard) {
    const uint32_t stride = canvas.pitch() / 4;
    for (uint32_t y = 0; y < canvas.height(); ++y) {
        for (uint32_t x = 0; x < stride; ++x) canvas.pixels()[size_t{y} * stride + x] = x < canvas.width() ? background : guard;
    }
}

inline bool paddingIntact(const Canvas& canvas, uint32_t guard) {
    const uint32_t stride = canvas.pitch() / 4;
    for (uint32_t y = 0; y < canvas.height(); ++y) {
        for (uint32_t x = canvas.width(); x < stride; ++x) {
            if (canvas.pixels()[size_t{y} * stride + x] != guard) return false;
        }
    }
    return true;
}

// Drawing 0xFFFFFFFF over 0xFF000000 leaves weight - 1 in each colour channel
// of a pixel blended once and clears its top byte; untouched pixels keep it.
constexpr uint32_t Untouched = 0xFF000000u;
constexpr uint32_t Recorder = 0xFFFFFFFFu;

// The weight a pixel was blended with once, or 0 if it was not touched.
inline int weightAt(const Canvas& canvas, uint32_t x, uint32_t y) {
    const uint32_t pixel = *canvas.pixelAt(x, y);
    return (pixel >> 24) != 0 ? 0 : static_cast<int>(pixel & 0xFFu) + 1;
}

}  // namespace raster
