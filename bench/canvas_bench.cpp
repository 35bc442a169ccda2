#include <benchmark/benchmark.h>

#include <cstdint>

#include "graphics/canvas.h"

namespace {

void BM_ClearFullCanvas(benchmark::State& state) {
    Canvas canvas(1024, 768);
    Painter painter(&canvas);
    for (auto _ : state) {
        painter.clear(0xC0C0C0);
        benchmark::DoNotOptimize(canvas.pixels());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * 1024 * 768);
}
BENCHMARK(BM_ClearFullCanvas);

// Blends one row after another, as span filling does, with varying weights.
void BM_BlendRows(benchmark::State& state) {
    Canvas canvas(1024, 768);
    Painter(&canvas).clear(0xC0C0C0);
    const uint32_t colour = static_cast<uint32_t>(state.range(0));
    for (auto _ : state) {
        for (uint32_t y = 0; y < 768; ++y) {
            uint32_t* row = canvas.pixelAt(0, y);
            for (uint32_t x = 0; x < 1024; ++x) Canvas::blend(row + x, colour, (x & 255) + 1);
        }
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * 1024 * 768);
}
BENCHMARK(BM_BlendRows)->Arg(0xC0000000)->Arg(0xFF202020);

// The rule written out channel by channel: the baseline of the packed blend.
void BM_BlendRowsPerChannel(benchmark::State& state) {
    Canvas canvas(1024, 768);
    Painter(&canvas).clear(0xC0C0C0);
    const uint32_t colour = static_cast<uint32_t>(state.range(0));
    for (auto _ : state) {
        for (uint32_t y = 0; y < 768; ++y) {
            uint32_t* row = canvas.pixelAt(0, y);
            for (uint32_t x = 0; x < 1024; ++x) {
                const uint32_t weight = (x & 255) + 1;
                const uint32_t d = (((colour >> 24) + 1) * weight - 1) >> 8;
                uint32_t result = 0;
                for (int shift = 0; shift <= 16; shift += 8) {
                    const uint32_t old = (row[x] >> shift) & 0xFF;
                    const uint32_t mine = (colour >> shift) & 0xFF;
                    uint32_t value = (((old + 1) * (256 - d) - 1) >> 8) + (((mine + 1) * (d + 1) - 1) >> 8);
                    if (value > 255) value = 255;
                    result |= value << shift;
                }
                row[x] = result;
            }
        }
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * 1024 * 768);
}
BENCHMARK(BM_BlendRowsPerChannel)->Arg(0xC0000000)->Arg(0xFF202020);

}  // namespace
