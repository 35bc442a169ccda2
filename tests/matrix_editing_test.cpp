#include <climits>
#include <cmath>

#include <gtest/gtest.h>

#include "test_support.h"

namespace {

// Centre of grid cell (row, column).
int cellX(int column) { return 64 + 32 * column; }
int cellY(int row) { return 96 + 32 * row; }

class MatrixEditing : public ::testing::Test {
protected:
    Network& net = fixture.network;

    void drag(int x, int y) { net.followMouse(x, y); }

    NetworkFixture fixture;
};

TEST_F(MatrixEditing, LeftPressTogglesBothMirrorEntriesButNeverTheDiagonal) {
    net.pressLeft(cellX(0), cellY(2));
    EXPECT_EQ(net.links[2][0], 1);
    EXPECT_EQ(net.links[0][2], 1);
    net.pressLeft(cellX(0), cellY(2));
    EXPECT_EQ(net.links[2][0], 0);
    EXPECT_EQ(net.links[0][2], 0);

    net.pressLeft(cellX(1), cellY(1));
    EXPECT_EQ(net.links[1][1], 0);
}

TEST_F(MatrixEditing, CellEdgesFollowThePitch) {
    // Cell (0, 1) covers x 80..111 and y 80..111.
    net.pressLeft(111, 111);
    EXPECT_EQ(net.links[0][1], 1);
    net.pressLeft(112, 80);
    EXPECT_EQ(net.links[0][2], 1);
    // Left of column 0 and above row 0 are the header column and band.
    net.pressLeft(47, cellY(1));
    net.pressLeft(cellX(1), 79);
    // Below the last row is the speed band, right of the last column nothing.
    net.pressLeft(cellX(3), 208);
    EXPECT_FALSE(net.speedDragging);
    int total = 0;
    for (const auto& row : net.links)
        for (int value : row) total += value;
    EXPECT_EQ(total, 4);
}

TEST_F(MatrixEditing, RightPressSetsPartnerAndPointerOfTheRow) {
    net.connected[0] = true;
    net.pressRight(cellX(3), cellY(0));
    EXPECT_EQ(net.partner[0], 3);
    EXPECT_EQ(net.pointer[0], 3);
    EXPECT_FALSE(net.connected[0]);
    EXPECT_EQ(net.links[0][3], 0) << "a right press never links";

    net.step();
    EXPECT_EQ(net.partner[0], -1);
    EXPECT_EQ(net.pointer[0], -1);
}

TEST_F(MatrixEditing, RightPressOffTheGridOrOnTheDiagonalChangesNothing) {
    net.connected[2] = true;
    net.pressRight(cellX(2), cellY(2));
    net.pressRight(cellX(4), cellY(2));
    net.pressRight(cellX(1), cellY(4));
    net.pressRight(10, cellY(2));
    net.pressRight(INT_MIN, INT_MAX);
    EXPECT_TRUE(net.connected[2]);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(net.partner[i], -1);
        EXPECT_EQ(net.pointer[i], -1);
    }
    EXPECT_FALSE(net.resizing || net.sliderDragging || net.speedDragging);
}

TEST_F(MatrixEditing, HandleDragResizesToTheLargestGridAboveLeftOfThePointer) {
    net.pressLeft(176, 208);
    ASSERT_TRUE(net.resizing);
    drag(240, 272);
    EXPECT_EQ(net.nodeCount, 6);
    drag(120, 500);  // the smaller quotient decides
    EXPECT_EQ(net.nodeCount, 2);
    drag(100, 500);
    EXPECT_EQ(net.nodeCount, 2);
    drag(60, 100);
    EXPECT_EQ(net.nodeCount, 2);
    net.releaseLeft();
    EXPECT_FALSE(net.resizing);
    drag(400, 400);
    EXPECT_EQ(net.nodeCount, 2);
}

TEST_F(MatrixEditing, HandleGrabRadiusIsEightPixels) {
    net.pressLeft(176 + 7, 208);
    EXPECT_TRUE(net.resizing);
    net.releaseLeft();
    net.pressLeft(176 + 8, 208);
    EXPECT_FALSE(net.resizing);
}

TEST_F(MatrixEditing, HandleWinsOverTheSpeedBand) {
    net.resize(2);
    net.pressLeft(112, 148);
    EXPECT_TRUE(net.resizing);
    EXPECT_FALSE(net.speedDragging);
}

