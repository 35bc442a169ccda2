// Frame times measured inside the page, for bench/web_bench.sh: the scene of
// bench/frame_bench's BM_Frame21 (21 nodes, every link, run speed 8, after
// 1000 steps from seed 1), drawn by a shell of its own into a canvas of its
// own, so that the page's picture stays as it is. Its steps draw from the
// process's rand(), which the warm-up reseeds.

#include <emscripten.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "app/program.h"
#include "web/page.h"

namespace {

constexpr int MouseX = 1000;
constexpr int MouseY = 10;
constexpr int WarmUpSteps = 1000;

}  // namespace

// The median time of one frame, in milliseconds, over `frames` frames.
extern "C" EMSCRIPTEN_KEEPALIVE double vorlask_median_frame_time(int frames) {
    Canvas canvas(1024, 768);
    Painter painter(&canvas);
    Font largeFont(&canvas, "Ubuntu-R.ttf", 24);
    Font smallFont(&canvas, "Ubuntu-R.ttf", 20);
    Network network(painter, largeFont, smallFont);
    GraphView graph(network);
    // drawFrame never presents: the page's window is only borrowed.
    Shell shell(canvas, pageProgram().window, painter, network, graph);
    network.resize(21);
    for (int i = 0; i < network.nodeCount; ++i)
        for (int j = 0; j < network.nodeCount; ++j) network.links[i][j] = i != j;
    std::srand(1);
    for (int k = 0; k < WarmUpSteps; ++k) network.step();
    network.speed = 8.0;

    std::vector<double> times;
    for (int k = 0; k < std::max(frames, 1); ++k) {
        const double start = emscripten_get_now();
        shell.drawFrame(MouseX, MouseY);
        times.push_back(emscripten_get_now() - start);
    }
    std::nth_element(times.begin(), times.begin() + times.size() / 2, times.end());
    return times[times.size() / 2];
}
