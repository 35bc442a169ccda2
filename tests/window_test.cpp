#include <gtest/gtest.h>

#include "graphics/canvas.h"
#include "graphics/window.h"

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
