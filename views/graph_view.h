#pragma once

#include <vector>

#include "graphics/point.h"

class Network;

// The graph panel: the network's nodes as numbered discs on a circle below
// the matrix panel, links as lines, pointer and partner arrowheads, progress
// markers while the run speed drives the process, and node dragging.
class GraphView {
public:
    explicit GraphView(Network& network);
    GraphView(const GraphView&) = delete;
    GraphView& operator=(const GraphView&) = delete;

    void layout();
    // Starts a drag and returns true when (x, y) lies on a node.
    bool pick(int x, int y);
    void release();
    void followMouse(int x, int y);
    void drawGraph(bool antialias);

    int layoutCount;
    Network& network;
    std::vector<Point> positions;
    bool dragging = false;
    int dragIndex = 0;

private:
    // Nodes that have both a model entry and a position; every index drawn is below it.
    int drawnCount() const;
    bool linkedNode(int i, int other) const;
    bool highlighted(int i) const;

    void drawLinks(bool antialias) const;
    void drawMarkers(int i, bool antialias) const;
    void drawProgressArrowhead(int i, double progress, bool antialias) const;
    void drawTransferRing(int i, double progress, bool antialias) const;
    void drawNode(int i, bool antialias) const;
};