TEST_F(MatrixEditing, HandleDragIgnoresPositionsLeftOfOrAboveTheWindow) {
    net.pressLeft(176, 208);
    drag(-1, 300);
    drag(300, -1);
    drag(-40000, -40000);
    drag(INT_MIN, INT_MIN);
    EXPECT_EQ(net.nodeCount, 4);
    EXPECT_EQ(net.mouseX, static_cast<double>(INT_MIN));
}

TEST_F(MatrixEditing, HandleDragNeverGrowsPastWhatFitsTheCanvas) {
    net.pressLeft(176, 208);
    drag(INT_MAX, INT_MAX);
    EXPECT_EQ(net.nodeCount, 21);  // (767 - 80) / 32 on a 1024 x 768 canvas
    drag(1023, 10000);
    EXPECT_EQ(net.nodeCount, 21);
}

TEST(MatrixEditingSmallCanvas, HandleCapFollowsTheCanvasSize) {
    NetworkFixture fixture(400, 300);
    Network& net = fixture.network;
    net.pressLeft(176, 208);
    net.followMouse(100000, 100000);
    EXPECT_EQ(net.nodeCount, 6);  // (299 - 80) / 32
}

TEST_F(MatrixEditing, ParameterSliderFollowsThePointerHorizontally) {
    // Node 1's alpha slider: x 208..272, row 1 is y 112..143.
    net.pressLeft(210, 130);
    ASSERT_TRUE(net.sliderDragging);
    EXPECT_EQ(net.sliderParam, Network::Alpha);
    EXPECT_EQ(net.sliderNode, 1);
    drag(240, 700);
    EXPECT_EQ(net.params[Network::Alpha][1], 0.5);
    drag(208, 0);
    EXPECT_EQ(net.params[Network::Alpha][1], 0.0);
    drag(207, 0);
    EXPECT_EQ(net.params[Network::Alpha][1], 0.0);
    drag(272, 0);
    EXPECT_EQ(net.params[Network::Alpha][1], 1.0);
    drag(INT_MAX, 0);
    EXPECT_EQ(net.params[Network::Alpha][1], 1.0);
    drag(INT_MIN, 0);
    EXPECT_EQ(net.params[Network::Alpha][1], 0.0);
    EXPECT_EQ(net.params[Network::Alpha][0], 1.0);
    EXPECT_EQ(net.params[Network::Beta][1], 1.0);
}

TEST_F(MatrixEditing, SliderBoxesSpanSixtyFivePixelsPerColumn) {
    // beta of node 3: L(1) = 288, row 3 is y 176..207.
    net.pressLeft(288 + 64, 207);
    EXPECT_TRUE(net.sliderDragging);
    EXPECT_EQ(net.sliderParam, Network::Beta);
    EXPECT_EQ(net.sliderNode, 3);
    net.releaseLeft();
    // Between the columns nothing is grabbed.
    net.pressLeft(288 + 65, 150);
    EXPECT_FALSE(net.sliderDragging);
    // Below the last row there is no slider.
    net.pressLeft(300, 208);
    EXPECT_FALSE(net.sliderDragging);
}

TEST_F(MatrixEditing, HeaderBandSliderSetsEveryNode) {
    // gamma column: L(2) = 368; the header band is y 48..79.
    net.pressLeft(370, 48);
    ASSERT_TRUE(net.sliderDragging);
    EXPECT_EQ(net.sliderNode, -1);
    EXPECT_EQ(net.sliderParam, Network::Gamma);
    drag(384, 5);
    for (double gamma : net.params[Network::Gamma]) EXPECT_EQ(gamma, 0.25);
    EXPECT_EQ(net.params[Network::Alpha][2], 1.0);
    net.releaseLeft();
    // Above the header band there is no slider.
    net.pressLeft(370, 47);
    EXPECT_FALSE(net.sliderDragging);
}

TEST_F(MatrixEditing, SliderOfAMissingRowEditsNothing) {
    net.sliderDragging = true;
    net.sliderParam = Network::Beta;
    net.sliderNode = 9;
    drag(300, 100);
    net.sliderNode = 4;  // one past the last row: the sanitizer build sees a write there
    drag(300, 100);
    net.sliderNode = -2;
    drag(300, 100);
    net.sliderNode = 0;
    net.sliderParam = 3;
    drag(300, 100);
    for (const auto& values : net.params)
        for (double v : values) EXPECT_EQ(v, 1.0);
}

