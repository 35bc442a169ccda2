#include "cli/chart_axes.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "model/text/message_text.h"

namespace {

constexpr int WantedXTicks = 10;
// Neighbouring tick labels keep at least this far apart.
constexpr double TickLabelGap = 2;
// The most decimals a tick label is written with; finer steps take the
// shortest exponent form that still tells the ticks apart.
constexpr int MaxTickDecimals = 9;
// Ticks at a grid's own values: at most this many, with at most this many
// significant digits.
constexpr size_t MaxValueTicks = 12;
constexpr int MaxValueTickDigits = 6;
// The height a tick label takes on a vertical axis, with its gap.
constexpr double TickLabelHeight = 15;
// The y axis label stands up at x = 22 and takes the room up to YAxisLabelRoom;
// y tick labels end this far left of the plot.
constexpr double YAxisLabelX = 22;
constexpr double YAxisLabelRoom = 30;
constexpr double YTickLabelEnd = 10;
constexpr double MaxLeftShare = 0.4;

std::string format(const char* pattern, double value) {
    char text[64];
    std::snprintf(text, sizeof text, pattern, value);
    return text;
}

// `value` with as many significant digits as ticks `step` apart up to
// `largest` need to differ.
std::string exponentLabel(double value, double step, double largest) {
    const double digits = std::ceil(std::log10(largest / step) - 1e-9) + 1;
    char pattern[16];
    std::snprintf(pattern, sizeof pattern, "%%.%dg", static_cast<int>(std::clamp(digits, 1.0, 17.0)));
    return format(pattern, value);
}

bool labelsTouch(const Ticks& ticks, const Scale& sx) {
    for (size_t k = 1; k < ticks.values.size(); ++k) {
        const double room = sx(ticks.values[k]) - sx(ticks.values[k - 1]);
        const double needed = (textWidth(ticks.labels[k - 1], TickFont) + textWidth(ticks.labels[k], TickFont)) / 2;
        if (needed + TickLabelGap > room) return true;
    }
    return false;
}

// `value` in at most `digits` significant digits, where they give it back to
// within a rounding error of the span of the axis.
bool shortLabel(double value, int digits, double span, std::string& label) {
    char pattern[16];
    std::snprintf(pattern, sizeof pattern, "%%.%dg", digits);
    label = format(pattern, value);
    return std::fabs(std::strtod(label.c_str(), nullptr) - value) <= 1e-9 * std::max(std::fabs(value), span);
}

}  // namespace

PlotFrame plotFrame(double width, double height, double left, double right) {
    PlotFrame frame;
    frame.width = width;
    frame.height = height;
    frame.left = left;
    frame.right = right;
    frame.bottom = height - (DefaultChartHeight - frame.bottom);
    return frame;
}

