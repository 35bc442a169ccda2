#pragma once

#include <cmath>
#include <string>
#include <vector>

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

// A line chart: axes with ticks and labels, the y axis from 0 to 1 (or from
// 0 to a round number above the data when fitY is set), one coloured curve
// per series and a legend beside the plot.
struct LineChart {
    std::string title;
    std::string xLabel;
    std::string yLabel;
    std::vector<ChartSeries> series;
    bool fitY = false;
};

// The chart as a standalone SVG document.
std::string renderSvg(const LineChart& chart);

// Tick values from `low` to `high` at a step of 1, 2 or 5 times a power of
// ten, about `wanted` of them; the ends of the range need not be ticks.
std::vector<double> niceTicks(double low, double high, int wanted);
