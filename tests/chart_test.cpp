#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "cli/heat_map.h"
#include "cli/svg_chart.h"
#include "cli_run.h"
#include "svg_reading.h"

namespace {

// A ring whose every move is certain, so that S exists at any gamma.
NetworkModel certainRing(int count) {
    NetworkModel ring;
    ring.resize(count);
    for (int i = 0; i < count; ++i) {
        ring.links[i][(i + 1) % count] = ring.links[(i + 1) % count][i] = 1;
        ring.params[NetworkModel::Gamma][i] = (1 + i) / 8.0;
    }
    return ring;
}

// Entries of the published viridis table, as 8-bit colours.
const std::map<int, std::string> PublishedViridis = {
    {0, "#440154"}, {64, "#3b528b"}, {128, "#21918c"}, {192, "#5ec962"}, {255, "#fde725"}};

// The colour bar's band for a value: the 256 bands share the range from the
// lowest value to the highest equally, the last one taking the highest.
int bandOf(double value, double least, double most) {
    return std::min(255, static_cast<int>(std::floor((value - least) / (most - least) * 256)));
}

struct SweepPoint {
    double x, y, value;
};

// The last step's success at each point of a curve sweep's CSV.
std::vector<SweepPoint> lastSteps(const std::string& csv, int horizon) {
    std::vector<SweepPoint> points;
    const auto rows = csvFields(csv);
    for (size_t k = 1; k < rows.size(); ++k)
        if (std::stoi(rows[k][2]) == horizon)
            points.push_back({std::stod(rows[k][0]), std::stod(rows[k][1]), std::stod(rows[k][3])});
    return points;
}

// The pixel of `value` on an axis whose cells' edges run from `first` to `last`.
double along(double value, double first, double last, double from, double to) {
    return from + (value - first) / (last - first) * (to - from);
}

}  // namespace

// A sweep over uneven values: each cell spans halfway to its neighbours
// (worked out by hand below), carries the colour of the bar's band at its
// value, and the bar's bands are the published table's entries in order,
// from the lowest value at its bottom to the highest at its top, which its
// labels say.
TEST(HeatMap, CellsSitWhereTheGridPutsThemInTheColourOfTheirValue) {
    TestFolder folder;
    const std::string path = folder.write("ring.txt", networkBlock(certainRing(5)));
    const CliOutcome result =
        runCli({"sweep", "--vary", "gamma[0]=0,0.1,0.5,1", "--vary", "gamma[1]=0.2,0.3,0.9", "--horizon", "3",
                "--plot-kind", "heatmap", "--plot", folder.file("map.svg"), "-o", folder.file("map.csv"), path});
    ASSERT_EQ(result.status, 0) << result.err;
    const std::string svg = readFile(folder.file("map.svg"));
    const std::vector<SweepPoint> points = lastSteps(readFile(folder.file("map.csv")), 3);
    ASSERT_EQ(points.size(), 12u);

    const SvgRect frame = plotFrameOf(svg);
    const std::vector<double> xEdges = {-0.05, 0.05, 0.3, 0.75, 1.25};
    const std::vector<double> yEdges = {0.15, 0.25, 0.6, 1.2};
    const std::vector<double> xValues = {0, 0.1, 0.5, 1};
    const std::vector<double> yValues = {0.2, 0.3, 0.9};
    const std::vector<SvgRect> cells = rectsOfGroup(svg, "cells");
    ASSERT_EQ(cells.size(), points.size());
    for (size_t k = 0; k < cells.size(); ++k) {
        const size_t i = static_cast<size_t>(std::find(xValues.begin(), xValues.end(), points[k].x) - xValues.begin());
        const size_t j = static_cast<size_t>(std::find(yValues.begin(), yValues.end(), points[k].y) - yValues.begin());
        ASSERT_LT(i, xValues.size());
        ASSERT_LT(j, yValues.size());
        EXPECT_NEAR(cells[k].left, along(xEdges[i], -0.05, 1.25, frame.left, frame.right), 0.006) << k;
        EXPECT_NEAR(cells[k].right, along(xEdges[i + 1], -0.05, 1.25, frame.left, frame.right), 0.011) << k;
        EXPECT_NEAR(cells[k].bottom, along(yEdges[j], 0.15, 1.2, frame.bottom, frame.top), 0.011) << k;
        EXPECT_NEAR(cells[k].top, along(yEdges[j + 1], 0.15, 1.2, frame.bottom, frame.top), 0.006) << k;
    }

    const std::vector<SvgRect> bands = rectsOfGroup(svg, "colour-bar");
    ASSERT_EQ(bands.size(), 256u);
    for (const auto& [entry, colour] : PublishedViridis) EXPECT_EQ(bands[entry].fill, colour) << entry;
    const double barBottom = bands.front().bottom;
    const double barTop = bands.back().top;
    for (size_t k = 0; k < bands.size(); ++k) {
        EXPECT_NEAR(bands[k].bottom, barBottom - (barBottom - barTop) * k / 256.0, 0.011) << k;
        EXPECT_NEAR(bands[k].top, barBottom - (barBottom - barTop) * (k + 1) / 256.0, 0.011) << k;
    }
    const auto byValue = [](const SweepPoint& a, const SweepPoint& b) { return a.value < b.value; };
    const auto [least, most] = std::minmax_element(points.begin(), points.end(), byValue);
    ASSERT_LT(least->value, most->value);
    for (size_t k = 0; k < cells.size(); ++k)
        EXPECT_EQ(cells[k].fill, bands[bandOf(points[k].value, least->value, most->value)].fill) << k;
    EXPECT_EQ(cells[least - points.begin()].fill, "#440154");
    EXPECT_EQ(cells[most - points.begin()].fill, "#fde725");

    // Each label of the bar stands at its value's height on a bar from the
    // lowest value to the highest.
    int labels = 0;
    for (const auto& line : textLines(svg)) {
        if (line.rfind("<text ", 0) != 0 || std::fabs(svgNumber(attribute(line, "x")) - (bands[0].right + 9)) > 0.006)
            continue;
        const size_t open = line.find('>') + 1;
        const double value = svgNumber(line.substr(open));
        EXPECT_NEAR(svgNumber(attribute(line, "y")) - 4.5,
                    along(value, least->value, most->value, barBottom, barTop), 0.011)
            << value;
        ++labels;
    }
    EXPECT_GE(labels, 3);
    EXPECT_NE(svg.find(">gamma[0]</text>"), std::string::npos);
    EXPECT_NE(svg.find(">gamma[1]</text>"), std::string::npos);
    EXPECT_NE(svg.find(">weight in S configurations</text>"), std::string::npos);
    EXPECT_NE(svg.find(">Weight in S configurations after step 3, ring.txt</text>"), std::string::npos);
}

