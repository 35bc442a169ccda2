#include "cli/heat_map.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "cli/chart_text.h"
#include "cli/viridis.h"
#include "model/text/message_text.h"

namespace {

constexpr int WantedYTicks = 5;
constexpr int WantedBarTicks = 8;

// The colour bar stands this far right of the plot, this wide; its tick
// labels start after a tick mark and a gap, and its label stands up beside
// them, taking the room from its baseline's left to RotatedLabelRight.
constexpr double BarGap = 24;
constexpr double BarWidth = 18;
constexpr double BarTickLength = 5;
constexpr double BarLabelGap = 4;
constexpr double RotatedLabelAscent = 14;
constexpr double RotatedLabelRight = 4;
// A bar tick label wider than this is written in the exponent form.
constexpr double BarTickRoom = 80;
// The legend of cells without a value: a swatch this high, under the bar.
constexpr double MissingSwatch = 14;
constexpr double MissingRoom = 40;
// The colour bar and its labels take at most this share of the width.
constexpr double MaxSideShare = 0.45;

const char* const MissingFill = "url(#no-value)";
const char* const MissingPattern =
    "<defs><pattern id=\"no-value\" width=\"6\" height=\"6\" patternUnits=\"userSpaceOnUse\" "
    "patternTransform=\"rotate(45)\"><rect width=\"6\" height=\"6\" fill=\"#d9d9d9\"/>"
    "<line x1=\"0\" y1=\"0\" x2=\"0\" y2=\"6\" stroke=\"#8c8c8c\" stroke-width=\"2\"/></pattern></defs>\n";

std::vector<double> distinctAscending(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    values.erase(std::unique(values.begin(), values.end()), values.end());
    return values;
}

// The range of the finite values, or false where there is none.
bool valueRange(const std::vector<double>& values, double& least, double& most) {
    bool any = false;
    for (const double value : values) {
        if (!std::isfinite(value)) continue;
        least = any ? std::min(least, value) : value;
        most = any ? std::max(most, value) : value;
        any = true;
    }
    return any;
}

// The colour bar's scale from the lowest value to the highest; a range of
// one value puts it in the bar's middle.
struct ValueScale {
    double least = 0;
    double most = 0;
    double position(double value) const { return most > least ? (value - least) / (most - least) : 0.5; }
};

struct ColourBar {
    double left = 0;
    double top = 0;
    double bottom = 0;
    Ticks ticks;
    double labelsLeft() const { return left + BarWidth + BarTickLength + BarLabelGap; }
};

// Round ticks within the range; a range of one value has that value alone,
// in six significant digits.
Ticks barTicks(const ValueScale& scale) {
    Ticks ticks;
    if (!(scale.most > scale.least)) {
        char label[32];
        std::snprintf(label, sizeof label, "%.6g", scale.least);
        return {{scale.least}, {label}};
    }
    ticks.values = niceTicks(scale.least, scale.most, WantedBarTicks);
    const double step = ticks.values.size() > 1 ? ticks.values[1] - ticks.values[0] : scale.most - scale.least;
    const double largest = std::max(std::fabs(scale.least), std::fabs(scale.most));
    for (const double value : ticks.values) ticks.labels.push_back(tickLabelWithin(value, step, largest, BarTickRoom));
    return ticks;
}

double widestLabel(const Ticks& ticks) {
    double widest = 0;
    for (const auto& label : ticks.labels) widest = std::max(widest, textWidth(label, TickFont));
    return widest;
}

// The room right of the plot: the bar, its tick labels and its label, or the
// legend of cells without a value where that is wider.
double sideRoom(const HeatMap& map, const Ticks& ticks, bool missing) {
    const double bar = BarGap + BarWidth + BarTickLength + BarLabelGap + widestLabel(ticks) + BarLabelGap +
                       RotatedLabelAscent + RotatedLabelRight + ChartMargin;
    // A pixel to spare, which rounding cannot take from the text's room.
    const double legend = missing ? BarGap + BarWidth + BarLabelGap + textWidth(oneLine(map.missingLabel), LegendFont) +
                                        ChartMargin + 1
                                  : 0;
    return std::min(std::max(bar, legend), MaxSideShare * map.width);
}

// The ticks of an axis of cells: at the grid's values where they are few
// and fit, else round ones.
Ticks xAxisTicks(const std::vector<double>& values, const Scale& sx, double low, double high) {
    Ticks ticks = valueTicks(values, sx, AxisDirection::Horizontal);
    return ticks.values.empty() ? xTicksOf(sx, low, high) : ticks;
}

Ticks yAxisTicks(const std::vector<double>& values, const Scale& sy, double low, double high) {
    Ticks ticks = valueTicks(values, sy, AxisDirection::Vertical);
    return ticks.values.empty() ? yTicksOf(niceTicks(low, high, WantedYTicks)) : ticks;
}

void addRect(std::string& svg, double left, double top, double right, double bottom, const std::string& fill) {
    svg += "<rect x=\"" + px(left) + "\" y=\"" + px(top) + "\" width=\"" + px(right - left) + "\" height=\"" +
           px(bottom - top) + "\" fill=\"" + fill + "\"/>\n";
}

// The cell's colour: the bar's band at the value's position.
std::string cellFill(double value, const ValueScale& scale) {
    if (!std::isfinite(value)) return MissingFill;
    return viridisColour(viridisIndex(scale.position(value)));
}

void addCells(std::string& svg, const HeatMap& map, const ValueScale& scale, const std::vector<double>& xs,
              const std::vector<double>& ys, const Scale& sx, const Scale& sy) {
    const std::vector<double> xEdges = cellEdges(xs);
    const std::vector<double> yEdges = cellEdges(ys);
    svg += "<g id=\"cells\" shape-rendering=\"crispEdges\">\n";
    const size_t points = std::min({map.x.size(), map.y.size(), map.value.size()});
    for (size_t k = 0; k < points; ++k) {
        const size_t i = static_cast<size_t>(std::lower_bound(xs.begin(), xs.end(), map.x[k]) - xs.begin());
        const size_t j = static_cast<size_t>(std::lower_bound(ys.begin(), ys.end(), map.y[k]) - ys.begin());
        addRect(svg, sx(xEdges[i]), sy(yEdges[j + 1]), sx(xEdges[i + 1]), sy(yEdges[j]), cellFill(map.value[k], scale));
    }
    svg += "</g>\n";
}

void addColourBar(std::string& svg, const HeatMap& map, const ValueScale& scale, const ColourBar& bar) {
    const double height = bar.bottom - bar.top;
    svg += "<g id=\"colour-bar\" shape-rendering=\"crispEdges\">\n";
    for (int k = 0; k < ViridisEntries; ++k)
        addRect(svg, bar.left, bar.bottom - height * (k + 1) / ViridisEntries, bar.left + BarWidth,
                bar.bottom - height * k / ViridisEntries, viridisColour(k));
    svg += "</g>\n";
    svg += "<rect x=\"" + px(bar.left) + "\" y=\"" + px(bar.top) + "\" width=\"" + px(BarWidth) + "\" height=\"" +
           px(height) + "\" fill=\"none\" stroke=\"#333333\"/>\n";
    svg += "<g font-size=\"13\" fill=\"#333333\">\n";
    const double right = bar.left + BarWidth;
    for (size_t k = 0; k < bar.ticks.values.size(); ++k) {
        const double y = bar.bottom - height * scale.position(bar.ticks.values[k]);
        addLine(svg, right, y, right + BarTickLength, y, "stroke=\"#333333\"");
        addText(svg, bar.labelsLeft(), y + 4.5, "start", bar.ticks.labels[k]);
    }
    svg += "</g>\n";
    const double x = bar.labelsLeft() + widestLabel(bar.ticks) + BarLabelGap + RotatedLabelAscent;
    const double middle = (bar.top + bar.bottom) / 2;
    addText(svg, x, middle, "middle", fittedText(oneLine(map.valueLabel), height, AxisLabelFont, Shorten::AtEnd),
            " font-size=\"15\" transform=\"rotate(-90 " + px(x) + " " + px(middle) + ")\"");
}

void addMissingLegend(std::string& svg, const HeatMap& map, double left, double bottom) {
    const double top = bottom - MissingSwatch;
    svg += "<rect x=\"" + px(left) + "\" y=\"" + px(top) + "\" width=\"" + px(BarWidth) + "\" height=\"" +
           px(MissingSwatch) + "\" fill=\"" + MissingFill + "\" stroke=\"#333333\"/>\n";
    const double textLeft = left + BarWidth + BarLabelGap;
    const double room = map.width - ChartMargin - textLeft;
    addText(svg, textLeft, bottom - 2, "start", fittedText(oneLine(map.missingLabel), room, LegendFont, Shorten::AtEnd),
            " font-size=\"13\" fill=\"#222222\"");
}

}  // namespace

