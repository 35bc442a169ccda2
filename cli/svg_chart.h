#pragma once

#include <string>
#include <vector>

// One labelled curve of a line chart.
struct ChartSeries {
    std::string label;
    std::vector<double> x;
    std::vector<double> y;
};

// A line chart: axes with ticks and labels, the y axis from 0 to 1, one
// coloured curve per series and a legend beside the plot. Every text stays
// inside the picture: long legend labels widen it up to a limit, and titles
// and labels that still do not fit are shortened with an ellipsis.
struct LineChart {
    std::string title;
    std::string xLabel;
    std::string yLabel;
    std::vector<ChartSeries> series;
};

// The chart as a standalone SVG document.
std::string renderSvg(const LineChart& chart);

// Tick values from `low` to `high` at a step of 1, 2 or 5 times a power of
// ten, about `wanted` of them and never more than wanted + 3; the ends of the
// range need not be ticks, except in a range too narrow for any step.
std::vector<double> niceTicks(double low, double high, int wanted);
