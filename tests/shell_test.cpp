#include <gtest/gtest.h>

#include <SDL.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdlib>
#include <sstream>
#include <string>
#include <thread>

#include "app/shell.h"
#include "graphics/canvas.h"
#include "graphics/font.h"
#include "graphics/window.h"
#include "model/network/network.h"
#include "views/graph_view.h"

// The shell driven with synthetic SDL events under the dummy video driver.
class ShellTest : public testing::Test {
protected:
    ShellTest()
        : canvas(1024, 768),
          window(&canvas, "vorlask app", 0, 0, -1, -1),
          painter(&canvas),
          network(painter, font, font),
          graph(network),
          shell(canvas, window, painter, network, graph) {}

    static SDL_Event keyDown(SDL_Scancode code, bool repeat = false) {
        SDL_Event event{};
        event.type = SDL_KEYDOWN;
        event.key.keysym.scancode = code;
        event.key.repeat = repeat ? 1 : 0;
        return event;
    }
    static SDL_Event keyUp(SDL_Scancode code) {
        SDL_Event event = keyDown(code);
        event.type = SDL_KEYUP;
        return event;
    }
    static SDL_Event button(Uint32 type, Uint8 which, int x, int y) {
        SDL_Event event{};
        event.type = type;
        event.button.button = which;
        event.button.x = x;
        event.button.y = y;
        return event;
    }
    static SDL_Event windowEvent(Uint8 what) {
        SDL_Event event{};
        event.type = SDL_WINDOWEVENT;
        event.window.event = what;
        return event;
    }

    Canvas canvas;
    Window window;
    Painter painter;
    Font font;
    Network network;
    GraphView graph;
    Shell shell;
};

TEST_F(ShellTest, KeysReachTheirOperationsByScanCode) {
    shell.dispatch(keyDown(SDL_SCANCODE_SPACE));
    EXPECT_EQ(network.stepCount, 1u);
    shell.dispatch(keyDown(SDL_SCANCODE_RETURN));
    shell.dispatch(keyDown(SDL_SCANCODE_RETURN, true));  // auto-repeat counts as a press
    EXPECT_EQ(network.stepCount, 20001u);
    shell.dispatch(keyUp(SDL_SCANCODE_SPACE));
    EXPECT_EQ(network.stepCount, 20001u);
    shell.dispatch(keyDown(SDL_SCANCODE_BACKSPACE));
    EXPECT_EQ(network.stepCount, 0u);

    shell.dispatch(keyDown(SDL_SCANCODE_TAB));
    EXPECT_FALSE(shell.antialias);
    shell.dispatch(keyDown(SDL_SCANCODE_TAB));
    EXPECT_TRUE(shell.antialias);
    EXPECT_FALSE(shell.quitRequested);
}

TEST_F(ShellTest, AnalysisKeyWritesTheReportOfTheCurrentNetwork) {
    network.links[0][1] = network.links[1][0] = 1;
    testing::internal::CaptureStdout();
    shell.dispatch(keyDown(SDL_SCANCODE_A));
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(printed.rfind("DATA:\n0100 1.000 1.000 1.000\n1000 1.000 1.000 1.000\n", 0), 0u) << printed;
    EXPECT_NE(printed.find("analize: 100%; calculation:   0%\n"), std::string::npos);
    EXPECT_NE(printed.find("      1.000000  1.000000"), std::string::npos);

}

// Every option bit, horizon 16, 16 columns per block: the key's report is the
// engine's report for exactly these, on a ring of four whose transition
// table is wider than a block.
TEST_F(ShellTest, AnalysisKeyAsksForEveryPartHorizon16And16Columns) {
    for (int i = 0; i < 4; ++i) network.links[i][(i + 1) % 4] = network.links[(i + 1) % 4][i] = 1;
    testing::internal::CaptureStdout();
    shell.dispatch(keyDown(SDL_SCANCODE_A));
    const std::string printed = testing::internal::GetCapturedStdout();
    testing::internal::CaptureStdout();
    network.analyze(std::cout, 31, 16, 16);
    EXPECT_EQ(printed, testing::internal::GetCapturedStdout());
    testing::internal::CaptureStdout();
    network.analyze(std::cout, 31, 16, 8);
    EXPECT_NE(printed, testing::internal::GetCapturedStdout());
}

TEST_F(ShellTest, OnlyEscapeAndTheCloseButtonQuit) {
    SDL_Event quit{};
    quit.type = SDL_QUIT;
    shell.dispatch(quit);
    EXPECT_FALSE(shell.quitRequested);
    shell.dispatch(windowEvent(SDL_WINDOWEVENT_CLOSE));
    EXPECT_TRUE(shell.quitRequested);
    shell.quitRequested = false;
    shell.dispatch(keyDown(SDL_SCANCODE_ESCAPE));
    EXPECT_TRUE(shell.quitRequested);
}

