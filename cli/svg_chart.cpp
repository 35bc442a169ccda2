#include "cli/svg_chart.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

#include "cli/chart_text.h"
#include "model/text/message_text.h"

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
constexpr double LegendTextLeft = LegendLeft + 34;
constexpr int MaxMarkedPoints = 60;
constexpr int WantedTicks = 10;

// Text keeps this far from the picture's edges; long legend labels widen the
// picture up to MaxWidth and are shortened beyond it.
constexpr double Margin = 6;
constexpr double MinWidth = 860;
constexpr double MaxWidth = 1400;
// Neighbouring tick labels keep at least this far apart.
constexpr double TickLabelGap = 2;

constexpr ChartFont TitleFont{18, true};
constexpr ChartFont AxisLabelFont{15, false};
constexpr ChartFont TickFont{13, false};
constexpr ChartFont LegendFont{13, false};

// Text as one line of well-formed XML character data: control characters
// and bytes that are not UTF-8 escaped, markup characters as entities.
std::string escaped(const std::string& text) {
    std::string out;
    for (const char c : oneLine(text)) {
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

// The most decimals a tick label is written with; finer steps take the
// shortest exponent form that still tells the ticks apart.
constexpr int MaxTickDecimals = 9;

// `value` with as many significant digits as ticks `step` apart up to
// `largest` need to differ.
std::string exponentLabel(double value, double step, double largest) {
    const double digits = std::ceil(std::log10(largest / step) - 1e-9) + 1;
    char pattern[16];
    std::snprintf(pattern, sizeof pattern, "%%.%dg", static_cast<int>(std::clamp(digits, 1.0, 17.0)));
    return format(pattern, value);
}

// A tick label with no more decimals than the tick step needs.
std::string tickLabel(double value, double step, double largest) {
    const int decimals = step >= 1 ? 0 : static_cast<int>(std::ceil(-std::log10(step) - 1e-9));
    const double shown = std::abs(value) < step * 1e-9 ? 0.0 : value;
    if (decimals > MaxTickDecimals) return exponentLabel(shown, step, largest);
    char pattern[16];
    std::snprintf(pattern, sizeof pattern, "%%.%df", decimals);
    return format(pattern, shown);
}

// A y tick label, in the exponent form where the plain one would not fit
// between the picture's edge and the axis (mean steps can run to trillions).
std::string yTickLabel(double value, double step, double largest) {
    const std::string plain = tickLabel(value, step, largest);
    if (textWidth(plain, TickFont) <= PlotLeft - 10 - Margin) return plain;
    return exponentLabel(value, step, largest);
}

// The x at which text of `width`, anchored there, lies within the picture's
// margins, as near as it can be to where it was meant to stand.
double keptInside(double x, const std::string& anchor, double width, double pictureWidth) {
    const double left = anchor == "middle" ? x - width / 2 : anchor == "end" ? x - width : x;
    const double highest = std::max(Margin, pictureWidth - Margin - width);
    return x + (std::clamp(left, Margin, highest) - left);
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

// The x ticks and their labels, every other one dropped while neighbouring
// labels would touch.
struct Ticks {
    std::vector<double> values;
    std::vector<std::string> labels;
};

Ticks xTicksOf(const Scale& sx, double xLow, double xHigh) {
    Ticks ticks;
    ticks.values = niceTicks(xLow, xHigh, WantedTicks);
    const double step = ticks.values.size() > 1 ? ticks.values[1] - ticks.values[0] : 1;
    const double largest = std::max(std::abs(xLow), std::abs(xHigh));
    for (const double x : ticks.values) ticks.labels.push_back(tickLabel(x, step, largest));
    const auto crowded = [&] {
        for (size_t k = 1; k < ticks.values.size(); ++k) {
            const double room = sx(ticks.values[k]) - sx(ticks.values[k - 1]);
            const double needed = (textWidth(ticks.labels[k - 1], TickFont) + textWidth(ticks.labels[k], TickFont)) / 2;
            if (needed + TickLabelGap > room) return true;
        }
        return false;
    };
    while (ticks.values.size() > 2 && crowded()) {
        Ticks kept;
        for (size_t k = 0; k < ticks.values.size(); k += 2) {
            kept.values.push_back(ticks.values[k]);
            kept.labels.push_back(ticks.labels[k]);
        }
        ticks = std::move(kept);
    }
    return ticks;
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
             double yHigh, double width) {
    const Ticks xTicks = xTicksOf(sx, xLow, xHigh);
    svg += "<g font-size=\"13\" fill=\"#333333\">\n";
    for (size_t k = 0; k < xTicks.values.size(); ++k) {
        const double x = sx(xTicks.values[k]);
        addLine(svg, x, PlotTop, x, PlotBottom, "stroke=\"#e6e6e6\"");
        addLine(svg, x, PlotBottom, x, PlotBottom + 6, "stroke=\"#333333\"");
        const std::string& label = xTicks.labels[k];
        addText(svg, keptInside(x, "middle", textWidth(label, TickFont), width), PlotBottom + 22, "middle", label);
    }
    const std::vector<double> yTicks = yTicksUpTo(yHigh);
    const double yStep = yTicks.size() > 1 ? yTicks[1] - yTicks[0] : 1;
    for (const double y : yTicks) {
        addLine(svg, PlotLeft, sy(y), PlotRight, sy(y), "stroke=\"#e6e6e6\"");
        addLine(svg, PlotLeft - 6, sy(y), PlotLeft, sy(y), "stroke=\"#333333\"");
        addText(svg, PlotLeft - 10, sy(y) + 4.5, "end", yTickLabel(y, yStep, yHigh));
    }
    svg += "</g>\n";
    svg += "<rect x=\"" + px(PlotLeft) + "\" y=\"" + px(PlotTop) + "\" width=\"" + px(PlotRight - PlotLeft) +
           "\" height=\"" + px(PlotBottom - PlotTop) + "\" fill=\"none\" stroke=\"#333333\"/>\n";
    const std::string xLabel = fittedText(oneLine(chart.xLabel), width - 2 * Margin, AxisLabelFont, Shorten::AtEnd);
    addText(svg, keptInside((PlotLeft + PlotRight) / 2, "middle", textWidth(xLabel, AxisLabelFont), width),
            PlotBottom + 46, "middle", xLabel, " font-size=\"15\"");
    const double middle = (PlotTop + PlotBottom) / 2;
    addText(svg, 22, middle, "middle",
            fittedText(oneLine(chart.yLabel), PlotBottom - PlotTop, AxisLabelFont, Shorten::AtEnd),
            " font-size=\"15\" transform=\"rotate(-90 22 " + px(middle) + ")\"");
}

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

void addLevel(std::string& svg, double level, const char* colour, const Scale& sy) {
    addLine(svg, PlotLeft, sy(level), PlotRight, sy(level),
            "stroke=\"" + std::string(colour) + "\" stroke-width=\"1.6\" stroke-dasharray=\"7 5\"");
}

void addLegend(std::string& svg, const LineChart& chart, double width) {
    svg += "<g font-size=\"13\" fill=\"#222222\">\n";
    for (size_t k = 0; k < chart.series.size(); ++k) {
        const double y = PlotTop + 10 + 24 * static_cast<double>(k);
        if (y > PlotBottom) break;
        const char* colour = Palette[k % PaletteSize];
        addLine(svg, LegendLeft, y, LegendLeft + 26, y,
                "stroke=\"" + std::string(colour) + "\" stroke-width=\"2.6\" stroke-linecap=\"round\"");
        addText(svg, LegendTextLeft, y + 4.5, "start",
                fittedText(oneLine(chart.series[k].label), width - Margin - LegendTextLeft, LegendFont,
                           Shorten::InMiddle));
    }
    svg += "</g>\n";
}

void addTitle(std::string& svg, const std::string& title, double width) {
    const std::string shown = fittedText(oneLine(title), width - 2 * Margin, TitleFont, Shorten::AtEnd);
    addText(svg, keptInside((PlotLeft + PlotRight) / 2, "middle", textWidth(shown, TitleFont), width), 32, "middle",
            shown, " font-size=\"18\" font-weight=\"bold\"");
}

// The legend's labels set the width, up to MaxWidth.
double pictureWidth(const LineChart& chart) {
    double longest = 0;
    for (const auto& series : chart.series) longest = std::max(longest, textWidth(oneLine(series.label), LegendFont));
    return std::clamp(LegendTextLeft + longest + 16, MinWidth, MaxWidth);
}

}  // namespace

std::vector<double> niceTicks(double low, double high, int wanted) {
    if (!(high > low) || !std::isfinite(high - low)) return {low};
    wanted = std::max(wanted, 1);
    const double rough = (high - low) / wanted;
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    double step = power;
    for (const double factor : {1.0, 2.0, 5.0, 10.0}) {
        step = factor * power;
        if (step >= rough) break;
    }
    // A range too narrow for a step between its ends (0 to 5e-324) has its
    // ends for ticks.
    if (!(step > 0) || !std::isfinite(step) || low + step == low) return {low, high};
    // At most wanted + 2 ticks fit, as step >= rough; the bound holds even
    // where rounding makes the steps uneven.
    std::vector<double> ticks;
    const double first = std::ceil(low / step - 1e-9);
    for (int k = 0; k <= wanted + 2; ++k) {
        const double tick = (first + k) * step;
        if (tick > high + step * 1e-9) break;
        ticks.push_back(tick);
    }
    // A step that rounding blurs at the range's magnitude can miss it.
    if (ticks.empty()) return {low, high};
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

    const double width = pictureWidth(chart);

    std::string svg = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    svg += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + px(width) + "\" height=\"" + px(Height) +
           "\" viewBox=\"0 0 " + px(width) + " " + px(Height) + "\" font-family=\"DejaVu Sans, Helvetica, Arial, sans-serif\">\n";
    svg += "<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n";
    addTitle(svg, chart.title, width);
    addAxes(svg, chart, sx, sy, xLow, xHigh, yHigh, width);
    for (size_t k = 0; k < chart.series.size(); ++k) addBand(svg, chart.series[k], Palette[k % PaletteSize], sx, sy);
    for (size_t k = 0; k < chart.series.size(); ++k) {
        addSeries(svg, chart.series[k], Palette[k % PaletteSize], sx, sy);
        if (std::isfinite(chart.series[k].level)) addLevel(svg, chart.series[k].level, Palette[k % PaletteSize], sy);
    }
    addLegend(svg, chart, width);
    svg += "</svg>\n";
    return svg;
}
