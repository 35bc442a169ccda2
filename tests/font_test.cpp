#include <gtest/gtest.h>

#include <SDL_ttf.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "graphics/canvas.h"
#include "graphics/font.h"

namespace {

constexpr uint32_t Background = 0xC0C0C0;

struct Box {
    int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;  // right and bottom inclusive
    bool empty() const { return right < 0; }
};

Box changedPixels(const Canvas& canvas) {
    Box box;
    for (uint32_t y = 0; y < canvas.height(); ++y)
        for (uint32_t x = 0; x < canvas.width(); ++x)
            if (*canvas.pixelAt(x, y) != Background) {
                box.left = std::min(box.left, int(x));
                box.top = std::min(box.top, int(y));
                box.right = std::max(box.right, int(x));
                box.bottom = std::max(box.bottom, int(y));
            }
    return box;
}

// Full coverage everywhere, so every pixel of the box changes.
struct SolidImage {
    SolidImage(int width, int height) : bytes(size_t(width) * height, 255) {
        image.data = bytes.data();
        image.width = width;
        image.height = height;
        image.stride = width;
    }
    std::vector<unsigned char> bytes;
    CoverageImage image;
};

void fill(Canvas& canvas) { Painter(&canvas).clear(Background); }

const char* fontFile() { return VORLASK_TEST_FONT; }

}  // namespace

TEST(TextPlacement, AlignmentBitsAnchorTheBox) {
    struct Case { unsigned align; int left, top; };
    // A 31 x 11 box at (100, 50): half sizes truncate to 15 and 5.
    for (const Case c : {Case{0, 85, 45}, Case{AlignLeft, 100, 45}, Case{AlignRight, 69, 45},
                         Case{AlignLeft | AlignRight, 100, 45}, Case{AlignTop, 85, 50}, Case{AlignBottom, 85, 39},
                         Case{AlignTop | AlignBottom | AlignRight, 69, 50}}) {
        Canvas canvas(200, 100);
        fill(canvas);
        SolidImage solid(31, 11);
        blendText(canvas, solid.image, 0xFF000000, 100, 50, c.align);
        const Box box = changedPixels(canvas);
        EXPECT_EQ(box.left, c.left) << c.align;
        EXPECT_EQ(box.top, c.top) << c.align;
        EXPECT_EQ(box.right - box.left, 30) << c.align;
        EXPECT_EQ(box.bottom - box.top, 10) << c.align;
    }
}

TEST(TextPlacement, ClipsAtEveryEdgeWithoutTouchingThePadding) {
    Canvas canvas(100, 40);  // pitch of 128 pixels: columns 100..127 are padding
    fill(canvas);
    for (uint32_t y = 0; y < canvas.height(); ++y)
        for (uint32_t x = 100; x < 128; ++x) *canvas.pixelAt(x, y) = 0x5A5A5A5A;
    SolidImage solid(60, 30);
    for (const int x : {-50, 0, 95, 99, 150})
        for (const int y : {-25, 0, 35, 39, 80}) blendText(canvas, solid.image, 0xFF000000, x, y, AlignLeft | AlignTop);
    for (uint32_t y = 0; y < canvas.height(); ++y)
        for (uint32_t x = 100; x < 128; ++x) ASSERT_EQ(*canvas.pixelAt(x, y), 0x5A5A5A5Au);
    EXPECT_EQ(*canvas.pixelAt(0, 0), 0u);
    EXPECT_EQ(*canvas.pixelAt(99, 39), 0u);
}

TEST(TextPlacement, CoverageIsBlendedWithTheCanvasRule) {
    Canvas canvas(4, 1);
    fill(canvas);
    const unsigned char coverage[4] = {0, 127, 255, 64};
    CoverageImage image;
    image.data = coverage;
    image.width = 4;
    image.height = 1;
    image.stride = 4;
    blendText(canvas, image, 0xC0000000, 0, 0, AlignLeft | AlignTop);
    for (int k = 0; k < 4; ++k) {
        uint32_t expected = Background;
        Canvas::blend(&expected, 0xC0000000, coverage[k] + 1u);
        EXPECT_EQ(*canvas.pixelAt(k, 0), expected);
    }
    EXPECT_EQ(*canvas.pixelAt(0, 0), Background);
    EXPECT_EQ(*canvas.pixelAt(2, 0), 0x303030u);
}

// A canvas resized to nothing keeps its old buffer: no text may reach it,
// wherever it is placed. A canvas whose size could not be addressed has no
// buffer at all and takes none either.
TEST(TextPlacement, CanvasWithoutPixelsIsNeverWritten) {
    Canvas shrunk(64, 64);
    uint32_t* kept = shrunk.pixels();
    std::fill_n(kept, 64 * 64, 0xABCDEFu);
    shrunk.resize(0, 0);
    SolidImage solid(80, 80);
    for (const int x : {-40, 0, 10})
        for (const int y : {-40, 0, 10})
            for (const unsigned align : {0u, unsigned(AlignLeft | AlignTop)})
                blendText(shrunk, solid.image, 0xFF000000, x, y, align);
    EXPECT_EQ(std::count(kept, kept + 64 * 64, 0xABCDEFu), 64 * 64);

    Canvas huge(1u << 20, 1u << 13);
    ASSERT_EQ(huge.pixels(), nullptr);
    blendText(huge, solid.image, 0xFF000000, 0, 0, AlignLeft | AlignTop);
}

