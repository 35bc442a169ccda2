// One frame as the shell draws it, without presenting: clear, both followMouse
// calls, drawMatrix and drawGraph. Four nodes in a ring at rest, and the
// largest network the window shows, every node linked to every other, with
// the run speed at 8. The breakdown runs the same frame with only the text
// drawn (the painter gets a canvas without pixels, on which every shape draws
// nothing) and with everything but the text (fonts without a face), beside
// the clear on its own. Text goes through the fonts' shared cache, warm after
// the first frame as in the running program.

#include <benchmark/benchmark.h>

#include <cstdlib>

#include "app/shell.h"
#include "graphics/canvas.h"
#include "graphics/font.h"
#include "graphics/window.h"
#include "model/network/network.h"
#include "views/graph_view.h"

namespace {

constexpr uint32_t Width = 1024;
constexpr uint32_t Height = 768;
// Over neither panel: the frame follows the pointer but nothing is dragged.
constexpr int MouseX = 1000;
constexpr int MouseY = 10;
// Steps before measuring, so that partners, pointers and counters are set.
constexpr int WarmUpSteps = 1000;

// The shell needs a Window, which is never shown: SDL's dummy video driver serves.
[[maybe_unused]] const bool headlessVideo = setenv("SDL_VIDEODRIVER", "dummy", 0) == 0;

enum class Drawn { Everything, TextOnly, AllButText };

Font openFont(Canvas& canvas, int size, Drawn drawn) {
    if (drawn == Drawn::AllButText) return Font();
    return Font(&canvas, VORLASK_TEST_FONT, size);
}

// The shell's objects, built as the entry point builds them.
struct Scene {
    Scene(int count, Drawn drawn)
        : canvas(Width, Height),
          window(&canvas, "frame bench", 0, 0, -1, -1),
          painter(drawn == Drawn::TextOnly ? &noPixels : &canvas),
          largeFont(openFont(canvas, 24, drawn)),
          smallFont(openFont(canvas, 20, drawn)),
          network(painter, largeFont, smallFont),
          graph(network),
          shell(canvas, window, painter, network, graph) {
        network.resize(count);
    }

    Canvas canvas;
    Canvas noPixels{0, 0};
    Window window;
    Painter painter;
    Font largeFont;
    Font smallFont;
    Network network;
    GraphView graph;
    Shell shell;
};

void linkRing(Network& network) {
    const int n = network.nodeCount;
    for (int i = 0; i < n; ++i) network.links[i][(i + 1) % n] = network.links[(i + 1) % n][i] = 1;
}

void linkAll(Network& network) {
    const int n = network.nodeCount;
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) network.links[i][j] = i != j;
}

void warmUp(Network& network) {
    std::srand(1);
    for (int k = 0; k < WarmUpSteps; ++k) network.step();
}

void runFrames(benchmark::State& state, Scene& scene) {
    for (auto _ : state) {
        scene.shell.drawFrame(MouseX, MouseY);
        benchmark::ClobberMemory();
    }
}

// Four nodes in a ring, the run speed at 0.
void frameOfFourNodes(benchmark::State& state, Drawn drawn) {
    Scene scene(4, drawn);
    linkRing(scene.network);
    warmUp(scene.network);
    runFrames(state, scene);
}

// Twenty-one nodes, every link, the run speed at 8: steps run during the
// frames and the progress markers are drawn.
void frameOfTwentyOneNodes(benchmark::State& state, Drawn drawn) {
    Scene scene(21, drawn);
    linkAll(scene.network);
    warmUp(scene.network);
    scene.network.speed = 8.0;
    runFrames(state, scene);
}

void BM_Frame4(benchmark::State& state) { frameOfFourNodes(state, Drawn::Everything); }
void BM_Frame4TextOnly(benchmark::State& state) { frameOfFourNodes(state, Drawn::TextOnly); }
void BM_Frame4AllButText(benchmark::State& state) { frameOfFourNodes(state, Drawn::AllButText); }
void BM_Frame21(benchmark::State& state) { frameOfTwentyOneNodes(state, Drawn::Everything); }
void BM_Frame21TextOnly(benchmark::State& state) { frameOfTwentyOneNodes(state, Drawn::TextOnly); }
void BM_Frame21AllButText(benchmark::State& state) { frameOfTwentyOneNodes(state, Drawn::AllButText); }

// The first step of every frame on its own.
void BM_FrameClear(benchmark::State& state) {
    Canvas canvas(Width, Height);
    Painter painter(&canvas);
    for (auto _ : state) {
        painter.clear(0xC0C0C0);
        benchmark::ClobberMemory();
    }
}

}  // namespace

BENCHMARK(BM_Frame4)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Frame4TextOnly)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Frame4AllButText)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Frame21)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Frame21TextOnly)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Frame21AllButText)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FrameClear)->Unit(benchmark::kMicrosecond);