TEST_F(MatrixEditing, SpeedSliderMapsOneSixteenthPerPixel) {
    // N = 4: the band is y 208..243, x 16..144.
    net.pressLeft(16, 243);
    ASSERT_TRUE(net.speedDragging);
    drag(80, 0);
    EXPECT_EQ(net.speed, 4.0);
    drag(-100, 0);
    EXPECT_EQ(net.speed, 0.0);
    drag(INT_MAX, 0);
    EXPECT_EQ(net.speed, 8.0);
    net.releaseLeft();
    net.pressLeft(145, 220);
    net.pressLeft(100, 244);
    EXPECT_FALSE(net.speedDragging);
}

TEST_F(MatrixEditing, ReleaseEndsEveryGestureAndFollowStillRecordsThePointer) {
    net.pressLeft(80, 220);
    net.releaseLeft();
    drag(144, 9);
    EXPECT_EQ(net.speed, 0.0);
    EXPECT_EQ(net.mouseX, 144.0);
    EXPECT_EQ(net.mouseY, 9.0);
    net.pressLeft(240, 130);
    net.releaseLeft();
    drag(208, 0);
    EXPECT_EQ(net.params[Network::Alpha][1], 1.0);
}

TEST_F(MatrixEditing, GeometryMovesWithTheNodeCount) {
    net.resize(6);
    // alpha column L(0) = 32 * 6 + 80 = 272; the handle is at (240, 272).
    net.pressLeft(272, 100);
    EXPECT_TRUE(net.sliderDragging);
    net.releaseLeft();
    net.pressLeft(240, 272);
    EXPECT_TRUE(net.resizing);
    net.releaseLeft();
    net.pressLeft(cellX(5), cellY(4));
    EXPECT_EQ(net.links[5][4], 1);
}

TEST_F(MatrixEditing, ExtremePressesHitNothing) {
    const int extremes[] = {INT_MIN, -1, INT_MAX};
    for (int x : extremes)
        for (int y : extremes) {
            net.pressLeft(x, y);
            net.pressRight(x, y);
        }
    EXPECT_FALSE(net.resizing || net.sliderDragging || net.speedDragging);
    for (const auto& row : net.links)
        for (int value : row) EXPECT_EQ(value, 0);
}

}  // namespace