TEST(Font, RealFaceDrawsInsideItsAnchoredBox) {
    Canvas canvas(300, 120);
    Font font(&canvas, fontFile(), 24);
    ASSERT_TRUE(font.isOpen()) << fontFile();

    fill(canvas);
    font.draw("count: 42", 0xC0000000, 20, 60, AlignLeft);
    Box left = changedPixels(canvas);
    ASSERT_FALSE(left.empty());
    EXPECT_GE(left.left, 20);
    EXPECT_LE(left.left, 24);
    EXPECT_LT(left.top, 60);
    EXPECT_GT(left.bottom, 60);

    fill(canvas);
    font.draw("count: 42", 0xC0000000, 280, 60, AlignRight);
    Box right = changedPixels(canvas);
    EXPECT_LE(right.right, 279);
    EXPECT_GE(right.right, 274);
    EXPECT_EQ(right.right - right.left, left.right - left.left);
    EXPECT_EQ(right.top, left.top);

    fill(canvas);
    font.draw("0", 0xC0000000, 150, 60, 0);
    Box centred = changedPixels(canvas);
    EXPECT_NEAR((centred.left + centred.right) / 2.0, 150, 2.0);
    EXPECT_NEAR((centred.top + centred.bottom) / 2.0, 60, 3.0);
}

TEST(Font, FullyCoveredGlyphPixelsTakeTheBlendedColour) {
    Canvas canvas(100, 60);
    Font font(&canvas, fontFile(), 24);
    ASSERT_TRUE(font.isOpen());
    fill(canvas);
    font.draw("1", 0xC0000000, 50, 30, 0);
    bool sawFullCoverage = false;
    for (uint32_t y = 0; y < 60; ++y)
        for (uint32_t x = 0; x < 100; ++x) {
            const uint32_t pixel = *canvas.pixelAt(x, y);
            // Grey levels only, never darker than full coverage at opacity 192.
            ASSERT_EQ(pixel & 0xFF, (pixel >> 8) & 0xFF);
            ASSERT_GE(pixel & 0xFF, 0x30u);
            sawFullCoverage |= pixel == 0x303030;
        }
    EXPECT_TRUE(sawFullCoverage);
}

TEST(Font, RealFaceClipsAtTheCanvasEdges) {
    Canvas canvas(100, 40);  // columns 100..127 of every row are padding
    Font font(&canvas, fontFile(), 24);
    ASSERT_TRUE(font.isOpen());
    fill(canvas);
    for (uint32_t y = 0; y < canvas.height(); ++y)
        for (uint32_t x = 100; x < 128; ++x) *canvas.pixelAt(x, y) = 0x5A5A5A5A;
    for (const int x : {-40, 0, 50, 99, 100, 140})
        for (const int y : {-20, 0, 20, 39, 40, 60})
            for (const unsigned align : {0u, unsigned(AlignLeft), unsigned(AlignRight | AlignBottom), unsigned(AlignTop)})
                font.draw("count: 8888", 0xC0000000, x, y, align);
    for (uint32_t y = 0; y < canvas.height(); ++y)
        for (uint32_t x = 100; x < 128; ++x) ASSERT_EQ(*canvas.pixelAt(x, y), 0x5A5A5A5Au) << x << "," << y;
    // Text reached the first and last columns and rows, and nothing further.
    const Box box = changedPixels(canvas);
    EXPECT_EQ(box.left, 0);
    EXPECT_EQ(box.top, 0);
    EXPECT_EQ(box.bottom, 39);
}

TEST(Font, TransparentColourAndEmptyTextChangeNothing) {
    Canvas canvas(100, 60);
    Font font(&canvas, fontFile(), 20);
    ASSERT_TRUE(font.isOpen());
    fill(canvas);
    font.draw("hidden", 0x00000000, 50, 30, 0);
    font.draw("", 0xC0000000, 50, 30, 0);
    font.draw(nullptr, 0xC0000000, 50, 30, 0);
    EXPECT_TRUE(changedPixels(canvas).empty());
    Font nowhere(nullptr, fontFile(), 20);  // a face but no canvas: nothing to draw into
    nowhere.draw("text", 0xC0000000, 50, 30, 0);
}

TEST(Font, MissingFileIsReportedOnOneLineAndDrawsNothing) {
    Canvas canvas(100, 60);
    testing::internal::CaptureStdout();
    Font font(&canvas, "no-such-face.ttf", 24);
    // Written at once: it comes before anything written to the descriptor afterwards.
    ASSERT_EQ(::write(STDOUT_FILENO, "|", 1), 1);
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(printed.rfind("TTF_OpenFont(no-such-face.ttf): ", 0), 0u) << printed;
    EXPECT_EQ(printed.substr(printed.size() - 2), "\n|");
    EXPECT_EQ(printed.find('\n'), printed.size() - 2);
    EXPECT_FALSE(font.isOpen());

    fill(canvas);
    font.draw("text", 0xC0000000, 50, 30, 0);
    EXPECT_TRUE(changedPixels(canvas).empty());
}

TEST(Font, SdlTtfIsInitialisedOncePerProcess) {
    Canvas canvas(10, 10);
    Font first(&canvas, fontFile(), 24);
    Font second(&canvas, fontFile(), 20);
    EXPECT_EQ(TTF_WasInit(), 1);
}
