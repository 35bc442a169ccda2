#include <gtest/gtest.h>

#include <csignal>

#include <SDL.h>
#include <signal.h>

#include <vector>

#include "graphics/canvas.h"
#include "graphics/window.h"

namespace {

// What the window shows after present, read back from its renderer as
// 0x00RRGGBB words, row after row.
std::vector<uint32_t> shown(const Window& window, int width, int height) {
    std::vector<uint32_t> pixels(static_cast<size_t>(width) * height);
    SDL_Renderer* renderer = SDL_GetRenderer(window.sdlWindow());
    const SDL_Rect all{0, 0, width, height};
    if (renderer == nullptr ||
        SDL_RenderReadPixels(renderer, &all, SDL_PIXELFORMAT_RGB888, pixels.data(), width * 4) != 0) {
        ADD_FAILURE() << SDL_GetError();
    }
    for (uint32_t& p : pixels) p &= 0xFFFFFFu;
    return pixels;
}

// A pattern with a different top byte in every pixel: presentation must
// ignore it and show the colour channels as they are.
void paint(Canvas& canvas) {
    for (uint32_t y = 0; y < canvas.height(); ++y)
        for (uint32_t x = 0; x < canvas.width(); ++x) *canvas.pixelAt(x, y) = (x * 7 + y) << 24 | x << 16 | y << 8 | (x ^ y);
}

}  // namespace

// These run under SDL's dummy video driver (set by the test environment).

TEST(Window, OpensAtTheCanvasSizeWhenAskedForMinusOne) {
    Canvas canvas(1024, 768);
    Window window(&canvas, "vorlask app", 0, 0, -1, -1);
    int width = 0;
    int height = 0;
    window.windowSize(width, height);
    EXPECT_EQ(width, 1024);
    EXPECT_EQ(height, 768);
}

TEST(Window, ZeroSizeWithoutCanvasBecomesOnePixel) {
    Window window(nullptr, "tiny", 0, 0, 0, -5);
    int width = 0;
    int height = 0;
    window.windowSize(width, height);
    EXPECT_EQ(width, 1);
    EXPECT_EQ(height, 1);
    window.present();
    EXPECT_EQ(window.textureCreations(), 0);
}

TEST(Window, MakesTheTextureOncePerGeometry) {
    Canvas canvas(1024, 768);
    Painter(&canvas).clear(0xC0C0C0);
    Window window(&canvas, "vorlask app", 0, 0, -1, -1);
    window.present();
    window.present();
    EXPECT_EQ(window.textureCreations(), 1);

    canvas.resize(1000, 768);  // same buffer and pitch, new width
    window.present();
    window.present();
    EXPECT_EQ(window.textureCreations(), 2);

    canvas.resize(1100, 700);
    Painter(&canvas).clear(0xC0C0C0);
    window.present();
    EXPECT_EQ(window.textureCreations(), 3);
}

TEST(Window, CanvasWithoutBufferDropsTheTextureAndMakesItAgainLater) {
    Canvas canvas(64, 64);
    Window window(&canvas, "vorlask app", 0, 0, -1, -1);
    window.present();
    EXPECT_EQ(window.textureCreations(), 1);
    canvas.resize(1u << 20, 1u << 13);  // too large to address: no buffer
    window.present();
    canvas.resize(64, 64);
    window.present();
    window.present();
    EXPECT_EQ(window.textureCreations(), 2);
}

// The whole canvas lands in the window's top-left corner, pixel for pixel,
// opaque; the rest of the window shows the renderer's clear colour.
TEST(Window, ShowsTheCanvasOpaqueInTheTopLeftCorner) {
    Canvas canvas(40, 30);
    Window window(&canvas, "vorlask app", 0, 0, 50, 35);
    paint(canvas);
    window.present();
    const std::vector<uint32_t> pixels = shown(window, 50, 35);
    for (int y = 0; y < 35; ++y) {
        for (int x = 0; x < 50; ++x) {
            const uint32_t expected = x < 40 && y < 30 ? *canvas.pixelAt(x, y) & 0xFFFFFFu : 0u;
            ASSERT_EQ(pixels[y * 50 + x], expected) << x << "," << y;
        }
    }
    // A narrower canvas in the same buffer: the next frame shows only its columns.
    canvas.resize(33, 30);
    paint(canvas);
    window.present();
    const std::vector<uint32_t> narrower = shown(window, 50, 35);
    EXPECT_EQ(narrower[29 * 50 + 32], *canvas.pixelAt(32, 29) & 0xFFFFFFu);
    EXPECT_EQ(narrower[29 * 50 + 33], 0u);
}

TEST(Window, LeavesTheProcessSignalsAlone) {
    // A background job may start with these ignored; what counts is that the
    // window does not install handlers of its own.
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    Canvas canvas(8, 8);
    Window window(&canvas, "vorlask app", 0, 0, -1, -1);
    EXPECT_EQ(SDL_WasInit(SDL_INIT_VIDEO | SDL_INIT_TIMER), SDL_INIT_VIDEO | SDL_INIT_TIMER);
    for (const int signal : {SIGINT, SIGTERM}) {
        struct sigaction action {};
        sigaction(signal, nullptr, &action);
        EXPECT_EQ(action.sa_handler, SIG_DFL) << signal;
    }
}