TEST_F(ShellTest, EventsQueuedBehindEscapeAreHandledBeforeTheLastFrame) {
    SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
    SDL_Event escape = keyDown(SDL_SCANCODE_ESCAPE);
    SDL_Event space = keyDown(SDL_SCANCODE_SPACE);
    SDL_PushEvent(&escape);
    SDL_PushEvent(&space);
    shell.run();
    EXPECT_EQ(network.stepCount, 1u);
    EXPECT_GE(window.textureCreations(), 1);  // the last frame was presented
}

TEST_F(ShellTest, LeftPressOnANodeDragsItAndNeverReachesTheMatrix) {
    // With four nodes, node 1 sits at (512, 512) on the graph's circle.
    shell.dispatch(button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT, 512, 512));
    EXPECT_TRUE(graph.dragging);
    EXPECT_EQ(graph.dragIndex, 1);
    shell.drawFrame(600, 500);
    EXPECT_EQ(graph.positions[1].x, 600);
    shell.dispatch(button(SDL_MOUSEBUTTONUP, SDL_BUTTON_LEFT, 600, 500));
    EXPECT_FALSE(graph.dragging);

    // Cell (2, 0) of the grid: a link toggle, mirrored.
    shell.dispatch(button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT, 64, 160));
    EXPECT_EQ(network.links[2][0], 1);
    EXPECT_EQ(network.links[0][2], 1);
}

// A node dragged over grid cell (2, 0): a press there grabs the node again
// and never toggles the link under it.
TEST_F(ShellTest, NodeOverAGridCellTakesThePressAlone) {
    shell.dispatch(button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT, 640, 384));  // node 0
    shell.drawFrame(64, 160);
    shell.dispatch(button(SDL_MOUSEBUTTONUP, SDL_BUTTON_LEFT, 64, 160));
    shell.dispatch(button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT, 64, 160));
    EXPECT_TRUE(graph.dragging);
    EXPECT_EQ(graph.dragIndex, 0);
    EXPECT_EQ(network.links[2][0], 0);
}

TEST_F(ShellTest, RightPressSetsPartnerAndPointerOtherButtonsDoNothing) {
    shell.dispatch(button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_RIGHT, 160, 96));  // cell (0, 3)
    EXPECT_EQ(network.partner[0], 3);
    EXPECT_EQ(network.pointer[0], 3);
    shell.dispatch(button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_MIDDLE, 64, 160));
    shell.dispatch(button(SDL_MOUSEBUTTONUP, SDL_BUTTON_RIGHT, 64, 160));
    EXPECT_EQ(network.links[2][0], 0);
}

TEST_F(ShellTest, LeftReleaseEndsMatrixDrags) {
    shell.dispatch(button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT, 176, 208));  // the corner handle
    EXPECT_TRUE(network.resizing);
    shell.drawFrame(240, 272);
    EXPECT_EQ(network.nodeCount, 6);
    EXPECT_EQ(graph.layoutCount, 6);  // the graph follows in the same frame
    shell.dispatch(button(SDL_MOUSEBUTTONUP, SDL_BUTTON_LEFT, 0, 0));
    EXPECT_FALSE(network.resizing);
    shell.drawFrame(400, 400);
    EXPECT_EQ(network.nodeCount, 6);
    EXPECT_EQ(graph.layoutCount, 6);
}

// Every frame starts from the light grey background, whatever the canvas held.
TEST_F(ShellTest, FrameClearsTheCanvasFirst) {
    std::fill(canvas.pixels(), canvas.pixels() + canvas.pitch() / 4 * canvas.height(), 0x123456u);
    shell.drawFrame(1000, 10);
    EXPECT_EQ(*canvas.pixelAt(1010, 10), 0xC0C0C0u);
    EXPECT_EQ(*canvas.pixelAt(1023, 767), 0xC0C0C0u);
}

TEST_F(ShellTest, ResizeTakesTheWindowsClientSize) {
    SDL_SetWindowSize(window.sdlWindow(), 640, 480);
    int width = 0;
    int height = 0;
    window.windowSize(width, height);
    shell.dispatch(windowEvent(SDL_WINDOWEVENT_RESIZED));
    EXPECT_EQ(canvas.width(), uint32_t(width));
    EXPECT_EQ(canvas.height(), uint32_t(height));
    shell.drawFrame(10, 10);
    window.present();
}