namespace {

// What a left press starts, by the hit boxes as the rules state them, tested
// in their order: the handle, the speed band, the sliders, a grid cell.
struct Gesture {
    bool resizing = false;
    bool speed = false;
    bool slider = false;
    int param = 0;
    int node = 0;
    int row = -1;  // the toggled cell, if any
    int column = -1;
};

// Integer division rounding down, also for negative values.
int floorDivide(int value, int divisor) { return static_cast<int>(std::floor(value / static_cast<double>(divisor))); }

bool literalCell(int n, int x, int y, int& row, int& column) {
    if (x < 16 || y < 48) return false;
    column = (x - 16) / 32 - 1;
    row = (y - 48) / 32 - 1;
    return column >= 0 && column < n && row >= 0 && row < n;
}

Gesture literalLeftPress(int n, int x, int y) {
    Gesture g;
    const int dx = 32 * n + 48 - x;
    const int dy = 32 * n + 80 - y;
    if (dx * dx + dy * dy < 64) {
        g.resizing = true;
    } else if (16 <= x && x <= 144 && 32 * n + 80 <= y && y <= 32 * n + 115) {
        g.speed = true;
    } else {
        const int i = floorDivide(y - 80, 32);
        for (int p = 0; p < 3 && -1 <= i && i < n; ++p) {
            const int offset = x - (32 * n + 80 + 80 * p);
            if (0 <= offset && offset <= 64) {
                g.slider = true;
                g.param = p;
                g.node = i;
                return g;
            }
        }
        int row = 0, column = 0;
        if (literalCell(n, x, y, row, column) && row != column) {
            g.row = row;
            g.column = column;
        }
    }
    return g;
}

// Every pixel of the panel and a margin round it, for a small, the first and
// a large network: the gesture a press starts, or the one link it toggles.
TEST(MatrixEditingRules, EveryPressStartsWhatTheHitBoxesSay) {
    for (const int n : {2, 4, 9}) {
        NetworkFixture fixture;
        Network& net = fixture.network;
        net.resize(n);
        for (int y = -2; y <= 32 * n + 130; ++y) {
            for (int x = -2; x <= 32 * n + 330; ++x) {
                const Gesture expected = literalLeftPress(n, x, y);
                net.releaseLeft();
                net.pressLeft(x, y);
                ASSERT_EQ(net.resizing, expected.resizing) << x << "," << y << " of " << n;
                ASSERT_EQ(net.speedDragging, expected.speed) << x << "," << y << " of " << n;
                ASSERT_EQ(net.sliderDragging, expected.slider) << x << "," << y << " of " << n;
                if (expected.slider) {
                    ASSERT_EQ(net.sliderParam, expected.param) << x << "," << y << " of " << n;
                    ASSERT_EQ(net.sliderNode, expected.node) << x << "," << y << " of " << n;
                }
                // The links were all 0: the toggled pair is 1, and only it.
                if (expected.row >= 0) {
                    ASSERT_EQ(net.links[expected.row][expected.column], 1) << x << "," << y << " of " << n;
                    ASSERT_EQ(net.links[expected.column][expected.row], 1) << x << "," << y << " of " << n;
                    net.links[expected.row][expected.column] = net.links[expected.column][expected.row] = 0;
                }
                int linked = 0;
                for (const auto& row : net.links)
                    for (int value : row) linked += value;
                ASSERT_EQ(linked, 0) << x << "," << y << " of " << n;
            }
        }
    }
}

TEST(MatrixEditingRules, EveryRightPressSetsTheRowOfItsCell) {
    NetworkFixture fixture;
    Network& net = fixture.network;
    net.resize(5);
    for (int y = -2; y <= 260; ++y) {
        for (int x = -2; x <= 260; ++x) {
            std::fill(net.partner.begin(), net.partner.end(), -1);
            std::fill(net.pointer.begin(), net.pointer.end(), -1);
            std::fill(net.connected.begin(), net.connected.end(), true);
            net.pressRight(x, y);
            int row = -1, column = -1;
            const bool hit = literalCell(5, x, y, row, column) && row != column;
            for (int i = 0; i < 5; ++i) {
                const bool set = hit && i == row;
                ASSERT_EQ(net.partner[i], set ? column : -1) << x << "," << y;
                ASSERT_EQ(net.pointer[i], set ? column : -1) << x << "," << y;
                ASSERT_EQ(net.connected[i], !set) << x << "," << y;
            }
        }
    }
}

// While a gesture is held the value follows the pointer: the grid whose
// corner lies above and left of it (the pointer clamped to the canvas), one
// 64th of a parameter or one 16th of the speed per pixel, clamped.
TEST(MatrixEditingRules, DragsFollowThePointerByTheirScales) {
    NetworkFixture fixture;
    Network& net = fixture.network;
    for (int y = -40; y <= 800; y += 7) {
        for (int x = -40; x <= 1100; x += 5) {
            net.resize(4);
            net.releaseLeft();
            net.resizing = true;
            net.followMouse(x, y);
            const double cx = std::min(std::max(x, 0), 1023), cy = std::min(std::max(y, 0), 767);
            const int m = static_cast<int>(std::min(std::trunc((cx - 48) / 32), std::trunc((cy - 80) / 32)));
            ASSERT_EQ(net.nodeCount, m >= 2 ? m : 4) << x << "," << y;
        }
    }
    net.resize(3);
    for (int param = 0; param < 3; ++param) {
        for (int node = -1; node < 3; ++node) {
            for (int x = 150; x <= 400; ++x) {
                for (auto& values : net.params) std::fill(values.begin(), values.end(), 0.75);
                net.releaseLeft();
                net.sliderDragging = true;
                net.sliderParam = param;
                net.sliderNode = node;
                net.followMouse(x, 9999);
                const double v = std::min(std::max((x - (32 * 3 + 80 + 80 * param)) / 64.0, 0.0), 1.0);
                for (int p = 0; p < 3; ++p) {
                    for (int i = 0; i < 3; ++i) {
                        const bool edited = p == param && (node == -1 || node == i);
                        ASSERT_EQ(net.params[p][i], edited ? v : 0.75) << x << " " << param << " " << node;
                    }
                }
            }
        }
    }
    net.releaseLeft();
    net.speedDragging = true;
    for (int x = -20; x <= 200; ++x) {
        net.followMouse(x, -9999);
        ASSERT_EQ(net.speed, std::min(std::max((x - 16) / 16.0, 0.0), 8.0)) << x;
    }
}

}  // namespace
