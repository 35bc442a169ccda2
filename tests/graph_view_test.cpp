#include <climits>

#include <gtest/gtest.h>

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
