#include <climits>
#include <cmath>
#include <cstdio>

#include <gtest/gtest.h>

#include "graphics/figure.h"
#include "panel_frames.h"
#include "test_support.h"
#include "views/graph_view.h"

namespace {

constexpr uint32_t Background = 0xC0C0C0;

class GraphViewTest : public ::testing::Test {
protected:
    GraphViewTest() { fixture.painter.clear(Background); }

    void link(int a, int b) { net.links[a][b] = net.links[b][a] = 1; }
    uint32_t pixel(int x, int y) const { return *fixture.canvas.pixelAt(x, y); }
    void place(int node, double x, double y) { graph.positions[node] = {x, y}; }

    NetworkFixture fixture;
    Network& net = fixture.network;
    GraphView graph{net};
};

void expectNear(const Point& p, double x, double y) {
    EXPECT_NEAR(p.x, x, 1e-4);
    EXPECT_NEAR(p.y, y, 1e-4);
}

TEST_F(GraphViewTest, StartsWithFourNodesClockwiseOnTheCircle) {
    EXPECT_EQ(graph.layoutCount, 4);
    ASSERT_EQ(graph.positions.size(), 4u);
    expectNear(graph.positions[0], 640, 384);
    expectNear(graph.positions[1], 512, 512);
    expectNear(graph.positions[2], 384, 384);
    expectNear(graph.positions[3], 512, 256);
    EXPECT_FALSE(graph.dragging);
    EXPECT_EQ(graph.dragIndex, 0);
}

TEST_F(GraphViewTest, PickReachesTwentyThreePixelsButNotTwentyFour) {
    EXPECT_TRUE(graph.pick(640 + 23, 384));
    EXPECT_EQ(graph.dragIndex, 0);
    graph.release();
    EXPECT_FALSE(graph.dragging);
    EXPECT_FALSE(graph.pick(640 + 24, 384));
    EXPECT_FALSE(graph.pick(640, 384 - 24));
    // 16^2 + 17^2 = 545 is inside, 17^2 + 17^2 = 578 is not.
    EXPECT_TRUE(graph.pick(640 + 16, 384 + 17));
    graph.release();
    EXPECT_FALSE(graph.pick(640 + 17, 384 + 17));
    EXPECT_FALSE(graph.dragging);
    ASSERT_TRUE(graph.pick(384, 384));
    graph.release();
    EXPECT_FALSE(graph.pick(10, 10));
    EXPECT_EQ(graph.dragIndex, 2) << "a miss leaves the last index alone";
}

TEST_F(GraphViewTest, OffsetsAreTruncatedTowardZeroBeforeSquaring) {
    place(0, 600.1, 300.5);
    // (23.9, 3.5) lies 24.15 px away, but truncated to (23, 3) it is inside.
    EXPECT_TRUE(graph.pick(624, 304));
    graph.release();
    EXPECT_FALSE(graph.pick(576, 300));
    graph.release();
    // Left of and above the centre they move towards it too: (-23.5, -3.5)
    // counts as (-23, -3) and (-22.5, -9.5) as (-22, -9), both inside.
    place(0, 600.5, 300.5);
    EXPECT_TRUE(graph.pick(577, 297));
    graph.release();
    EXPECT_TRUE(graph.pick(578, 291));
    graph.release();
    // (23, 6.9) lies 24.01 px away; as (23, 6) it is inside.
    place(0, 600, 300.1);
    EXPECT_TRUE(graph.pick(623, 307));
}

TEST_F(GraphViewTest, LowerIndexWinsOnOverlap) {
    place(3, 520, 500);  // overlaps node 1 at (512, 512)
    EXPECT_TRUE(graph.pick(516, 506));
    EXPECT_EQ(graph.dragIndex, 1);
}

TEST_F(GraphViewTest, DraggedNodeJumpsToThePointerUntilRelease) {
    ASSERT_TRUE(graph.pick(384 + 10, 384 - 5));
    graph.followMouse(100, 200);
    expectNear(graph.positions[2], 100, 200);
    graph.release();
    graph.followMouse(300, 300);
    expectNear(graph.positions[2], 100, 200);
    expectNear(graph.positions[0], 640, 384);
}

TEST_F(GraphViewTest, DraggedNodeStaysOnTheCanvas) {
    ASSERT_TRUE(graph.pick(640, 384));
    graph.followMouse(-50, -7);
    expectNear(graph.positions[0], 0, 0);
    graph.followMouse(INT_MIN, 300);
    expectNear(graph.positions[0], 0, 300);
    graph.followMouse(INT_MAX, INT_MAX);
    expectNear(graph.positions[0], 1023, 767);
    graph.followMouse(1, 1);
    expectNear(graph.positions[0], 1, 1);
    // A window shrunk to nothing leaves no room but the origin, and so does a painter without canvas.
    fixture.canvas.resize(0, 0);
    graph.followMouse(500, -3);
    expectNear(graph.positions[0], 0, 0);
    Painter nowhere(nullptr);
    Network unpainted(nowhere, fixture.font, fixture.font);
    GraphView unshown(unpainted);
    ASSERT_TRUE(unshown.pick(640, 384));
    unshown.followMouse(500, 300);
    expectNear(unshown.positions[0], 0, 0);
}

// Positions stay far inside what int arithmetic can hold, even on a canvas
// wider than any screen: a drag stops at 2^24.
TEST(GraphViewWideCanvas, DraggedNodeStopsAtTwoToTheTwentyFour) {
    NetworkFixture fixture(1u << 25, 1);  // address space only: no pixel is touched
    GraphView graph(fixture.network);
    ASSERT_TRUE(graph.pick(640, 384));
    graph.followMouse(INT_MAX, INT_MAX);
    expectNear(graph.positions[0], 1 << 24, 0);
}

TEST_F(GraphViewTest, NodeCountChangeLaysEveryNodeOutAgain) {
    ASSERT_TRUE(graph.pick(640, 384));
    graph.followMouse(50, 50);
    graph.release();
    // Drag the matrix handle from 4 to 6 nodes, as the shell would.
    net.pressLeft(176, 208);
    net.followMouse(240, 272);
    graph.followMouse(240, 272);
    ASSERT_EQ(graph.layoutCount, 6);
    ASSERT_EQ(graph.positions.size(), 6u);
    expectNear(graph.positions[0], 640, 448);  // the centre moved down to 256 + 32 * 6
    expectNear(graph.positions[3], 384, 448);
    EXPECT_FALSE(graph.dragging);
}

TEST_F(GraphViewTest, DragOfANodeThatNoLongerExistsEnds) {
    graph.dragging = true;
    graph.dragIndex = 3;
    net.resize(3);
    graph.followMouse(10, 10);
    EXPECT_FALSE(graph.dragging);
    EXPECT_EQ(graph.positions.size(), 3u);
    EXPECT_FALSE(graph.pick(10, 10));
    // Nor is anything written for an index far past the nodes.
    graph.dragging = true;
    graph.dragIndex = INT_MAX;
    graph.followMouse(10, 10);
    EXPECT_FALSE(graph.dragging);
}

// Until followMouse lays the panel out for a new node count, only the nodes
// that have a position are drawn and picked.
TEST_F(GraphViewTest, NodesWithoutAPositionAreNeitherDrawnNorPicked) {
    net.resize(6);
    link(0, 4);
    net.pointer[0] = 4;
    net.partner[0] = 5;
    graph.drawGraph(true);
    EXPECT_FALSE(graph.pick(640, 448));
    EXPECT_TRUE(graph.pick(640, 384));
    graph.release();
    // Node 0's disc and its ring of arrowheads 28 to 44 px out show nothing but the disc.
    for (int y = 384 - 46; y <= 384 + 46; ++y) {
        for (int x = 640 - 46; x <= 640 + 46; ++x) {
            const int dx = x - 640, dy = y - 384;
            if (dx * dx + dy * dy > 26 * 26) {
                ASSERT_EQ(pixel(x, y), Background) << x << "," << y;
            }
        }
    }
    graph.positions.clear();
    graph.positions.shrink_to_fit();
    fixture.painter.clear(Background);
    graph.drawGraph(true);
    EXPECT_FALSE(graph.pick(640, 384));
    EXPECT_EQ(pixel(640, 384), Background);
}

// Drawing. The fonts have no face, so only shapes reach the canvas.

TEST_F(GraphViewTest, LinkLineRunsBetweenNodeCentres) {
    link(0, 2);
    graph.drawGraph(true);
    // Node 0 (640, 384) to node 2 (384, 384), 4 px wide: rows 382..385.
    EXPECT_EQ(pixel(512, 383), blendOver(Background, 0x80000000));
    EXPECT_EQ(pixel(512, 384), blendOver(Background, 0x80000000));
    EXPECT_EQ(pixel(512, 380), Background);
    EXPECT_EQ(pixel(512, 387), Background);
    EXPECT_EQ(pixel(900, 100), Background);
}

TEST_F(GraphViewTest, PlainNodeHasAGreyOutlineAndFill) {
    place(0, 300.0, 600.0);
    graph.drawGraph(true);
    EXPECT_EQ(pixel(300, 600), 0xC0C0C0u);  // the fill is the background grey
    EXPECT_EQ(pixel(300 + 22, 600), blendOver(Background, 0x80404040));
    EXPECT_EQ(pixel(300, 600 - 22), blendOver(Background, 0x80404040));
    EXPECT_EQ(pixel(300 + 26, 600), Background);
}

TEST_F(GraphViewTest, NodeThatSucceededTowardsALinkedPointerIsHighlighted) {
    link(0, 1);
    net.pointer[0] = 1;
    net.connected[0] = true;
    graph.drawGraph(true);
    EXPECT_EQ(pixel(640, 384), 0xC0E0C0u);
    EXPECT_EQ(pixel(640 + 22, 384), blendOver(Background, 0x80408040));
    // Without the link there is no highlight.
    net.links[0][1] = net.links[1][0] = 0;
    graph.drawGraph(true);
    EXPECT_EQ(pixel(640, 384), 0xC0C0C0u);
    EXPECT_EQ(pixel(640 + 22, 384), blendOver(blendOver(Background, 0x80408040), 0x80404040));
}

TEST_F(GraphViewTest, ArrowheadsPointAlongLinksInTheirStateColours) {
    place(0, 400, 600);
    place(1, 700, 600);
    place(2, 100, 600);
    place(3, 400, 100);
    link(0, 1);
    link(0, 2);
    net.pointer[0] = 1;
    net.partner[0] = 2;
    graph.drawGraph(true);
    const uint32_t onLink = blendOver(Background, 0x80000000);
    // 34 px out from node 0: inside each arrowhead, on the link line.
    EXPECT_EQ(pixel(434, 600), blendOver(onLink, 0xC0800000));
    EXPECT_EQ(pixel(365, 600), blendOver(onLink, 0x60000080));
    // The arrowheads end 44 px out.
    EXPECT_EQ(pixel(446, 600), onLink);

    fixture.painter.clear(Background);
    net.connected[0] = true;
    graph.drawGraph(true);
    EXPECT_EQ(pixel(434, 600), blendOver(onLink, 0xC0808000));
    EXPECT_EQ(pixel(365, 600), blendOver(onLink, 0xC0008000));
}

TEST_F(GraphViewTest, NoArrowheadTowardsAnUnlinkedOrInvalidNode) {
    place(0, 400, 600);
    place(1, 700, 600);
    net.pointer[0] = 1;
    net.partner[0] = 1;
    net.pointer[2] = 9;
    net.partner[3] = -7;
    graph.drawGraph(true);
    EXPECT_EQ(pixel(434, 600), Background);
}

TEST_F(GraphViewTest, ArrowheadsOfTheSameNodeStackPartnerLast) {
    place(0, 400, 600);
    place(1, 700, 600);
    link(0, 1);
    net.pointer[0] = 1;
    net.partner[0] = 1;
    graph.drawGraph(true);
    EXPECT_EQ(pixel(434, 600), blendOver(blendOver(blendOver(Background, 0x80000000), 0xC0800000), 0x60000080));
}

class GraphProgress : public GraphViewTest {
protected:
    GraphProgress() {
        place(0, 200, 600);
        place(1, 800, 600);
        place(2, 200, 300);
        place(3, 900, 100);
        link(0, 1);
        link(0, 2);
        net.pointer[0] = 1;
        net.partner[0] = 2;
    }
};

TEST_F(GraphProgress, NothingMovesWhileTheCarryIsZero) {
    net.pointer[1] = 0;
    graph.drawGraph(true);
    EXPECT_EQ(pixel(250, 600), blendOver(Background, 0x80000000));  // 50 px out
    EXPECT_EQ(pixel(500, 603), Background);
    // Nor at the threshold itself.
    net.stepCarry = 0.0001;
    fixture.painter.clear(Background);
    graph.drawGraph(true);
    EXPECT_EQ(pixel(250, 600), blendOver(Background, 0x80000000));
}

TEST_F(GraphProgress, GreyArrowheadLeadsThePointerOfAWaitingNode) {
    net.stepCarry = 0.5;
    graph.drawGraph(true);
    EXPECT_EQ(pixel(250, 600), blendOver(blendOver(Background, 0x80000000), 0xA0808080));
}

TEST_F(GraphProgress, GreyArrowheadTurnsFromPartnerToPointer) {
    net.connected[0] = true;
    net.stepCarry = 0.5;
    // Partner straight up, pointer to the right: halfway points up-right.
    graph.drawGraph(true);
    EXPECT_EQ(pixel(236, 563), blendOver(Background, 0xA0808080));
    EXPECT_EQ(pixel(163, 563), Background);
}

TEST_F(GraphProgress, GreyArrowheadTurnsClockwiseTheLongWayWhenThePartnerIsBelow) {
    place(2, 200, 900);
    net.connected[0] = true;
    net.stepCarry = 0.5;
    // From straight down (pi/2) to the pointer lifted to 2 pi: halfway is 5 pi / 4, up-left.
    graph.drawGraph(true);
    EXPECT_EQ(pixel(163, 563), blendOver(Background, 0xA0808080));
    EXPECT_EQ(pixel(236, 636), Background);
}

TEST_F(GraphProgress, CarryAboveOneCountsAsOne) {
    net.stepCarry = 3.0;
    net.pointer[1] = 0;
    graph.drawGraph(true);
    // Both target each other: the ring at the midpoint has radius 13 and alpha 192.
    EXPECT_EQ(pixel(500, 609), blendOver(Background, 0xC0800000));
}

TEST_F(GraphProgress, RingGrowsAtTheMidpointWhenTheNodesTargetEachOther) {
    net.stepCarry = 0.25;
    net.pointer[1] = 0;
    graph.drawGraph(true);
    // Radius 4, inner 2, alpha 48; the line covers rows 598..601 only.
    EXPECT_EQ(pixel(500, 603), blendOver(Background, 0x30800000));
    EXPECT_EQ(pixel(500, 606), Background);
}

TEST_F(GraphProgress, IncomingRingShrinksIntoTheWaitingNode) {
    net.stepCarry = 0.25;
    net.partner[1] = 0;
    graph.drawGraph(true);
    // Centre 3/4 of the way from node 0 to the midpoint (425, 600); radius 9, inner 4.5, alpha 144.
    EXPECT_EQ(pixel(425, 606), blendOver(Background, 0x90800000));
    EXPECT_EQ(pixel(425, 611), Background);
    EXPECT_EQ(pixel(500, 603), Background);
}

TEST_F(GraphProgress, NoMarkersWithoutALinkedPartner) {
    net.stepCarry = 0.5;
    net.partner[0] = 3;
    net.pointer[1] = 0;
    graph.drawGraph(true);
    EXPECT_EQ(pixel(250, 600), blendOver(Background, 0x80000000));
    EXPECT_EQ(pixel(500, 605), Background);
}

TEST_F(GraphViewTest, AntialiasingSwitchesTheEdgesOfDiscs) {
    place(0, 300, 600);
    graph.drawGraph(true);
    const uint32_t smooth = pixel(300 + 23, 600 + 2);
    fixture.painter.clear(Background);
    graph.drawGraph(false);
    EXPECT_EQ(pixel(300 + 23, 600 + 2), blendOver(Background, 0x80404040));
    EXPECT_NE(smooth, pixel(300 + 23, 600 + 2));
}

}  // namespace

