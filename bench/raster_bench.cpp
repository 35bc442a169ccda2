// Fill rate of large anti-aliased shapes (blended pixels per second) and the
// cost of the panels' everyday shapes (ns per draw). The "Plain" variants run
// the tests' literal transcription of the rules on the same input, as the
// baseline for the optimised code.

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "graphics/figure.h"
#include "raster_oracle.h"

namespace {

constexpr uint32_t Width = 1024;
constexpr uint32_t Height = 768;
constexpr uint32_t Colour = 0xC0203040;

struct Target {
    Target() : canvas(Width, Height), painter(&canvas) { painter.clear(0xC0C0C0); }
    Canvas canvas;
    Painter painter;
};

// Pixels a polygon visits: the widths of its complete spans on the canvas.
int64_t visitedPixels(Polygon& shape) {
    shape.buildSpans();
    int64_t total = 0;
    for (const Span& span : shape.spans) {
        if (!span.complete() || span.row < 0 || span.row >= static_cast<int32_t>(Height)) continue;
        const int64_t left = span.left < 0 ? 0 : span.left;
        const int64_t right = span.right < static_cast<int32_t>(Width) ? span.right : Width;
        if (right > left) total += right - left;
    }
    return total;
}

// Samples a ring blends: those with inner < d < outer, all on the canvas here.
int64_t blendedSamples(double inner, double outer) {
    const int64_t r = static_cast<int64_t>(std::ceil(outer));
    int64_t total = 0;
    for (int64_t i = -r; i <= r; ++i) {
        for (int64_t j = -r; j <= r; ++j) {
            const double d = std::sqrt(static_cast<double>(i * i + j * j));
            total += inner < d && d < outer;
        }
    }
    return total;
}

Rectangle bigRectangle() { return Rectangle(10.3, 10.7, 1010.3, 750.7); }

void BM_RectangleFill(benchmark::State& state) {
    Target target;
    Rectangle probe = bigRectangle();
    const int64_t pixels = visitedPixels(probe);
    for (auto _ : state) {
        Rectangle shape = bigRectangle();
        shape.draw(target.painter, Colour, true);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * pixels);
}
BENCHMARK(BM_RectangleFill);

void BM_RectangleFillPlain(benchmark::State& state) {
    Target target;
    Rectangle probe = bigRectangle();
    const int64_t pixels = visitedPixels(probe);
    for (auto _ : state) {
        oracle::drawPolygon(target.canvas, probe.vertices, Colour, true);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * pixels);
}
BENCHMARK(BM_RectangleFillPlain);

void BM_DiscFill(benchmark::State& state) {
    Target target;
    const int64_t samples = blendedSamples(-255, 200);
    for (auto _ : state) {
        Ring disc(512.3, 384.6, -255, 200);
        disc.draw(target.painter, Colour, true);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * samples);
}
BENCHMARK(BM_DiscFill);

void BM_DiscFillPlain(benchmark::State& state) {
    Target target;
    const int64_t samples = blendedSamples(-255, 200);
    for (auto _ : state) {
        oracle::drawRing(target.canvas, 512.3, 384.6, -255, 200, Colour, true);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * samples);
}
BENCHMARK(BM_DiscFillPlain);

// A 2-pixel grid line across 700 pixels, both ways round.
void BM_GridLineHorizontal(benchmark::State& state) {
    Target target;
    for (auto _ : state) {
        Line line(100, 50.5, 800, 50.5, 2);
        line.draw(target.painter, Colour, true);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_GridLineHorizontal);

void BM_GridLineVertical(benchmark::State& state) {
    Target target;
    for (auto _ : state) {
        Line line(300.5, 30, 300.5, 730, 2);
        line.draw(target.painter, Colour, true);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_GridLineVertical);

void BM_GridLineVerticalPlain(benchmark::State& state) {
    Target target;
    const Line probe(300.5, 30, 300.5, 730, 2);
    for (auto _ : state) {
        oracle::drawPolygon(target.canvas, probe.vertices, Colour, true);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_GridLineVerticalPlain);

// A 20-pixel arrowhead, tilted as the graph panel draws them.
void BM_Arrowhead(benchmark::State& state) {
    Target target;
    const Point tip{412.7, 300.2};
    const Point corners[] = {tip, {tip.x - 17.9, tip.y - 4.1}, {tip.x - 11.3, tip.y + 14.6}};
    for (auto _ : state) {
        Polygon arrow(corners, 3);
        arrow.draw(target.painter, Colour, true);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_Arrowhead);

void BM_RingOutline(benchmark::State& state) {
    Target target;
    for (auto _ : state) {
        Ring ring(300, 200, 20, 24);
        ring.draw(target.painter, Colour, true);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_RingOutline);

void BM_RingOutlinePlain(benchmark::State& state) {
    Target target;
    for (auto _ : state) {
        oracle::drawRing(target.canvas, 300, 200, 20, 24, Colour, true);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_RingOutlinePlain);

}  // namespace
