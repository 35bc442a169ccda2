#include <algorithm>
#include <climits>
#include <cstdio>

#include <gtest/gtest.h>

#include "graphics/figure.h"
#include "panel_frames.h"
#include "test_support.h"

namespace {

constexpr uint32_t Background = 0xC0C0C0;
constexpr uint32_t Black = 0x303030;        // 0xC0000000 over the background
constexpr uint32_t HalfBlack = 0x787878;    // the same at weight 128
constexpr uint32_t Knob = 0x202020;

class MatrixPanel : public ::testing::Test {
protected:
    MatrixPanel() { fixture.painter.clear(Background); }

    uint32_t pixel(int x, int y) const { return *fixture.canvas.pixelAt(x, y); }
    void redraw(bool antialias = true) {
        fixture.painter.clear(Background);
        net.drawMatrix(antialias);
    }

    NetworkFixture fixture;
    Network& net = fixture.network;
};

TEST_F(MatrixPanel, GridOfFourNodesEndsAtTheHandle) {
    net.drawMatrix(true);
    // Lines 2 px wide centred on x = 48 + 32i: the two pixels either side get half coverage.
    for (int x : {48, 80, 112, 144, 176}) {
        EXPECT_EQ(pixel(x - 1, 100), HalfBlack) << x;
        EXPECT_EQ(pixel(x, 100), HalfBlack) << x;
        EXPECT_EQ(pixel(x + 1, 100), Background) << x;
    }
    for (int y : {80, 112, 144, 176, 208}) {
        EXPECT_EQ(pixel(20, y - 1), HalfBlack) << y;
        EXPECT_EQ(pixel(20, y), HalfBlack) << y;
    }
    // The vertical lines run from y 48 to 208, the horizontal ones from x 16 to 176.
    EXPECT_EQ(pixel(80, 46), Background);
    EXPECT_EQ(pixel(80, 211), Background);
    EXPECT_EQ(pixel(14, 144), Background);
    EXPECT_EQ(pixel(178, 144), Background);
    // Cells hold only text, which these fonts do not draw.
    EXPECT_EQ(pixel(96, 128), Background);
    EXPECT_EQ(pixel(1000, 700), Background);
}

TEST_F(MatrixPanel, HandleIsAWhiteWedgeWithADarkRim) {
    net.drawMatrix(true);
    // Handle at (176, 208): (178, 205) lies in the rim only, (177, 206) also half in the face.
    EXPECT_EQ(pixel(178, 205), Black);
    EXPECT_EQ(pixel(177, 206), blendOver(Black, 0xC0FFFFFF, 128));
    EXPECT_EQ(pixel(182, 205), Background);
}

TEST_F(MatrixPanel, GridFollowsTheHandleWhileItIsDragged) {
    net.pressLeft(176, 208);
    net.followMouse(300, 250);  // still four nodes: (250 - 80) / 32 = 5, (300 - 48) / 32 = 7
    ASSERT_EQ(net.nodeCount, 5);
    net.followMouse(300, 230);
    ASSERT_EQ(net.nodeCount, 4);
    redraw();
    EXPECT_EQ(pixel(80, 225), HalfBlack);
    EXPECT_EQ(pixel(290, 208), HalfBlack);
    EXPECT_EQ(pixel(302, 227), Black);  // the handle's rim at (300, 230)
    EXPECT_EQ(pixel(178, 205), Background);
}

TEST_F(MatrixPanel, DraggedHandleNeverComesCloserThanTwoNodes) {
    net.pressLeft(176, 208);
    net.followMouse(-500, -500);
    redraw();
    EXPECT_EQ(net.nodeCount, 4);
    EXPECT_EQ(pixel(114, 141), Black);  // rim of a handle at (112, 144)
    // The lines still start at the headers and stop at the handle.
    EXPECT_EQ(pixel(48, 140), HalfBlack);
    EXPECT_EQ(pixel(80, 150), Background);
}

TEST_F(MatrixPanel, DraggedHandleStaysOnTheCanvas) {
    net.pressLeft(176, 208);
    net.followMouse(INT_MAX, INT_MAX);
    ASSERT_EQ(net.nodeCount, 21);
    redraw();
    EXPECT_EQ(pixel(48, 760), HalfBlack);
    EXPECT_EQ(pixel(1000, 80), HalfBlack);
    EXPECT_EQ(pixel(1020, 765), Black);  // rim of a handle at (1023, 767), clipped
}

TEST_F(MatrixPanel, ParameterSlidersHaveTracksAndKnobsAtTheirValues) {
    net.params[Network::Alpha][1] = 0.5;
    net.drawMatrix(true);
    const uint32_t track = blendOver(Background, 0x80000000);
    // alpha column from x 208 to 272; row i's track covers y 109 + 32i to 112 + 32i.
    for (int row = -1; row < 4; ++row) EXPECT_EQ(pixel(230, 110 + 32 * row), track) << row;
    EXPECT_EQ(pixel(230, 108), Background);
    EXPECT_EQ(pixel(230, 113), Background);
    // Knobs: value 1 at the right end, node 1's 0.5 in the middle.
    EXPECT_EQ(pixel(272, 111), Knob);
    EXPECT_EQ(pixel(240, 143), Knob);
    EXPECT_EQ(pixel(272, 143), Background);
    // The all-nodes row shows a knob only while the nodes agree.
    EXPECT_EQ(pixel(272, 79), Background);
    EXPECT_EQ(pixel(352, 79), Knob);  // beta: L(1) = 288
    EXPECT_EQ(pixel(432, 79), Knob);  // gamma: L(2) = 368
    EXPECT_EQ(pixel(310, 110), track);
    EXPECT_EQ(pixel(390, 110), track);
}

TEST_F(MatrixPanel, AllNodesKnobComesBackWhenTheValuesAgreeAgain) {
    net.params[Network::Gamma][2] = 0.25;
    redraw();
    EXPECT_EQ(pixel(432, 79), Background);
    net.pressLeft(370, 60);
    net.followMouse(368 + 16, 60);
    redraw();
    EXPECT_EQ(pixel(384, 79), Knob);
    EXPECT_EQ(pixel(384, 175), Knob);
}

TEST_F(MatrixPanel, ColumnsMoveRightWithTheNodeCount) {
    net.resize(6);
    net.drawMatrix(true);
    // alpha column now from x 272; the speed slider below the grid at y 304.
    EXPECT_EQ(pixel(336, 111), Knob);
    EXPECT_EQ(pixel(16, 305), Knob);
    EXPECT_EQ(pixel(240 - 1, 100), HalfBlack);
    EXPECT_EQ(pixel(224, 78), Background);  // where the alpha column was
}

TEST_F(MatrixPanel, SpeedSliderKnobSitsSixteenPixelsPerUnit) {
    const uint32_t track = blendOver(Background, 0x80000000);
    net.drawMatrix(true);
    EXPECT_EQ(pixel(16, 241), Knob);
    EXPECT_EQ(pixel(100, 241), track);  // y 240..243 for four nodes
    EXPECT_EQ(pixel(100, 239), Background);
    net.speed = 4.7;
    redraw();
    EXPECT_EQ(pixel(16 + 75, 241), Knob);
}

TEST_F(MatrixPanel, MarkerRingsShowPartnerAndPointerInTheirRow) {
    net.partner[1] = 3;
    net.pointer[1] = 0;
    net.drawMatrix(true);
    // Row 1 is centred at y 128; rings 10..14 px round the cell centres (160, 128) and (64, 128).
    EXPECT_EQ(pixel(172, 128), blendOver(Background, 0x60000080));
    EXPECT_EQ(pixel(76, 128), blendOver(Background, 0xC0800000));
    EXPECT_EQ(pixel(160, 128), Background);

    net.connected[1] = true;
    redraw();
    EXPECT_EQ(pixel(172, 128), blendOver(Background, 0xC0008000));
    EXPECT_EQ(pixel(76, 128), blendOver(Background, 0xC0808000));
}

TEST_F(MatrixPanel, PointerRingCoversThePartnerRingOfTheSameNode) {
    net.partner[2] = 1;
    net.pointer[2] = 1;
    net.drawMatrix(true);
    EXPECT_EQ(pixel(96 + 12, 160), blendOver(blendOver(Background, 0x60000080), 0xC0800000));
}

TEST_F(MatrixPanel, OutOfRangeMarkersAreNotDrawn) {
    net.partner[0] = 4;
    net.pointer[0] = INT_MAX;
    net.partner[3] = -5;
    net.drawMatrix(true);
    for (int column = 0; column <= 4; ++column) EXPECT_EQ(pixel(76 + 32 * column, 96), Background) << column;
}

TEST_F(MatrixPanel, AntialiasingOffPaintsRingEdgesInFull) {
    net.pointer[1] = 0;
    net.drawMatrix(true);
    const uint32_t smooth = pixel(64 + 13, 128 + 2);
    redraw(false);
    EXPECT_EQ(pixel(64 + 13, 128 + 2), blendOver(Background, 0xC0800000));
    EXPECT_NE(smooth, pixel(64 + 13, 128 + 2));
}

TEST_F(MatrixPanel, DrawingMakesTheLinksSymmetric) {
    net.links[2][0] = 1;
    net.links[0][2] = 0;
    net.links[1][3] = 1;
    net.links[1][1] = 5;
    net.drawMatrix(true);
    EXPECT_EQ(net.links[0][2], 1);
    EXPECT_EQ(net.links[1][3], 0) << "the lower triangle decides";
    EXPECT_EQ(net.links[1][1], 0);
}

TEST_F(MatrixPanel, TopSpeedRunsAStepAboutEveryEightFrames) {
    net.speed = 8.0;  // 8 steps per second at 60 frames
    for (int frame = 0; frame < 7; ++frame) net.drawMatrix(true);
    EXPECT_EQ(net.stepCount, 0u);
    net.drawMatrix(true);
    EXPECT_EQ(net.stepCount, 1u);
    EXPECT_NEAR(net.stepCarry, 8 * 8.0 / 60 - 1, 1e-12);
    for (int frame = 8; frame < 59; ++frame) net.drawMatrix(true);
    EXPECT_EQ(net.stepCount, 7u);
}

TEST_F(MatrixPanel, IdleSpeedRunsNothingAndDropsTheCarry) {
    net.speed = 0.01;
    net.stepCarry = 0.9;
    net.drawMatrix(true);
    EXPECT_EQ(net.stepCarry, 0.0);
    EXPECT_EQ(net.stepCount, 0u);
    // Just above it the carry builds up by speed^3 / 64 steps a second, a 60th a frame.
    net.speed = 1.0;
    net.drawMatrix(true);
    EXPECT_EQ(net.stepCarry, 0.015625 / 60);
}

TEST_F(MatrixPanel, ACarryOfExactlyOneStepWaitsForTheNextFrame) {
    net.speed = 8.0;
    const double perFrame = 8.0 * 8.0 * 8.0 * 0.015625 / 60;
    net.stepCarry = 1.0 - perFrame;
    ASSERT_EQ(net.stepCarry + perFrame, 1.0);
    net.drawMatrix(true);
    EXPECT_EQ(net.stepCount, 0u);
    EXPECT_EQ(net.stepCarry, 1.0);
    net.drawMatrix(true);
    EXPECT_EQ(net.stepCount, 1u);
}

TEST_F(MatrixPanel, SteppingHappensBeforeTheFrameIsDrawn) {
    net.links[1][0] = 1;
    net.speed = 8.0;
    net.stepCarry = 0.99;
    net.drawMatrix(true);
    ASSERT_EQ(net.stepCount, 1u);
    // The step gave node 0 its first pointer, and this very frame shows it.
    ASSERT_EQ(net.pointer[0], 1);
    EXPECT_EQ(pixel(96 + 12, 96), blendOver(Background, 0xC0800000));
}

}  // namespace

