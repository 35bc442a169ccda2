#pragma once

#include <CLI/CLI.hpp>

#include <string>
#include <vector>

#include "cli/svg_chart.h"
#include "model/studies/sweep.h"

// How plot and sweep draw their charts, as their options say.
struct ChartOptions {
    std::string kind = "lines";  // sweep's --plot-kind: lines or heatmap
    bool yFromZero = false;
    int width = 0;   // 0: as the chart needs
    int height = 0;  // 0: the default height
};

// --y-from-zero, --width and --height; on sweep each needs `plot`, its --plot.
void addChartOptions(CLI::App& command, ChartOptions& options, CLI::Option* plot = nullptr);

// sweep's --plot-kind, which needs --plot.
void addPlotKindOption(CLI::App& command, ChartOptions& options, CLI::Option* plot);

// A file name ending in .svg, or "-" for standard output where `standardOutput` is set.
CLI::Validator svgFileName(bool standardOutput);

// The line chart with the options' y axis and size.
LineChart styledChart(LineChart chart, const ChartOptions& options);

// Throws CliError (a bad command line) for a chart the options cannot draw
// of a sweep of `axes` parameters and `measure`: a heat map of other than
// two, of rates (a value per node, not per point), or one asked to start its
// y axis at 0.
void checkSweepChart(const ChartOptions& options, size_t axes, const std::string& measure);

// The chart of a sweep's points `first` on as the options ask: `lines`, or a
// heat map of `measure` (one value per point, not finite where the point has
// none, which the legend calls `missing`) over the grid's two parameters,
// titled and labelled as `lines`.
std::string sweepChartSvg(const ChartOptions& options, const LineChart& lines, const SweepGrid& grid, long long first,
                          const std::vector<double>& measure, const std::string& missing);
