#pragma once

#include <cstdint>
#include <limits>
#include <vector>

#include "graphics/canvas.h"
#include "graphics/point.h"
#include "graphics/span_list.h"

// Short-lived vector shapes. A panel builds one as a local, calls draw once
// with the frame's Painter, a colour (0xAARRGGBB) and the anti-aliasing flag,
// and lets it go out of scope. Outlines run counter-clockwise on screen
// (y downward): the interior lies left of the direction of travel.

class Figure {
public:
    Figure() = default;
    Figure(const Figure&) = delete;
    Figure& operator=(const Figure&) = delete;

    // Recomputes `spans` from the shape's geometry.
    virtual void buildSpans() = 0;
    // Paints the shape; with antialias false every visited pixel gets weight 256.
    virtual void draw(Painter& painter, uint32_t colour, bool antialias) = 0;

    SpanList spans;

protected:
    // Shapes are destroyed as their concrete type, never through a Figure.
    ~Figure() = default;
};

// A filled closed outline P0 ... P(n-1), closing back to P0.
class Polygon : public Figure {
public:
    Polygon(const Point* points, int count);

    void buildSpans() override;
    void draw(Painter& painter, uint32_t colour, bool antialias) override;

    std::vector<Point> vertices;
    std::vector<Point> edges;

protected:
    Polygon() = default;

private:
    void addEdgeBoundaries(Point start, Point edge);

    // Rows outside [firstRow_, endRow_) are neither walked nor stored. On its
    // own buildSpans keeps every row a span can name; draw narrows the window
    // to the canvas, since no other row can be painted and the spans of one
    // row never depend on another.
    static constexpr int64_t AllRowsFirst = std::numeric_limits<int32_t>::min();
    static constexpr int64_t AllRowsEnd = int64_t{std::numeric_limits<int32_t>::max()} + 1;
    int64_t firstRow_ = AllRowsFirst;
    int64_t endRow_ = AllRowsEnd;
};

// A straight stroke with square ends flush with its endpoints.
class Line : public Polygon {
public:
    Line(double x1, double y1, double x2, double y2, double width);

    double x1, y1, x2, y2;
    double halfWidth;
};

// An axis-aligned filled rectangle from two opposite corners in any order.
class Rectangle : public Polygon {
public:
    Rectangle(double xa, double ya, double xb, double yb);

    double minX, minY, maxX, maxY;
};

// An annulus (innerRadius < d < outerRadius), or a disc when innerRadius is negative.
class Ring : public Figure {
public:
    Ring(double centerX, double centerY, double innerRadius, double outerRadius);

    void buildSpans() override;
    void draw(Painter& painter, uint32_t colour, bool antialias) override;

    double centerX, centerY;
    double innerRadius, outerRadius;
};