namespace {

// The panel's drawing list as the rules give it, read from the network's
// state after the frame's stepping: every text, shape, position, colour and
// the order they are drawn in.
class LiteralMatrixPanel {
public:
    LiteralMatrixPanel(const Network& net, Painter& painter, const Font& large, const Font& small, bool antialias)
        : net(net), painter(painter), large(large), small(small), antialias(antialias), n(net.nodeCount) {}

    void draw() {
        // The handle follows the pointer clamped into the 1024 x 768 canvas.
        int hx = 32 * n + 48;
        int hy = 32 * n + 80;
        if (net.resizing) {
            hx = std::max(112, static_cast<int>(std::min(std::max(net.mouseX, 0.0), 1023.0)));
            hy = std::max(144, static_cast<int>(std::min(std::max(net.mouseY, 0.0), 767.0)));
        }
        for (int i = 0; i < n; ++i) {
            text(large, "%d", i, 64 + 32 * i, 64, 0);
            text(large, "%d", i, 32, 96 + 32 * i, 0);
        }
        for (int i = 0; i <= n; ++i) {
            Line vertical(48 + 32 * i, 48, 48 + 32 * i, hy, 2);
            vertical.draw(painter, 0xC0000000, antialias);
            Line horizontal(16, 80 + 32 * i, hx, 80 + 32 * i, 2);
            horizontal.draw(painter, 0xC0000000, antialias);
        }
        for (int c = 0; c < n; ++c) {
            for (int r = 0; r < n; ++r) text(large, "%d", net.links[r][c] != 0 ? 1 : 0, 64 + 32 * c, 96 + 32 * r, 0);
        }
        const Point rim[3] = {{hx + 4.0, hy - 10.0}, {hx - 10.0, hy + 4.0}, {hx + 4.0, hy + 4.0}};
        Polygon(rim, 3).draw(painter, 0xC0000000, antialias);
        const Point face[3] = {{hx + 2.0, hy - 6.0}, {hx - 6.0, hy + 2.0}, {hx + 2.0, hy + 2.0}};
        Polygon(face, 3).draw(painter, 0xC0FFFFFF, antialias);
        const char* names[3] = {"alpha", "beta", "gamma"};
        for (int p = 0; p < 3; ++p) {
            const int left = 32 * n + 80 + 80 * p;
            small.draw(names[p], 0xC0000000, left + 32, 32, 0);
            for (int i = -1; i < n; ++i) {
                Rectangle(left, 32 * i + 109, left + 64, 32 * i + 112).draw(painter, 0x80000000, antialias);
                const std::vector<double>& values = net.params[p];
                const bool agree = std::count(values.begin(), values.end(), values[0]) == n;
                if (i < 0 && !agree) continue;
                const double v = i < 0 ? values[0] : values[i];
                Ring(left + 64 * v, 32 * i + 111, -255, 6).draw(painter, 0xFF202020, antialias);
                text(small, "%5.3f", v, left + 32, 32 * i + 96, 0);
            }
        }
        Rectangle(16, 32 * n + 112, 144, 32 * n + 115).draw(painter, 0x80000000, antialias);
        Ring(16 + static_cast<int>(16 * net.speed), 32 * n + 113, -255, 6).draw(painter, 0xFF202020, antialias);
        text(small, "%5.3f", net.speed * net.speed * net.speed * 0.015625, 80, 32 * n + 96, 0);
        // Unsigned, so that counts past 2^31 do not show as negative.
        text(small, "count: %12u", net.stepCount, 32 * n + 352, 64, AlignLeft);
        for (int i = 0; i < n; ++i) {
            const double chance = static_cast<double>(net.successCount[i]) / static_cast<double>(net.stepCount) * 100;
            text(small, "chance: %8.3f%%", chance, 32 * n + 352, 96 + 32 * i, AlignLeft);
        }
        for (int i = 0; i < n; ++i) {
            const bool lit = net.connected[i];
            marker(net.partner[i], i, lit ? 0xC0008000 : 0x60000080);
            marker(net.pointer[i], i, lit ? 0xC0808000 : 0xC0800000);
        }
    }

private:
    template <typename Value>
    void text(const Font& font, const char* format, Value value, int x, int y, unsigned align) {
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, format, value);
        font.draw(buffer, 0xC0000000, x, y, align);
    }

