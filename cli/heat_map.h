#pragma once

#include <string>
#include <vector>

#include "cli/chart_axes.h"

// A measure over a grid of two parameters as a colour map: one cell per
// point, centred on the point's values and reaching halfway to the next
// value on each side (at the ends as far out as in), so that uneven values
// get cells of their own widths; cells coloured by viridis from the lowest
// value drawn to the highest, which a colour bar labelled `valueLabel`
// shows; grey hatched cells where a point has no value (not finite), named
// by `missingLabel` in a legend under the bar. The axes are labelled at the
// grid's own values where they are few, at round values otherwise.
struct HeatMap {
    std::string title;
    std::string xLabel;
    std::string yLabel;
    std::string valueLabel;
    std::string missingLabel;
    // One entry each per point.
    std::vector<double> x;
    std::vector<double> y;
    std::vector<double> value;
    double width = DefaultChartWidth;
    double height = DefaultChartHeight;
};

// The heat map as a standalone SVG document. Its cells are the rectangles of
// the group with id "cells", in the order of the points; the colour bar's
// 256 bands those of the group "colour-bar", lowest first.
std::string renderHeatMapSvg(const HeatMap& map);

// The edges of the cells of the distinct `values` (ascending): halfway
// between neighbours, and as far beyond the first and the last; a lone value
// has a cell one unit wide.
std::vector<double> cellEdges(const std::vector<double>& values);