std::vector<double> cellEdges(const std::vector<double>& values) {
    if (values.empty()) return {};
    if (values.size() == 1) return {values[0] - 0.5, values[0] + 0.5};
    const size_t n = values.size();
    std::vector<double> edges;
    edges.push_back(values[0] - (values[1] - values[0]) / 2);
    for (size_t k = 1; k < n; ++k) edges.push_back(values[k - 1] + (values[k] - values[k - 1]) / 2);
    edges.push_back(values[n - 1] + (values[n - 1] - values[n - 2]) / 2);
    return edges;
}

std::string renderHeatMapSvg(const HeatMap& map) {
    ValueScale scale;
    const bool anyValue = valueRange(map.value, scale.least, scale.most);
    const bool missing = std::any_of(map.value.begin(), map.value.end(), [](double v) { return !std::isfinite(v); });
    const Ticks barTicksShown = anyValue ? barTicks(scale) : Ticks{};

    const std::vector<double> xs = distinctAscending(map.x);
    const std::vector<double> ys = distinctAscending(map.y);
    const std::vector<double> xEdges = cellEdges(xs);
    const std::vector<double> yEdges = cellEdges(ys);
    const double xLow = xEdges.empty() ? 0 : xEdges.front();
    const double xHigh = xEdges.empty() ? 1 : xEdges.back();
    const double yLow = yEdges.empty() ? 0 : yEdges.front();
    const double yHigh = yEdges.empty() ? 1 : yEdges.back();

    // The y ticks' labels set where the plot starts.
    PlotFrame frame =
        plotFrame(map.width, map.height, PlotFrame().left, map.width - sideRoom(map, barTicksShown, missing));
    const Scale sy(yLow, yHigh, frame.bottom, frame.top);
    const Ticks yTicks = yAxisTicks(ys, sy, yLow, yHigh);
    frame.left = plotLeftFor(yTicks, map.width);
    const Scale sx(xLow, xHigh, frame.left, frame.right);

    std::string svg = svgOpening(map.width, map.height);
    if (missing) svg += MissingPattern;
    addTitle(svg, map.title, frame);
    addCells(svg, map, scale, xs, ys, sx, sy);
    addAxes(svg, frame, {map.xLabel, map.yLabel}, sx, xAxisTicks(xs, sx, xLow, xHigh), sy, yTicks, false);
    ColourBar bar;
    bar.left = frame.right + BarGap;
    bar.top = frame.top;
    bar.bottom = frame.bottom - (missing ? MissingRoom : 0);
    bar.ticks = barTicksShown;
    if (anyValue) addColourBar(svg, map, scale, bar);
    if (missing) addMissingLegend(svg, map, bar.left, frame.bottom);
    svg += "</svg>\n";
    return svg;
}