    void marker(int column, int row, uint32_t colour) {
        if (column < 0 || column >= n) return;
        Ring(64 + 32 * column, 96 + 32 * row, 10, 14).draw(painter, colour, antialias);
    }

    const Network& net;
    Painter& painter;
    const Font& large;
    const Font& small;
    const bool antialias;
    const int n;
};

TEST(MatrixPanelFrame, EveryFrameIsTheLiteralDrawingList) {
    PanelFrames frames;
    ASSERT_TRUE(frames.large.isOpen()) << VORLASK_TEST_FONT;
    Network& net = frames.network;
    std::mt19937 random(20240917u);
    for (int trial = 0; trial < 100; ++trial) {
        randomPanelState(net, random);
        net.resizing = trial % 4 == 0;
        net.mouseX = std::uniform_real_distribution<double>(-50, 1100)(random);
        net.mouseY = std::uniform_real_distribution<double>(-50, 800)(random);
        const bool antialias = trial % 5 != 0;
        frames.clear();
        net.drawMatrix(antialias);
        LiteralMatrixPanel(net, frames.expectedPainter, frames.expectedLarge, frames.expectedSmall, antialias).draw();
        ASSERT_TRUE(frames.same()) << "trial " << trial << ", " << net.nodeCount << " nodes";
    }
}

}  // namespace