// Points without a value are hatched grey cells, which a legend names; a
// lone value has a cell one unit wide, a repeated one shares its cell, and
// one value everywhere takes the bar's middle.
TEST(HeatMap, MissingLoneRepeatedAndEqualValues) {
    HeatMap map{"t", "a", "b", "mean steps", "S never reached", {0, 0, 1, 1, 1}, {0.5, 0.5, 0.5, 0.5, 0.5},
                {2, 2, NAN, INFINITY, 2}};
    const std::string svg = renderHeatMapSvg(map);
    const std::vector<SvgRect> cells = rectsOfGroup(svg, "cells");
    ASSERT_EQ(cells.size(), 5u);
    const SvgRect frame = plotFrameOf(svg);
    EXPECT_NEAR(cells[0].left, frame.left, 0.006);
    EXPECT_NEAR(cells[0].right, (frame.left + frame.right) / 2, 0.006);
    EXPECT_NEAR(cells[0].top, frame.top, 0.006);
    EXPECT_NEAR(cells[0].bottom, frame.bottom, 0.006);
    EXPECT_EQ(cells[1].left, cells[0].left);
    EXPECT_EQ(cells[0].fill, "#21918c");
    EXPECT_EQ(cells[2].fill, "url(#no-value)");
    EXPECT_EQ(cells[3].fill, "url(#no-value)");
    EXPECT_NE(svg.find("<pattern id=\"no-value\""), std::string::npos);
    EXPECT_NE(svg.find(">S never reached</text>"), std::string::npos);
    EXPECT_NE(svg.find(">2</text>"), std::string::npos);

    map.value = {1, 2, 3, 4, 5};
    const std::string whole = renderHeatMapSvg(map);
    EXPECT_EQ(whole.find("no-value"), std::string::npos);
    EXPECT_EQ(whole.find("S never reached"), std::string::npos);
    map.value.assign(5, NAN);
    const std::string empty = renderHeatMapSvg(map);
    EXPECT_TRUE(rectsOfGroup(empty, "colour-bar").empty());
    EXPECT_NE(empty.find(">S never reached</text>"), std::string::npos);

    EXPECT_EQ(cellEdges({0.25}), (std::vector<double>{-0.25, 0.75}));
    EXPECT_EQ(cellEdges({0, 1, 4}), (std::vector<double>{-0.5, 0.5, 2.5, 5.5}));
}