namespace {

// The graph panel's drawing list as the rules give it: links, then per node
// its pointer and partner arrowheads and, while the carry builds up, its
// progress arrowhead and transfer ring, then the nodes one by one.
class LiteralGraphPanel {
public:
    LiteralGraphPanel(const Network& net, const std::vector<Point>& at, Painter& painter, const Font& large,
                      bool antialias)
        : net(net), at(at), painter(painter), large(large), antialias(antialias), n(net.nodeCount) {}

    void draw() {
        for (int d = 1; d < n; ++d) {
            for (int i = 0; i < d; ++i) {
                if (net.links[d][i] != 0) Line(at[d].x, at[d].y, at[i].x, at[i].y, 4).draw(painter, 0x80000000, antialias);
            }
        }
        for (int i = 0; i < n; ++i) {
            const int p = net.pointer[i];
            const int q = net.partner[i];
            const bool lit = net.connected[i];
            if (linkedTo(i, p)) arrowhead(i, towards(i, p), 28, lit ? 0xC0808000 : 0xC0800000);
            if (linkedTo(i, q)) arrowhead(i, towards(i, q), 28, lit ? 0xC0008000 : 0x60000080);
            double f = net.stepCarry;
            if (!(f > 0.0001) || !linkedTo(i, p) || !linkedTo(i, q)) continue;
            f = std::min(std::max(f, 0.0), 1.0);
            double theta = towards(i, p);
            if (lit) {
                double thetaP = towards(i, p);
                const double thetaQ = towards(i, q);
                if (thetaQ > thetaP) thetaP += 6.28318530718;
                theta = thetaP * f + thetaQ * (1 - f);
            }
            arrowhead(i, theta, 44, 0xA0808080);
            const Point m{(at[i].x + at[p].x) / 2, (at[i].y + at[p].y) / 2};
            if (net.partner[p] == i && !lit) {
                const double r = 12 - 12 * f;
                const uint32_t alpha = 192 - static_cast<uint32_t>(192 * f);
                Ring(m.x * (1 - f) + at[i].x * f, m.y * (1 - f) + at[i].y * f, r / 2, r)
                    .draw(painter, alpha << 24 | 0x800000, antialias);
            } else if (net.pointer[p] == i) {
                const double r = 12 * f + 1;
                const uint32_t alpha = static_cast<uint32_t>(192 * f);
                Ring(m.x, m.y, r / 2, r).draw(painter, alpha << 24 | 0x800000, antialias);
            }
        }
        for (int i = 0; i < n; ++i) {
            const bool lit = net.connected[i] && linkedTo(i, net.pointer[i]);
            Ring(at[i].x, at[i].y, 20, 24).draw(painter, lit ? 0x80408040 : 0x80404040, antialias);
            Ring(at[i].x, at[i].y, -255, 20).draw(painter, lit ? 0xFFC0E0C0 : 0xFFC0C0C0, antialias);
            char label[32];
            std::snprintf(label, sizeof label, "%d", i);
            large.draw(label, lit ? 0xC0008000 : 0xC0000000, static_cast<int>(at[i].x), static_cast<int>(at[i].y), 0);
        }
    }

private:
    bool linkedTo(int i, int other) const { return other >= 0 && other < n && net.links[i][other] != 0; }
    double towards(int i, int other) const { return std::atan2(at[other].y - at[i].y, at[other].x - at[i].x); }

