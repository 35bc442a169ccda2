#include "cli/svg_chart.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "cli/chart_text.h"
#include "model/text/message_text.h"

namespace {

// Colour-blind-safe colours, most distinct first.
const char* const Palette[] = {"#0072b2", "#d55e00", "#009e73", "#cc79a7", "#e69f00", "#56b4e9", "#000000", "#999999"};
constexpr int PaletteSize = sizeof Palette / sizeof Palette[0];

constexpr int MaxMarkedPoints = 60;
constexpr int WantedYTicks = 5;

// The legend starts this far right of the plot, its labels after the line
// that shows a series's colour, and ends this far from the picture's edge.
constexpr double LegendGap = 20;
constexpr double LegendSwatch = 34;
constexpr double LegendEnd = 16;
// Without a width asked for, the plot ends here and long legend labels widen
// the picture up to MaxWidth; beyond it they are shortened.
constexpr double DefaultPlotRight = 640;
constexpr double MaxWidth = 1400;
// With a width asked for, the legend takes at least the share of it that it
// takes of the default width, and at most this share.
constexpr double MaxLegendShare = 0.55;

// A curve, band or level nearer an end of the y axis than this share of the
// axis has the axis go on beyond that end by YPadding of it.
constexpr double YNearEnd = 0.015;
constexpr double YPadding = 0.03;

// The runs [begin, end) of consecutive points k < n for which drawn(k)
// holds: a value that is not a number is a gap in the curve.
template <typename Drawn>
std::vector<std::pair<size_t, size_t>> drawnRuns(size_t n, Drawn&& drawn) {
    std::vector<std::pair<size_t, size_t>> runs;
    for (size_t k = 0; k < n;) {
        if (!drawn(k)) {
            ++k;
            continue;
        }
        const size_t begin = k;
        while (k < n && drawn(k)) ++k;
        runs.emplace_back(begin, k);
    }
    return runs;
}

void addSeries(std::string& svg, const ChartSeries& series, const char* colour, const Scale& sx, const Scale& sy) {
    const size_t n = std::min(series.x.size(), series.y.size());
    const auto runs = drawnRuns(n, [&](size_t k) { return std::isfinite(series.y[k]); });
    for (const auto& [begin, end] : runs) {
        std::string points;
        for (size_t k = begin; k < end; ++k)
            points += (k > begin ? " " : "") + px(sx(series.x[k])) + "," + px(sy(series.y[k]));
        svg += "<polyline fill=\"none\" stroke=\"" + std::string(colour) +
               "\" stroke-width=\"2.2\" stroke-linejoin=\"round\" stroke-linecap=\"round\" points=\"" + points +
               "\"/>\n";
    }
    if (n > static_cast<size_t>(MaxMarkedPoints) || runs.empty()) return;
    svg += "<g fill=\"" + std::string(colour) + "\">\n";
    for (const auto& [begin, end] : runs)
        for (size_t k = begin; k < end; ++k)
            svg += "<circle cx=\"" + px(sx(series.x[k])) + "\" cy=\"" + px(sy(series.y[k])) + "\" r=\"3.2\"/>\n";
    svg += "</g>\n";
}

// The band between low and high, where it is wider than half a pixel.
void addBand(std::string& svg, const ChartSeries& series, const char* colour, const Scale& sx, const Scale& sy) {
    const size_t n = std::min({series.x.size(), series.low.size(), series.high.size()});
    bool visible = false;
    for (size_t k = 0; k < n; ++k) visible = visible || sy(series.low[k]) - sy(series.high[k]) >= 0.5;
    if (!visible) return;
    const auto runs =
        drawnRuns(n, [&](size_t k) { return std::isfinite(series.low[k]) && std::isfinite(series.high[k]); });
    for (const auto& [begin, end] : runs) {
        std::string points;
        for (size_t k = begin; k < end; ++k) points += px(sx(series.x[k])) + "," + px(sy(series.high[k])) + " ";
        for (size_t k = end; k-- > begin;)
            points += px(sx(series.x[k])) + "," + px(sy(series.low[k])) + (k > begin ? " " : "");
        svg += "<polygon fill=\"" + std::string(colour) + "\" fill-opacity=\"0.25\" stroke=\"none\" points=\"" +
               points + "\"/>\n";
    }
}

void addLevel(std::string& svg, double level, const char* colour, const PlotFrame& frame, const Scale& sy) {
    addLine(svg, frame.left, sy(level), frame.right, sy(level),
            "stroke=\"" + std::string(colour) + "\" stroke-width=\"1.6\" stroke-dasharray=\"7 5\"");
}

// A legend entry per series, as many as fit beside the plot; where some do
// not, the last line that fits says how many more curves there are.
void addLegend(std::string& svg, const LineChart& chart, const PlotFrame& frame) {
    const double swatchLeft = frame.right + LegendGap;
    const double textLeft = swatchLeft + LegendSwatch;
    const size_t fitting = static_cast<size_t>(std::max(0.0, std::floor((frame.bottom - frame.top - 10) / 24) + 1));
    const size_t shown = chart.series.size() <= fitting ? chart.series.size() : fitting - std::min<size_t>(fitting, 1);
    svg += "<g font-size=\"13\" fill=\"#222222\">\n";
    for (size_t k = 0; k < shown; ++k) {
        const double y = frame.top + 10 + 24 * static_cast<double>(k);
        const char* colour = Palette[k % PaletteSize];
        addLine(svg, swatchLeft, y, swatchLeft + 26, y,
                "stroke=\"" + std::string(colour) + "\" stroke-width=\"2.6\" stroke-linecap=\"round\"");
        addText(svg, textLeft, y + 4.5, "start",
                fittedText(oneLine(chart.series[k].label), frame.width - ChartMargin - textLeft, LegendFont,
                           Shorten::InMiddle));
    }
    if (shown < chart.series.size()) {
        const std::string more = "and " + std::to_string(chart.series.size() - shown) + " more curves";
        addText(svg, swatchLeft, frame.top + 10 + 24 * static_cast<double>(shown) + 4.5, "start",
                fittedText(more, frame.width - ChartMargin - swatchLeft, LegendFont, Shorten::AtEnd));
    }
    svg += "</g>\n";
}

// The room right of the plot that the legend would take with every label whole.
double legendRoomWanted(const LineChart& chart) {
    double longest = 0;
    for (const auto& series : chart.series) longest = std::max(longest, textWidth(oneLine(series.label), LegendFont));
    return LegendGap + LegendSwatch + longest + LegendEnd;
}

// The picture's frame: without a width asked for, the plot ends at 640 and
// the legend's labels set the width; with one, the legend takes the room its
// labels want within a share of the width.
PlotFrame lineChartFrame(const LineChart& chart, const Ticks& yTicks) {
    const double wanted = legendRoomWanted(chart);
    const double width =
        chart.width > 0 ? chart.width : std::clamp(DefaultPlotRight + wanted, DefaultChartWidth, MaxWidth);
    const double least = (DefaultChartWidth - DefaultPlotRight) / DefaultChartWidth * width;
    return plotFrame(width, chart.height, plotLeftFor(yTicks, width),
                     width - std::clamp(wanted, least, MaxLegendShare * width));
}

// Whether the chart draws anything finite; its least and greatest values if so.
bool valueRange(const LineChart& chart, double& least, double& most) {
    bool any = false;
    const auto take = [&](double value) {
        if (!std::isfinite(value)) return;
        least = any ? std::min(least, value) : value;
        most = any ? std::max(most, value) : value;
        any = true;
    };
    for (const auto& series : chart.series) {
        for (const auto* values : {&series.y, &series.low, &series.high})
            for (const double value : *values) take(value);
        take(series.level);
    }
    return any;
}

// Round ticks from at or below `least` to at or above `most`, about `wanted`
// steps of 1, 2 or 5 times a power of ten apart; the range's own ends where
// it is too narrow for such a step.
std::vector<double> roundTicksAround(double least, double most, int wanted) {
    const double rough = (most - least) / wanted;
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    double step = power;
    for (const double factor : {1.0, 2.0, 5.0, 10.0}) {
        step = factor * power;
        if (step >= rough) break;
    }
    if (!(step > 0) || !std::isfinite(step) || least + step == least || most - step == most) return {least, most};
    // A value a rounding error past a tick keeps that tick as the end.
    const double first = std::floor(least / step + 1e-9);
    const double last = std::ceil(most / step - 1e-9);
    std::vector<double> ticks;
    for (double k = first; k <= last; ++k) ticks.push_back(k * step);
    return ticks;
}

}  // namespace

