#pragma once

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "cli/chart_text.h"
#include "cli_run.h"

// Reading back the charts the command writes, one element per line, as a
// viewer would place them: texts with the extent their font gives them,
// lines, rectangles, the plot's frame and the y axis's ticks.

inline double svgNumber(const std::string& text) { return std::strtod(text.c_str(), nullptr); }

inline std::string attribute(const std::string& element, const std::string& name) {
    const size_t at = element.find(" " + name + "=\"");
    if (at == std::string::npos) return "";
    const size_t start = at + name.size() + 3;
    return element.substr(start, element.find('"', start) - start);
}

// The picture's width and height.
inline std::pair<double, double> pictureSize(const std::string& svg) {
    const std::string opening = svg.substr(svg.find("<svg"));
    return {svgNumber(attribute(opening, "width")), svgNumber(attribute(opening, "height"))};
}

// A text element of a chart, with the extent its font gives it.
struct ChartText {
    std::string text;
    double left = 0;
    double right = 0;
    double y = 0;
    bool rotated = false;
};

inline std::vector<ChartText> textsOf(const std::string& svg) {
    std::vector<ChartText> texts;
    for (const auto& line : textLines(svg)) {
        if (line.rfind("<text ", 0) != 0) continue;
        ChartText text;
        const size_t open = line.find('>') + 1;
        for (size_t at = open; at < line.find("</text>");) {
            const std::pair<const char*, char> entities[] = {{"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}};
            bool entity = false;
            for (const auto& [name, character] : entities) {
                if (line.compare(at, std::strlen(name), name) != 0) continue;
                text.text += character;
                at += std::strlen(name);
                entity = true;
            }
            if (!entity) text.text += line[at++];
        }
        const std::string size = attribute(line, "font-size");
        const ChartFont font{size.empty() ? 13 : svgNumber(size), attribute(line, "font-weight") == "bold"};
        const double width = textWidth(text.text, font);
        const std::string anchor = attribute(line, "text-anchor");
        const double x = svgNumber(attribute(line, "x"));
        text.left = anchor == "middle" ? x - width / 2 : anchor == "end" ? x - width : x;
        text.right = text.left + width;
        text.y = svgNumber(attribute(line, "y"));
        text.rotated = !attribute(line, "transform").empty();
        texts.push_back(text);
    }
    return texts;
}

struct SvgLine {
    double x1, y1, x2, y2;
    std::string stroke;
};

inline std::vector<SvgLine> svgLines(const std::string& svg) {
    static const std::regex line(R"re(<line x1="([-0-9.]+)" y1="([-0-9.]+)" x2="([-0-9.]+)" y2="([-0-9.]+)" stroke="(#[0-9a-f]+)")re");
    std::vector<SvgLine> lines;
    for (std::sregex_iterator m(svg.begin(), svg.end(), line), end; m != end; ++m)
        lines.push_back({std::stod((*m)[1]), std::stod((*m)[2]), std::stod((*m)[3]), std::stod((*m)[4]), (*m)[5]});
    return lines;
}

inline bool hasLine(const std::vector<SvgLine>& lines, const SvgLine& wanted) {
    return std::any_of(lines.begin(), lines.end(), [&](const SvgLine& l) {
        return std::fabs(l.x1 - wanted.x1) < 0.006 && std::fabs(l.y1 - wanted.y1) < 0.006 &&
               std::fabs(l.x2 - wanted.x2) < 0.006 && std::fabs(l.y2 - wanted.y2) < 0.006 && l.stroke == wanted.stroke;
    });
}

struct SvgRect {
    double left = 0, top = 0, right = 0, bottom = 0;
    std::string fill;
};

inline SvgRect rectOf(const std::string& line) {
    SvgRect rect;
    rect.left = svgNumber(attribute(line, "x"));
    rect.top = svgNumber(attribute(line, "y"));
    rect.right = rect.left + svgNumber(attribute(line, "width"));
    rect.bottom = rect.top + svgNumber(attribute(line, "height"));
    rect.fill = attribute(line, "fill");
    return rect;
}

// The rectangles of the group with id `id`, in order.
inline std::vector<SvgRect> rectsOfGroup(const std::string& svg, const std::string& id) {
    std::vector<SvgRect> rects;
    bool inside = false;
    for (const auto& line : textLines(svg)) {
        if (line.rfind("<g id=\"" + id + "\"", 0) == 0) inside = true;
        else if (inside && line == "</g>") break;
        else if (inside && line.rfind("<rect ", 0) == 0) rects.push_back(rectOf(line));
    }
    return rects;
}

// The plot's frame: the first unfilled rectangle.
inline SvgRect plotFrameOf(const std::string& svg) {
    for (const auto& line : textLines(svg))
        if (line.rfind("<rect x=", 0) == 0 && attribute(line, "fill") == "none") return rectOf(line);
    return {};
}

// A tick's value, read from its label, and its pixel.
struct AxisTick {
    double value;
    double pixel;
};

// The y axis's ticks: labels that end just left of the frame, at their tick's height.
inline std::vector<AxisTick> yTicksOf(const std::string& svg) {
    const SvgRect frame = plotFrameOf(svg);
    std::vector<AxisTick> ticks;
    for (const auto& line : textLines(svg)) {
        if (line.rfind("<text ", 0) != 0 || attribute(line, "text-anchor") != "end") continue;
        if (std::fabs(svgNumber(attribute(line, "x")) - (frame.left - 10)) > 0.006) continue;
        const size_t open = line.find('>') + 1;
        const double value = svgNumber(line.substr(open, line.find('<', open) - open));
        ticks.push_back({value, svgNumber(attribute(line, "y")) - 4.5});
    }
    return ticks;
}

// The pixel of `value` on the straight line through the first and last ticks.
inline double pixelOnTicks(const std::vector<AxisTick>& ticks, double value) {
    const AxisTick& a = ticks.front();
    const AxisTick& b = ticks.back();
    return a.pixel + (value - a.value) / (b.value - a.value) * (b.pixel - a.pixel);
}
