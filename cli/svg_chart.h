#pragma once

#include <cmath>
#include <string>
#include <vector>

#include "cli/chart_axes.h"

// One labelled curve of a line chart, with an optional band of the same
// colour from `low` to `high` at each x (drawn where it is wider than half a
// pixel) and an optional dashed level line across the plot.
struct ChartSeries {
    std::string label;
    std::vector<double> x;
    std::vector<double> y;
    std::vector<double> low = {};
    std::vector<double> high = {};
    double level = NAN;
};

// A line chart: axes with ticks and labels, one coloured curve per series
// and a legend beside the plot. The y axis runs between round values just
// around everything drawn, or from 0 when yFromZero is set; where a curve,
// band or level comes near either end, the axis goes a little beyond it, so
// that a line there (a limit of 1) is seen inside the frame, not on it.
// Every text stays inside the picture: long legend labels widen it up to a
// limit when no width is given, and titles and labels that still do not fit
// are shortened with an ellipsis.
struct LineChart {
    std::string title;
    std::string xLabel;
    std::string yLabel;
    std::vector<ChartSeries> series;
    bool yFromZero = false;
    // In pixels; a width of 0 is as wide as the legend needs, 860 to 1400.
    double width = 0;
    double height = DefaultChartHeight;
};

// The chart as a standalone SVG document.
std::string renderSvg(const LineChart& chart);

// The y axis of a line chart: its ticks and the range its scale spans.
struct ChartYAxis {
    std::vector<double> ticks;
    double low = 0;
    double high = 1;
};
ChartYAxis chartYAxis(const LineChart& chart);
