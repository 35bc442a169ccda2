#include <cmath>

#include "graphics/figure.h"

// The four corners run counter-clockwise on screen for any direction: start
// corner on the left of travel, then the right, then the end corners. A line
// of zero length has no direction; its corners are not numbers and it draws
// nothing.
Line::Line(double x1, double y1, double x2, double y2, double width)
    : x1(x1), y1(y1), x2(x2), y2(y2), halfWidth(width * 0.5) {
    const double len = std::sqrt((x2 - x1) * (x2 - x1) + (y2 - y1) * (y2 - y1));
    const double ux = (x2 - x1) / len;
    const double uy = (y2 - y1) / len;
    const double h = halfWidth;
    vertices.reserve(4);
    vertices.push_back(Point{x1 + uy * h, y1 - ux * h});
    vertices.push_back(Point{x1 - uy * h, y1 + ux * h});
    vertices.push_back(Point{x2 - uy * h, y2 + ux * h});
    vertices.push_back(Point{x2 + uy * h, y2 - ux * h});
    edges.reserve(4);
}
