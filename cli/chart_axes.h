#pragma once

#include <string>
#include <vector>

#include "cli/chart_text.h"

// What every chart of the command draws alike: SVG elements written as text,
// a linear scale, and a plot's frame with its ticks, axis labels and title.
// Line charts (svg_chart.h) and heat maps (heat_map.h) put their own marks
// inside the frame.

// Text keeps this far from the picture's edges.
constexpr double ChartMargin = 6;

constexpr ChartFont TitleFont{18, true};
constexpr ChartFont AxisLabelFont{15, false};
constexpr ChartFont TickFont{13, false};
constexpr ChartFont LegendFont{13, false};

// The size of a picture when none is asked for, and the sizes one may ask for.
constexpr double DefaultChartWidth = 860;
constexpr double DefaultChartHeight = 520;
constexpr int MinChartWidth = 400;
constexpr int MaxChartWidth = 4000;
constexpr int MinChartHeight = 300;
constexpr int MaxChartHeight = 3000;

// Where a plot sits in its picture. The room left of `left` holds the y tick
// labels and the y axis label, the room under `bottom` the x tick labels and
// the x axis label, the room above `top` the title.
struct PlotFrame {
    double width = DefaultChartWidth;
    double height = DefaultChartHeight;
    double left = 78;
    double top = 56;
    double right = 640;
    double bottom = 452;
};

// The frame of a picture `width` x `height` whose plot runs from `left` to `right`.
PlotFrame plotFrame(double width, double height, double left, double right);

// Text as one line of well-formed XML character data.
std::string svgEscaped(const std::string& text);

// A pixel coordinate: two decimals are far below what a screen resolves.
std::string px(double value);

// The document's opening, a white background included; close it with "</svg>\n".
std::string svgOpening(double width, double height);

void addText(std::string& svg, double x, double y, const std::string& anchor, const std::string& text,
             const std::string& extra = "");
void addLine(std::string& svg, double x1, double y1, double x2, double y2, const std::string& style);

// The x at which text of `width`, anchored there, lies within the picture's
// margins, as near as it can be to where it was meant to stand.
double keptInside(double x, const std::string& anchor, double width, double pictureWidth);

// Maps values from `low` to `high` linearly onto pixels from `from` to `to`.
class Scale {
public:
    Scale(double low, double high, double from, double to) : low_(low), high_(high), from_(from), to_(to) {
        if (high_ <= low_) high_ = low_ + 1;
    }
    double operator()(double value) const { return from_ + (value - low_) / (high_ - low_) * (to_ - from_); }

private:
    double low_, high_, from_, to_;
};

// A tick label with no more decimals than ticks `step` apart up to `largest`
// need, in the exponent form where those would be too many.
std::string tickLabel(double value, double step, double largest);

// The tick label, in the exponent form where the plain one is wider than `room`.
std::string tickLabelWithin(double value, double step, double largest, double room);

// Tick values and their labels.
struct Ticks {
    std::vector<double> values;
    std::vector<std::string> labels;
};

// Round x ticks from `low` to `high`, every other one dropped (of two, the
// second) while neighbouring labels would touch.
Ticks xTicksOf(const Scale& sx, double low, double high);

// The labels of y ticks `values` a round step apart.
Ticks yTicksOf(const std::vector<double>& values);

// Where a plot in a picture `width` wide starts so that its y tick labels
// fit beside the y axis label: 78 unless they are wide, at most 0.4 of the
// width (labels that still do not fit are shortened).
double plotLeftFor(const Ticks& yTicks, double width);

// Ticks at `values` themselves (ascending, distinct), where there are few,
// short labels tell them exactly and the labels do not touch on `scale`, a
// horizontal axis or a vertical one; no ticks otherwise.
enum class AxisDirection { Horizontal, Vertical };
Ticks valueTicks(const std::vector<double>& values, const Scale& scale, AxisDirection direction);

struct AxesText {
    std::string xLabel;
    std::string yLabel;
};

// Ticks and labels of both axes and the frame; grid lines across the plot
// where `gridLines` is set.
void addAxes(std::string& svg, const PlotFrame& frame, const AxesText& text, const Scale& sx, const Ticks& xTicks,
             const Scale& sy, const Ticks& yTicks, bool gridLines);

// The title centred over the plot, shortened to fit the picture.
void addTitle(std::string& svg, const std::string& title, const PlotFrame& frame);

// Tick values from `low` to `high` at a step of 1, 2 or 5 times a power of
// ten, about `wanted` of them and never more than wanted + 3; the ends of the
// range need not be ticks, except in a range too narrow for any step.
std::vector<double> niceTicks(double low, double high, int wanted);