// An untouched window draws its first frame and then nothing; any event, a
// pointer motion or an expose included, brings exactly one more frame.
TEST_F(ShellTest, FramesAreDrawnOnlyAfterEvents) {
    SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
    EXPECT_TRUE(shell.runOnce());
    EXPECT_EQ(shell.framesPresented(), 1u);
    for (int pass = 0; pass < 5; ++pass) shell.runOnce();
    EXPECT_EQ(shell.framesPresented(), 1u);

    SDL_Event motion{};
    motion.type = SDL_MOUSEMOTION;
    SDL_PushEvent(&motion);
    SDL_Event expose = windowEvent(SDL_WINDOWEVENT_EXPOSED);
    SDL_PushEvent(&expose);
    shell.runOnce();
    EXPECT_EQ(shell.framesPresented(), 2u);
    shell.runOnce();
    EXPECT_EQ(shell.framesPresented(), 2u);

    SDL_Event space = keyDown(SDL_SCANCODE_SPACE);
    SDL_PushEvent(&space);
    shell.runOnce();
    EXPECT_EQ(shell.framesPresented(), 3u);
    EXPECT_EQ(network.stepCount, 1u);
}

// While the run speed steps the network every pass draws, and the steps are
// those of as many frames drawn in a row; at the idle speed nothing is drawn.
TEST_F(ShellTest, RunSpeedDrawsEveryPassAtTheFrameRate) {
    Canvas twinCanvas(1024, 768);
    Painter twinPainter(&twinCanvas);
    Network twin(twinPainter, font, font);
    GraphView twinGraph(twin);
    Shell twinShell(twinCanvas, window, twinPainter, twin, twinGraph);
    for (Network* each : {&network, &twin}) {
        each->links[0][1] = each->links[1][0] = 1;
        each->speed = 8.0;
    }

    SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
    std::srand(7);
    for (int pass = 0; pass < 240; ++pass) shell.runOnce();
    std::srand(7);
    for (int frame = 0; frame < 240; ++frame) twinShell.drawFrame(0, 0);
    EXPECT_EQ(shell.framesPresented(), 240u);
    EXPECT_EQ(network.stepCount, twin.stepCount);
    // 8 cubed over 64 is 8 steps a second, at 60 frames a second: 32 in 240 frames.
    EXPECT_GE(network.stepCount, 31u);
    EXPECT_LE(network.stepCount, 32u);

    // The speed slider dragged down: its pointer motion brings the frame
    // that drops the carry, and then the picture stands still.
    network.speed = 0.01;
    SDL_Event motion{};
    motion.type = SDL_MOUSEMOTION;
    SDL_PushEvent(&motion);
    shell.runOnce();
    EXPECT_EQ(network.stepCarry, 0.0);
    const uint64_t frames = shell.framesPresented();
    for (int pass = 0; pass < 10; ++pass) shell.runOnce();
    EXPECT_EQ(shell.framesPresented(), frames);
}

TEST_F(ShellTest, QuitEndsThePassAfterItsLastFrame) {
    SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
    shell.runOnce();
    SDL_Event escape = keyDown(SDL_SCANCODE_ESCAPE);
    SDL_PushEvent(&escape);
    EXPECT_FALSE(shell.runOnce());
    EXPECT_EQ(shell.framesPresented(), 2u);
}

namespace {

// Escape, pushed from another thread after `delay`, as a person would press it.
std::thread escapeAfter(std::chrono::milliseconds delay) {
    return std::thread([delay] {
        std::this_thread::sleep_for(delay);
        SDL_Event escape{};
        escape.type = SDL_KEYDOWN;
        escape.key.keysym.scancode = SDL_SCANCODE_ESCAPE;
        SDL_PushEvent(&escape);
    });
}

}  // namespace

// The desktop loop sleeps in the event queue: while it waits for a key that
// comes a while later, it draws no frame besides the first, spends next to
// no processor time, and the key wakes it.
TEST_F(ShellTest, IdleLoopSleepsUntilTheNextEvent) {
    SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
    const std::clock_t processorBefore = std::clock();
    const auto wallBefore = std::chrono::steady_clock::now();
    // Long enough that the two frames drawn, slow in a sanitizer build, stay
    // a small share of it.
    std::thread later = escapeAfter(std::chrono::milliseconds(1500));
    shell.run();
    later.join();
    const double processor = double(std::clock() - processorBefore) / CLOCKS_PER_SEC;
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallBefore).count();
    EXPECT_EQ(shell.framesPresented(), 2u);  // the first frame and the one after Escape
    // A polling loop keeps a core busy; even on a crowded machine it gets
    // far more than this share of one.
    EXPECT_LT(processor, 0.1 * wall);
}

// A running network draws in every pass, but the desktop loop keeps the frame
// period even where presenting returns at once, as SDL's dummy driver does:
// the run speed counts on 60 frames a second.
TEST_F(ShellTest, RunningLoopKeepsTheFramePeriod) {
    SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
    network.speed = 8.0;
    std::thread later = escapeAfter(std::chrono::milliseconds(500));
    shell.run();
    later.join();
    EXPECT_GE(shell.framesPresented(), 3u);
    EXPECT_LE(shell.framesPresented(), 36u);  // 30 in half a second, and a little room
}