std::string svgEscaped(const std::string& text) {
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

std::string px(double value) { return format("%.2f", value); }

std::string svgOpening(double width, double height) {
    std::string svg = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    svg += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + px(width) + "\" height=\"" + px(height) +
           "\" viewBox=\"0 0 " + px(width) + " " + px(height) +
           "\" font-family=\"DejaVu Sans, Helvetica, Arial, sans-serif\">\n";
    svg += "<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n";
    return svg;
}

void addText(std::string& svg, double x, double y, const std::string& anchor, const std::string& text,
             const std::string& extra) {
    svg += "<text x=\"" + px(x) + "\" y=\"" + px(y) + "\" text-anchor=\"" + anchor + "\"" + extra + ">" +
           svgEscaped(text) + "</text>\n";
}

void addLine(std::string& svg, double x1, double y1, double x2, double y2, const std::string& style) {
    svg += "<line x1=\"" + px(x1) + "\" y1=\"" + px(y1) + "\" x2=\"" + px(x2) + "\" y2=\"" + px(y2) + "\" " + style +
           "/>\n";
}

double keptInside(double x, const std::string& anchor, double width, double pictureWidth) {
    const double left = anchor == "middle" ? x - width / 2 : anchor == "end" ? x - width : x;
    const double highest = std::max(ChartMargin, pictureWidth - ChartMargin - width);
    return x + (std::clamp(left, ChartMargin, highest) - left);
}

std::string tickLabel(double value, double step, double largest) {
    const int decimals = step >= 1 ? 0 : static_cast<int>(std::ceil(-std::log10(step) - 1e-9));
    const double shown = std::abs(value) < step * 1e-9 ? 0.0 : value;
    if (decimals > MaxTickDecimals) return exponentLabel(shown, step, largest);
    char pattern[16];
    std::snprintf(pattern, sizeof pattern, "%%.%df", decimals);
    return format(pattern, shown);
}

// Mean steps can run to trillions, which the plain form writes in full.
std::string tickLabelWithin(double value, double step, double largest, double room) {
    const std::string plain = tickLabel(value, step, largest);
    if (textWidth(plain, TickFont) <= room) return plain;
    return exponentLabel(value, step, largest);
}

Ticks xTicksOf(const Scale& sx, double low, double high) {
    Ticks ticks;
    ticks.values = niceTicks(low, high, WantedXTicks);
    const double step = ticks.values.size() > 1 ? ticks.values[1] - ticks.values[0] : 1;
    const double largest = std::max(std::abs(low), std::abs(high));
    for (const double x : ticks.values) ticks.labels.push_back(tickLabel(x, step, largest));
    // Two ticks whose labels touch keep the first alone.
    while (ticks.values.size() > 1 && labelsTouch(ticks, sx)) {
        Ticks kept;
        for (size_t k = 0; k < ticks.values.size(); k += 2) {
            kept.values.push_back(ticks.values[k]);
            kept.labels.push_back(ticks.labels[k]);
        }
        ticks = std::move(kept);
    }
    return ticks;
}

Ticks yTicksOf(const std::vector<double>& values) {
    Ticks ticks;
    ticks.values = values;
    const double step = values.size() > 1 ? values[1] - values[0] : 1;
    const double largest = values.empty() ? 1 : std::max(std::abs(values.front()), std::abs(values.back()));
    const double room = PlotFrame().left - YTickLabelEnd - ChartMargin;
    for (const double y : values) ticks.labels.push_back(tickLabelWithin(y, step, largest, room));
    return ticks;
}

double plotLeftFor(const Ticks& yTicks, double width) {
    double widest = 0;
    for (const auto& label : yTicks.labels) widest = std::max(widest, textWidth(label, TickFont));
    // A pixel to spare, which rounding cannot take from the labels' room.
    return std::clamp(YAxisLabelRoom + widest + YTickLabelEnd + 1, PlotFrame().left, MaxLeftShare * width);
}

Ticks valueTicks(const std::vector<double>& values, const Scale& scale, AxisDirection direction) {
    if (values.empty() || values.size() > MaxValueTicks) return {};
    const double span = values.back() - values.front();
    for (int digits = 1; digits <= MaxValueTickDigits; ++digits) {
        Ticks ticks;
        bool exact = true;
        for (const double value : values) {
            std::string label;
            exact = exact && shortLabel(value, digits, span, label);
            ticks.values.push_back(value);
            ticks.labels.push_back(label);
        }
        if (!exact) continue;
        if (direction == AxisDirection::Horizontal) return labelsTouch(ticks, scale) ? Ticks{} : ticks;
        for (size_t k = 1; k < values.size(); ++k)
            if (std::fabs(scale(values[k]) - scale(values[k - 1])) < TickLabelHeight) return {};
        return ticks;
    }
    return {};
}

void addAxes(std::string& svg, const PlotFrame& frame, const AxesText& text, const Scale& sx, const Ticks& xTicks,
             const Scale& sy, const Ticks& yTicks, bool gridLines) {
    svg += "<g font-size=\"13\" fill=\"#333333\">\n";
    for (size_t k = 0; k < xTicks.values.size(); ++k) {
        const double x = sx(xTicks.values[k]);
        if (gridLines) addLine(svg, x, frame.top, x, frame.bottom, "stroke=\"#e6e6e6\"");
        addLine(svg, x, frame.bottom, x, frame.bottom + 6, "stroke=\"#333333\"");
        const std::string& label = xTicks.labels[k];
        addText(svg, keptInside(x, "middle", textWidth(label, TickFont), frame.width), frame.bottom + 22, "middle",
                label);
    }
    for (size_t k = 0; k < yTicks.values.size(); ++k) {
        const double y = sy(yTicks.values[k]);
        if (gridLines) addLine(svg, frame.left, y, frame.right, y, "stroke=\"#e6e6e6\"");
        addLine(svg, frame.left - 6, y, frame.left, y, "stroke=\"#333333\"");
        addText(svg, frame.left - YTickLabelEnd, y + 4.5, "end",
                fittedText(yTicks.labels[k], frame.left - YTickLabelEnd - YAxisLabelRoom, TickFont, Shorten::AtEnd));
    }
    svg += "</g>\n";
    svg += "<rect x=\"" + px(frame.left) + "\" y=\"" + px(frame.top) + "\" width=\"" + px(frame.right - frame.left) +
           "\" height=\"" + px(frame.bottom - frame.top) + "\" fill=\"none\" stroke=\"#333333\"/>\n";
    const std::string xLabel =
        fittedText(oneLine(text.xLabel), frame.width - 2 * ChartMargin, AxisLabelFont, Shorten::AtEnd);
    addText(svg, keptInside((frame.left + frame.right) / 2, "middle", textWidth(xLabel, AxisLabelFont), frame.width),
            frame.bottom + 46, "middle", xLabel, " font-size=\"15\"");
    const double middle = (frame.top + frame.bottom) / 2;
    addText(svg, YAxisLabelX, middle, "middle",
            fittedText(oneLine(text.yLabel), frame.bottom - frame.top, AxisLabelFont, Shorten::AtEnd),
            " font-size=\"15\" transform=\"rotate(-90 " + px(YAxisLabelX) + " " + px(middle) + ")\"");
}

void addTitle(std::string& svg, const std::string& title, const PlotFrame& frame) {
    const std::string shown = fittedText(oneLine(title), frame.width - 2 * ChartMargin, TitleFont, Shorten::AtEnd);
    addText(svg, keptInside((frame.left + frame.right) / 2, "middle", textWidth(shown, TitleFont), frame.width), 32,
            "middle", shown, " font-size=\"18\" font-weight=\"bold\"");
}

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