// Over data of any magnitude the y axis has round ticks evenly spaced that
// just enclose the data (from 0 when asked), and every point, band and level
// is drawn inside the frame, at least a pixel off its edges.
TEST(LineChart, YAxisFitsTheDataWithRoundTicksAndKeepsLinesOffTheFrame) {
    std::mt19937 random(11);
    for (int trial = 0; trial < 300; ++trial) {
        const double magnitude = std::pow(10.0, static_cast<int>(random() % 16) - 6);
        const double a = magnitude * (random() % 1000) / 1000.0;
        const double b = trial % 5 == 0 ? a : magnitude * (random() % 1000) / 1000.0;
        const bool fromZero = trial % 3 == 0;
        LineChart chart{"t", "x", "y", {ChartSeries{"s", {0, 1, 2}, {a, (a + b) / 2, b}}}};
        if (trial % 7 == 0) chart.series[0].level = std::max(a, b);
        chart.yFromZero = fromZero;
        const std::string svg = renderSvg(chart);
        const std::vector<AxisTick> ticks = yTicksOf(svg);
        const SvgRect frame = plotFrameOf(svg);
        const double least = std::min(a, b);
        const double most = std::max(a, b);
        const std::string where = std::to_string(a) + " " + std::to_string(b) + (fromZero ? " from zero" : "");
        ASSERT_GE(ticks.size(), 2u) << where;
        EXPECT_LE(ticks.size(), 7u) << where;
        const double step = ticks[1].value - ticks[0].value;
        const double mantissa = step / std::pow(10.0, std::floor(std::log10(step) + 1e-9));
        EXPECT_TRUE(std::fabs(mantissa - 1) < 1e-6 || std::fabs(mantissa - 2) < 1e-6 || std::fabs(mantissa - 5) < 1e-6)
            << where << ": " << step;
        for (size_t k = 1; k < ticks.size(); ++k) {
            EXPECT_NEAR(ticks[k].value - ticks[k - 1].value, step, step * 1e-6) << where;
            EXPECT_LT(ticks[k].pixel, ticks[k - 1].pixel) << where;
        }
        const double tolerance = step * 1e-6;
        EXPECT_LE(ticks.front().value, least + tolerance) << where;
        EXPECT_GE(ticks.back().value, most - tolerance) << where;
        if (fromZero || least == most) {
            EXPECT_EQ(ticks.front().value, 0) << where;
        } else {
            EXPECT_GT(ticks.front().value, least - step) << where;
        }
        EXPECT_LT(ticks.back().value, std::max(most, 0.0) + step) << where;
        for (const double value : {least, most}) {
            const double pixel = pixelOnTicks(ticks, value);
            EXPECT_GT(pixel, frame.top + 1) << where;
            EXPECT_LT(pixel, frame.bottom - 1) << where;
        }
    }
}

// A curve that reaches 1 and a limit line at 1 are drawn inside the frame.
TEST(LineChart, ALimitOfOneStaysInsideTheFrame) {
    LineChart chart{"t", "step", "weight", {ChartSeries{"ring", {0, 1, 2}, {0.25, 0.9, 1.0}}}};
    chart.series[0].level = 1.0;
    const std::string svg = renderSvg(chart);
    const SvgRect frame = plotFrameOf(svg);
    bool found = false;
    for (const SvgLine& line : svgLines(svg)) {
        if (line.stroke != "#0072b2") continue;
        found = true;
        EXPECT_GT(line.y1, frame.top + 5);
    }
    EXPECT_TRUE(found);
}

// The legend lists as many curves as fit beside the plot, one every 24
// pixels from 10 below its top; where some do not fit, its last line says how
// many more there are.
TEST(LineChart, ALegendTooLongForThePlotSaysHowManyCurvesItLeavesOut) {
    const auto legendOf = [](size_t curves, double height) {
        LineChart chart{"t", "x", "y", {}};
        for (size_t k = 0; k < curves; ++k)
            chart.series.push_back(ChartSeries{"curve " + std::to_string(k), {0, 1}, {0.5, 0.5}});
        chart.height = height;
        std::vector<std::string> texts;
        for (const ChartText& text : textsOf(renderSvg(chart)))
            if (text.text.rfind("curve ", 0) == 0 || text.text.rfind("and ", 0) == 0) texts.push_back(text.text);
        return texts;
    };
    EXPECT_EQ(legendOf(17, 520).size(), 17u);
    EXPECT_EQ(legendOf(17, 520).back(), "curve 16");
    const std::vector<std::string> crowded = legendOf(18, 520);
    ASSERT_EQ(crowded.size(), 17u);
    EXPECT_EQ(crowded[15], "curve 15");
    EXPECT_EQ(crowded.back(), "and 2 more curves");
    const std::vector<std::string> low = legendOf(20, 300);
    ASSERT_EQ(low.size(), 7u);
    EXPECT_EQ(low.back(), "and 14 more curves");
}