    // Tip `base` + 16 px out along the direction, the base corners 10 px to either side.
    void arrowhead(int i, double theta, double base, uint32_t colour) {
        const double ux = std::cos(theta), uy = std::sin(theta);
        const double nx = std::sin(theta), ny = -std::cos(theta);
        const Point corners[3] = {{at[i].x + (base + 16) * ux, at[i].y + (base + 16) * uy},
                                  {at[i].x + base * ux + 10 * nx, at[i].y + base * uy + 10 * ny},
                                  {at[i].x + base * ux - 10 * nx, at[i].y + base * uy - 10 * ny}};
        Polygon(corners, 3).draw(painter, colour, antialias);
    }

    const Network& net;
    const std::vector<Point>& at;
    Painter& painter;
    const Font& large;
    const bool antialias;
    const int n;
};

TEST(GraphPanelFrame, EveryFrameIsTheLiteralDrawingList) {
    PanelFrames frames;
    ASSERT_TRUE(frames.large.isOpen()) << VORLASK_TEST_FONT;
    Network& net = frames.network;
    GraphView graph(net);
    std::mt19937 random(20240918u);
    for (int trial = 0; trial < 200; ++trial) {
        randomPanelState(net, random);
        graph.followMouse(0, 0);
        // Some nodes dragged off the circle, some onto the same spot.
        for (Point& p : graph.positions) {
            if (random() % 3 == 0) p = {static_cast<double>(random() % 1024), static_cast<double>(random() % 768)};
        }
        if (random() % 4 == 0) graph.positions.back() = graph.positions.front();
        const bool antialias = trial % 5 != 0;
        frames.clear();
        graph.drawGraph(antialias);
        LiteralGraphPanel(net, graph.positions, frames.expectedPainter, frames.expectedLarge, antialias).draw();
        ASSERT_TRUE(frames.same()) << "trial " << trial << ", " << net.nodeCount << " nodes";
    }
}

}  // namespace
