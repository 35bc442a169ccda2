#include "cli/svg_chart.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

// Colour-blind-safe colours, most distinct first.
const char* const Palette[] = {"#0072b2", "#d55e00", "#009e73", "#cc79a7", "#e69f00", "#56b4e9", "#000000", "#999999"};
constexpr int PaletteSize = sizeof Palette / sizeof Palette[0];

constexpr double Height = 520;
constexpr double PlotLeft = 78;
constexpr double PlotTop = 56;
constexpr double PlotRight = 640;
constexpr double PlotBottom = 452;
constexpr double LegendLeft = 660;
constexpr int MaxMarkedPoints = 60;

std::string escaped(const std::string& text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default: out += c;
        }
    }
    return out;
}

std::string format(const char* pattern, double value) {
    char text[64];
    std::snprintf(text, sizeof text, pattern, value);
    return text;
}

// A pixel coordinate: two decimals are far below what a screen resolves.
std::string px(double value) { return format("%.2f", value); }

// A tick label with no more decimals than the tick step needs.
std::string tickLabel(double value, double step) {
    const int decimals = step >= 1 ? 0 : static_cast<int>(std::ceil(-std::log10(step) - 1e-9));
    char pattern[16];
    std::snprintf(pattern, sizeof pattern, "%%.%df", decimals);
    return format(pattern, std::abs(value) < step * 1e-9 ? 0.0 : value);
}

class Scale {
public:
    Scale(double low, double high, double from, double to) : low_(low), high_(high), from_(from), to_(to) {
        if (high_ <= low_) high_ = low_ + 1;
    }
    double operator()(double value) const { return from_ + (value - low_) / (high_ - low_) * (to_ - from_); }

private:
    double low_, high_, from_, to_;
};

void addText(std::string& svg, double x, double y, const std::string& anchor, const std::string& text,
             const std::string& extra = "") {
    svg += "<text x=\"" + px(x) + "\" y=\"" + px(y) + "\" text-anchor=\"" + anchor + "\"" + extra + ">" +
           escaped(text) + "</text>\n";
}

void addLine(std::string& svg, double x1, double y1, double x2, double y2, const std::string& style) {
    svg += "<line x1=\"" + px(x1) + "\" y1=\"" + px(y1) + "\" x2=\"" + px(x2) + "\" y2=\"" + px(y2) + "\" " + style +
           "/>\n";
}

// 0 to 1 in fifths, or from 0 in round steps to `high`.
std::vector<double> yTicksUpTo(double high) {
    if (high == 1.0) return {0.0, 0.2, 0.4, 0.6, 0.8, 1.0};
    return niceTicks(0.0, high, 5);
}

// The top of a fitted y axis: the first round tick at or above every value.
double fittedTop(const LineChart& chart) {
    double most = 0.0;
    for (const auto& series : chart.series) {
        for (const auto* values : {&series.y, &series.high})
            for (const double value : *values)
                if (std::isfinite(value)) most = std::max(most, value);
        if (std::isfinite(series.level)) most = std::max(most, series.level);
    }
    if (!(most > 0.0)) return 1.0;
    const std::vector<double> ticks = niceTicks(0.0, most, 5);
    const double step = ticks.size() > 1 ? ticks[1] - ticks[0] : most;
    return ticks.back() >= most ? ticks.back() : ticks.back() + step;
}

void addAxes(std::string& svg, const LineChart& chart, const Scale& sx, const Scale& sy, double xLow, double xHigh,
             double yHigh) {
    const std::vector<double> xTicks = niceTicks(xLow, xHigh, 10);
    const double xStep = xTicks.size() > 1 ? xTicks[1] - xTicks[0] : 1;
    svg += "<g font-size=\"13\" fill=\"#333333\">\n";
    for (const double x : xTicks) {
        addLine(svg, sx(x), PlotTop, sx(x), PlotBottom, "stroke=\"#e6e6e6\"");
        addLine(svg, sx(x), PlotBottom, sx(x), PlotBottom + 6, "stroke=\"#333333\"");
        addText(svg, sx(x), PlotBottom + 22, "middle", tickLabel(x, xStep));
    }
    const std::vector<double> yTicks = yTicksUpTo(yHigh);
    const double yStep = yTicks.size() > 1 ? yTicks[1] - yTicks[0] : 1;
    for (const double y : yTicks) {
        addLine(svg, PlotLeft, sy(y), PlotRight, sy(y), "stroke=\"#e6e6e6\"");
        addLine(svg, PlotLeft - 6, sy(y), PlotLeft, sy(y), "stroke=\"#333333\"");
        addText(svg, PlotLeft - 10, sy(y) + 4.5, "end", tickLabel(y, yStep));
    }
    svg += "</g>\n";
    svg += "<rect x=\"" + px(PlotLeft) + "\" y=\"" + px(PlotTop) + "\" width=\"" + px(PlotRight - PlotLeft) +
           "\" height=\"" + px(PlotBottom - PlotTop) + "\" fill=\"none\" stroke=\"#333333\"/>\n";
    addText(svg, (PlotLeft + PlotRight) / 2, PlotBottom + 46, "middle", chart.xLabel, " font-size=\"15\"");
    const double middle = (PlotTop + PlotBottom) / 2;
    addText(svg, 22, middle, "middle", chart.yLabel,
            " font-size=\"15\" transform=\"rotate(-90 22 " + px(middle) + ")\"");
}

