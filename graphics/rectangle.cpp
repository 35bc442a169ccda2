#include <algorithm>

#include "graphics/figure.h"

// Down the left side first, then along the bottom, up the right side and back
// along the top: counter-clockwise on screen.
Rectangle::Rectangle(double xa, double ya, double xb, double yb)
    : minX(std::min(xa, xb)), minY(std::min(ya, yb)), maxX(std::max(xa, xb)), maxY(std::max(ya, yb)) {
    vertices.reserve(4);
    vertices.push_back(Point{minX, minY});
    vertices.push_back(Point{minX, maxY});
    vertices.push_back(Point{maxX, maxY});
    vertices.push_back(Point{maxX, minY});
    edges.reserve(4);
}