ChartYAxis chartYAxis(const LineChart& chart) {
    double least = 0;
    double most = 1;
    if (!valueRange(chart, least, most)) {
        least = 0;
        most = 1;
    }
    // A flat curve is drawn over the range from 0 to its value.
    if (chart.yFromZero || !(most > least)) {
        least = std::min(least, 0.0);
        most = std::max(most, 0.0);
    }
    if (!(most > least)) most = least + 1;
    if (!std::isfinite(most - least)) return {niceTicks(least, most, WantedYTicks), least, most};
    ChartYAxis axis;
    axis.ticks = roundTicksAround(least, most, WantedYTicks);
    axis.low = axis.ticks.front();
    axis.high = axis.ticks.back();
    const double span = axis.high - axis.low;
    if (least - axis.low < YNearEnd * span) axis.low -= YPadding * span;
    if (axis.high - most < YNearEnd * span) axis.high += YPadding * span;
    return axis;
}

std::string renderSvg(const LineChart& chart) {
    double xLow = 0;
    double xHigh = 1;
    bool any = false;
    for (const auto& series : chart.series) {
        for (const double x : series.x) {
            xLow = any ? std::min(xLow, x) : x;
            xHigh = any ? std::max(xHigh, x) : x;
            any = true;
        }
    }
    if (xHigh <= xLow) xHigh = xLow + 1;
    const ChartYAxis yAxis = chartYAxis(chart);
    const Ticks yTicks = yTicksOf(yAxis.ticks);
    const PlotFrame frame = lineChartFrame(chart, yTicks);
    const Scale sx(xLow, xHigh, frame.left, frame.right);
    const Scale sy(yAxis.low, yAxis.high, frame.bottom, frame.top);

    std::string svg = svgOpening(frame.width, frame.height);
    addTitle(svg, chart.title, frame);
    addAxes(svg, frame, {chart.xLabel, chart.yLabel}, sx, xTicksOf(sx, xLow, xHigh), sy, yTicks, true);
    for (size_t k = 0; k < chart.series.size(); ++k) addBand(svg, chart.series[k], Palette[k % PaletteSize], sx, sy);
    for (size_t k = 0; k < chart.series.size(); ++k) {
        addSeries(svg, chart.series[k], Palette[k % PaletteSize], sx, sy);
        if (std::isfinite(chart.series[k].level))
            addLevel(svg, chart.series[k].level, Palette[k % PaletteSize], frame, sy);
    }
    addLegend(svg, chart, frame);
    svg += "</svg>\n";
    return svg;
}