// Bad chart options end the command with one line and exit 2, before any
// work and without a file; good sizes are the picture's.
TEST(ChartCli, OptionsAreCheckedAndSizesKept) {
    TestFolder folder;
    const std::string path = folder.write("ring.txt", networkBlock(certainRing(4)));
    const std::string svg = folder.file("out.svg");
    const std::vector<std::string> sweep = {"sweep",        "--vary", "gamma[0]=0,1", "--vary",
                                            "gamma[1]=0,1", "-o",     "/dev/null"};
    const auto with = [](std::vector<std::string> args, std::initializer_list<std::string> more) {
        args.insert(args.end(), more);
        return args;
    };
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"plot", "-o", folder.file("out.png"), path},
         "--output: \"" + folder.file("out.png") + "\" does not end in .svg"},
        {{"plot", "-o", folder.file("svg"), path}, "does not end in .svg"},
        {{"plot", "--width", "399", "-o", svg, path}, "--width"},
        {{"plot", "--width", "4001", "-o", svg, path}, "--width"},
        {{"plot", "--height", "299", "-o", svg, path}, "--height"},
        {{"plot", "--height", "3001", "-o", svg, path}, "--height"},
        {with(sweep, {"--plot", folder.file("out.png"), path}), "does not end in .svg"},
        {with(sweep, {"--width", "500", path}), "--width requires --plot"},
        {with(sweep, {"--plot-kind", "heatmap", path}), "--plot-kind requires --plot"},
        {with(sweep, {"--plot-kind", "map", "--plot", svg, path}), "--plot-kind"},
        {with(sweep, {"--plot-kind", "heatmap", "--y-from-zero", "--plot", svg, path}), "--y-from-zero is for line"},
        {{"sweep", "--vary", "gamma=0,1", "--plot-kind", "heatmap", "--plot", svg, path},
         "--plot-kind heatmap draws sweeps of exactly two --vary options, not 1"},
        {with(sweep, {"--vary", "alpha=1", "--plot-kind", "heatmap", "--plot", svg, path}), "exactly two"},
        {with(sweep, {"--measure", "rates", "--plot-kind", "heatmap", "--plot", svg, path}), "rates has one per node"},
    };
    for (const auto& [args, says] : cases) {
        const CliOutcome result = runCli(args);
        EXPECT_EQ(result.status, 2) << says;
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(textLines(result.err).size(), 1u) << result.err;
        EXPECT_NE(result.err.find(says), std::string::npos) << result.err;
        EXPECT_EQ(folder.files(), "ring.txt\n") << says;
    }
    for (const auto& [width, height] : {std::pair<int, int>{400, 300}, {4000, 3000}, {733, 1234}}) {
        const CliOutcome line = runCli({"plot", "--width", std::to_string(width), "--height", std::to_string(height),
                                        "-o", "-", path});
        ASSERT_EQ(line.status, 0) << line.err;
        EXPECT_EQ(pictureSize(line.out), (std::pair<double, double>(width, height)));
        const CliOutcome map = runCli(with(sweep, {"--plot-kind", "heatmap", "--width", std::to_string(width),
                                                   "--height", std::to_string(height), "--plot", svg, path}));
        ASSERT_EQ(map.status, 0) << map.err;
        EXPECT_EQ(pictureSize(readFile(svg)), (std::pair<double, double>(width, height)));
    }
    EXPECT_EQ(runCli({"plot", "-o", folder.file("Upper.SVG"), path}).status, 0);
    const CliOutcome rates =
        runCli(with(sweep, {"--measure", "rates", "--width", "500", "--height", "400", "--plot", svg, path}));
    ASSERT_EQ(rates.status, 0) << rates.err;
    EXPECT_EQ(pictureSize(readFile(svg)), (std::pair<double, double>(500, 400)));
}
