#include "cli/chart_options.h"

#include <cctype>

#include "cli/cli_error.h"
#include "cli/heat_map.h"
#include "model/text/message_text.h"

namespace {

bool endsInSvg(const std::string& name) {
    if (name.size() < 4) return false;
    std::string end = name.substr(name.size() - 4);
    for (char& c : end) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return end == ".svg";
}

}  // namespace

void addChartOptions(CLI::App& command, ChartOptions& options, CLI::Option* plot) {
    CLI::Option* fromZero =
        command.add_flag("--y-from-zero", options.yFromZero,
                         "start the y axis of a line chart at 0 (by default it spans round values around the data)");
    CLI::Option* width =
        command
            .add_option("--width", options.width,
                        "the chart's width in pixels (" + std::to_string(MinChartWidth) + " to " +
                            std::to_string(MaxChartWidth) + "; by default as the legend needs)")
            ->check(CLI::Range(MinChartWidth, MaxChartWidth));
    CLI::Option* height = command
                              .add_option("--height", options.height,
                                          "the chart's height in pixels (" + std::to_string(MinChartHeight) + " to " +
                                              std::to_string(MaxChartHeight) + "; " +
                                              std::to_string(static_cast<int>(DefaultChartHeight)) + " by default)")
                              ->check(CLI::Range(MinChartHeight, MaxChartHeight));
    if (!plot) return;
    for (CLI::Option* option : {fromZero, width, height}) option->needs(plot);
}

void addPlotKindOption(CLI::App& command, ChartOptions& options, CLI::Option* plot) {
    command
        .add_option("--plot-kind", options.kind,
                    "lines: the measure against the first --vary, a curve per value of the second; heatmap: a "
                    "colour map over exactly two --vary, a cell per point")
        ->check(CLI::IsMember({"lines", "heatmap"}))
        ->capture_default_str()
        ->needs(plot);
}

CLI::Validator svgFileName(bool standardOutput) {
    return CLI::Validator(
        [standardOutput](std::string& name) {
            if (name.empty()) return std::string("the file name is empty");
            if ((standardOutput && name == "-") || endsInSvg(name)) return std::string();
            return quotedText(name) + " does not end in .svg: the chart is an SVG file";
        },
        "", standardOutput ? "FILE.svg or -" : "FILE.svg");
}

LineChart styledChart(LineChart chart, const ChartOptions& options) {
    chart.yFromZero = options.yFromZero;
    chart.width = options.width;
    if (options.height > 0) chart.height = options.height;
    return chart;
}

void checkSweepChart(const ChartOptions& options, size_t axes, const std::string& measure) {
    if (options.kind != "heatmap") return;
    if (axes != 2)
        throw CliError(ExitBadInput, "--plot-kind heatmap draws sweeps of exactly two --vary options, not " +
                                         std::to_string(axes));
    if (measure == "rates")
        throw CliError(ExitBadInput, "--plot-kind heatmap draws one value per point, and --measure rates has one "
                                     "per node: draw them as lines, or take a node's column from the table");
    if (options.yFromZero) throw CliError(ExitBadInput, "--y-from-zero is for line charts, not --plot-kind heatmap");
}

std::string sweepChartSvg(const ChartOptions& options, const LineChart& lines, const SweepGrid& grid, long long first,
                          const std::vector<double>& measure, const std::string& missing) {
    if (options.kind != "heatmap") return renderSvg(styledChart(lines, options));
    HeatMap map{lines.title, grid.axes()[0].name, grid.axes()[1].name, lines.yLabel, missing, {}, {}, measure};
    for (size_t k = 0; k < measure.size(); ++k) {
        const std::vector<double> values = grid.valuesAt(first + static_cast<long long>(k));
        map.x.push_back(values[0]);
        map.y.push_back(values[1]);
    }
    if (options.width > 0) map.width = options.width;
    if (options.height > 0) map.height = options.height;
    return renderHeatMapSvg(map);
}