void addSeries(std::string& svg, const ChartSeries& series, const char* colour, const Scale& sx, const Scale& sy) {
    const size_t n = std::min(series.x.size(), series.y.size());
    std::string points;
    for (size_t k = 0; k < n; ++k) points += (k ? " " : "") + px(sx(series.x[k])) + "," + px(sy(series.y[k]));
    svg += "<polyline fill=\"none\" stroke=\"" + std::string(colour) +
           "\" stroke-width=\"2.2\" stroke-linejoin=\"round\" stroke-linecap=\"round\" points=\"" + points + "\"/>\n";
    if (n > static_cast<size_t>(MaxMarkedPoints)) return;
    svg += "<g fill=\"" + std::string(colour) + "\">\n";
    for (size_t k = 0; k < n; ++k)
        svg += "<circle cx=\"" + px(sx(series.x[k])) + "\" cy=\"" + px(sy(series.y[k])) + "\" r=\"3.2\"/>\n";
    svg += "</g>\n";
}

// The band between low and high, where it is wider than half a pixel.
void addBand(std::string& svg, const ChartSeries& series, const char* colour, const Scale& sx, const Scale& sy) {
    const size_t n = std::min({series.x.size(), series.low.size(), series.high.size()});
    bool visible = false;
    for (size_t k = 0; k < n; ++k) visible = visible || sy(series.low[k]) - sy(series.high[k]) >= 0.5;
    if (!visible) return;
    std::string points;
    for (size_t k = 0; k < n; ++k) points += px(sx(series.x[k])) + "," + px(sy(series.high[k])) + " ";
    for (size_t k = n; k-- > 0;) points += px(sx(series.x[k])) + "," + px(sy(series.low[k])) + (k ? " " : "");
    svg += "<polygon fill=\"" + std::string(colour) + "\" fill-opacity=\"0.25\" stroke=\"none\" points=\"" + points +
           "\"/>\n";
}

void addLevel(std::string& svg, double level, const char* colour, const Scale& sy) {
    addLine(svg, PlotLeft, sy(level), PlotRight, sy(level),
            "stroke=\"" + std::string(colour) + "\" stroke-width=\"1.6\" stroke-dasharray=\"7 5\"");
}

void addLegend(std::string& svg, const LineChart& chart) {
    svg += "<g font-size=\"13\" fill=\"#222222\">\n";
    for (size_t k = 0; k < chart.series.size(); ++k) {
        const double y = PlotTop + 10 + 24 * static_cast<double>(k);
        if (y > PlotBottom) break;
        const char* colour = Palette[k % PaletteSize];
        addLine(svg, LegendLeft, y, LegendLeft + 26, y,
                "stroke=\"" + std::string(colour) + "\" stroke-width=\"2.6\" stroke-linecap=\"round\"");
        addText(svg, LegendLeft + 34, y + 4.5, "start", chart.series[k].label);
    }
    svg += "</g>\n";
}

}  // namespace

std::vector<double> niceTicks(double low, double high, int wanted) {
    if (!(high > low)) return {low};
    const double rough = (high - low) / std::max(wanted, 1);
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    double step = power;
    for (const double factor : {1.0, 2.0, 5.0, 10.0}) {
        step = factor * power;
        if (step >= rough) break;
    }
    std::vector<double> ticks;
    const long long first = static_cast<long long>(std::ceil(low / step - 1e-9));
    for (long long k = first; k * step <= high + step * 1e-9; ++k) ticks.push_back(k * step);
    return ticks;
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
    const Scale sx(xLow, xHigh, PlotLeft, PlotRight);
    const double yHigh = chart.fitY ? fittedTop(chart) : 1.0;
    const Scale sy(0, yHigh, PlotBottom, PlotTop);

    // The legend's text sets the width: about 7.5 pixels a character at 13 pixels.
    size_t longestLabel = 0;
    for (const auto& series : chart.series) longestLabel = std::max(longestLabel, series.label.size());
    const double width = std::max(860.0, LegendLeft + 34 + 7.5 * static_cast<double>(longestLabel) + 16);

    std::string svg = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    svg += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + px(width) + "\" height=\"" + px(Height) +
           "\" viewBox=\"0 0 " + px(width) + " " + px(Height) + "\" font-family=\"DejaVu Sans, Helvetica, Arial, sans-serif\">\n";
    svg += "<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n";
    addText(svg, (PlotLeft + PlotRight) / 2, 32, "middle", chart.title, " font-size=\"18\" font-weight=\"bold\"");
    addAxes(svg, chart, sx, sy, xLow, xHigh, yHigh);
    for (size_t k = 0; k < chart.series.size(); ++k) addBand(svg, chart.series[k], Palette[k % PaletteSize], sx, sy);
    for (size_t k = 0; k < chart.series.size(); ++k) {
        addSeries(svg, chart.series[k], Palette[k % PaletteSize], sx, sy);
        if (std::isfinite(chart.series[k].level)) addLevel(svg, chart.series[k].level, Palette[k % PaletteSize], sy);
    }
    addLegend(svg, chart);
    svg += "</svg>\n";
    return svg;
}
