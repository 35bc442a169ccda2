#include <gtest/gtest.h>

#include <SDL.h>

#include <iostream>
#include <random>
#include <sstream>

#include "app/shell.h"
#include "graphics/canvas.h"
#include "graphics/font.h"
#include "graphics/window.h"
#include "model/network/network.h"
#include "views/graph_view.h"

namespace {

void expectNetworkInvariants(const Network& network, uint32_t stepsSinceReset) {
    const int n = network.nodeCount;
    ASSERT_GE(n, 2);
    ASSERT_EQ(network.links.size(), size_t(n));
    for (const auto& row : network.links) ASSERT_EQ(row.size(), size_t(n));
    ASSERT_EQ(network.partner.size(), size_t(n));
    ASSERT_EQ(network.pointer.size(), size_t(n));
    ASSERT_EQ(network.connected.size(), size_t(n));
    ASSERT_EQ(network.successCount.size(), size_t(n));
    for (const auto& values : network.params) {
        ASSERT_EQ(values.size(), size_t(n));
        for (const double value : values) ASSERT_TRUE(value >= 0.0 && value <= 1.0) << value;
    }
    for (int i = 0; i < n; ++i) {
        ASSERT_TRUE(network.partner[i] >= -1 && network.partner[i] < n) << network.partner[i];
        ASSERT_TRUE(network.pointer[i] >= -1 && network.pointer[i] < n) << network.pointer[i];
        ASSERT_LE(network.successCount[i], network.stepCount);
        for (int j = 0; j < n; ++j) ASSERT_EQ(network.links[i][j], network.links[j][i]);
        ASSERT_EQ(network.links[i][i], 0);
    }
    ASSERT_EQ(network.stepCount, stepsSinceReset);
    ASSERT_TRUE(network.speed >= 0.0 && network.speed <= 8.0);
}

class EventSource {
public:
    explicit EventSource(unsigned seed) : random_(seed) {}

    int coordinate() {
        switch (pick(8)) {
            case 0: return -pick(3000) - 1;
            case 1: return 1024 + pick(3000);
            case 2: return pick(1 << 20) - (1 << 19);
            default: return pick(1100) - 30;
        }
    }

    SDL_Event next() {
        SDL_Event event{};
        const int kind = pick(100);
        if (kind < 30) {
            event.type = SDL_MOUSEBUTTONDOWN;
        } else if (kind < 55) {
            event.type = SDL_MOUSEBUTTONUP;
        } else if (kind < 90) {
            event.type = SDL_KEYDOWN;
            static const SDL_Scancode keys[] = {SDL_SCANCODE_SPACE, SDL_SCANCODE_SPACE, SDL_SCANCODE_BACKSPACE,
                                                SDL_SCANCODE_TAB,   SDL_SCANCODE_RETURN, SDL_SCANCODE_A,
                                                SDL_SCANCODE_Q,     SDL_SCANCODE_ESCAPE};
            event.key.keysym.scancode = keys[pick(kind < 88 ? 5 : 8)];
            return event;
        } else if (kind < 96) {
            event.type = SDL_WINDOWEVENT;
            event.window.event = SDL_WINDOWEVENT_RESIZED;
            return event;
        } else {
            event.type = SDL_MOUSEWHEEL;
            return event;
        }
        static const Uint8 buttons[] = {SDL_BUTTON_LEFT, SDL_BUTTON_LEFT, SDL_BUTTON_RIGHT, SDL_BUTTON_MIDDLE};
        event.button.button = buttons[pick(4)];
        event.button.x = coordinate();
        event.button.y = coordinate();
        return event;
    }

    int pick(int count) { return std::uniform_int_distribution<int>(0, count - 1)(random_); }

private:
    std::mt19937 random_;
};

}  // namespace

// Thousands of random events, pointer positions and window sizes: nothing may
// crash, and the network's invariants hold after every event and frame.
TEST(ShellFuzz, RandomEventsKeepTheNetworkConsistent) {
    Canvas canvas(1024, 768);
    Window window(&canvas, "vorlask app", 0, 0, -1, -1);
    Painter painter(&canvas);
    Font font;
    Network network(painter, font, font);
    GraphView graph(network);
    Shell shell(canvas, window, painter, network, graph);

    std::ostringstream discarded;
    std::streambuf* standardOutput = std::cout.rdbuf(discarded.rdbuf());
    EventSource source(20261207);
    uint32_t steps = 0;
    for (int round = 0; round < 4000; ++round) {
        const SDL_Event event = source.next();
        if (event.type == SDL_WINDOWEVENT) {
            static const int sizes[][2] = {{1, 1}, {2, 3}, {100, 50}, {640, 480}, {1024, 768}, {1500, 1000}};
            const auto& size = sizes[source.pick(6)];
            SDL_SetWindowSize(window.sdlWindow(), size[0], size[1]);
        }
        // Keep analyses small enough for a sanitizer build.
        const bool analysis = event.type == SDL_KEYDOWN && event.key.keysym.scancode == SDL_SCANCODE_A;
        if (analysis && network.nodeCount > 5) continue;
        const uint32_t before = network.stepCount;
        shell.dispatch(event);
        const bool reset = event.type == SDL_KEYDOWN && event.key.keysym.scancode == SDL_SCANCODE_BACKSPACE;
        steps = reset ? 0 : steps + (network.stepCount - before);
        expectNetworkInvariants(network, steps);
        if (HasFatalFailure()) break;

        if (source.pick(3) == 0) {
            const uint32_t beforeFrame = network.stepCount;
            shell.drawFrame(source.coordinate(), source.coordinate());
            steps += network.stepCount - beforeFrame;
            window.present();
            expectNetworkInvariants(network, steps);
            ASSERT_EQ(graph.layoutCount, network.nodeCount);
            ASSERT_EQ(graph.positions.size(), size_t(network.nodeCount));
            if (HasFatalFailure()) break;
        }
        shell.quitRequested = false;
    }
    std::cout.rdbuf(standardOutput);
}
