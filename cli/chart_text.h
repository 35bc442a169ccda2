#pragma once

#include <string>

// Text of a chart sized without the font that will draw it: the SVG names
// DejaVu Sans first and falls back to narrower faces, so widths taken from
// DejaVu Sans's own advances, a little widened, bound what a renderer draws.

struct ChartFont {
    double size;  // pixels
    bool bold;
};

// The width `text` takes at most in `font`: ASCII at DejaVu Sans's advances,
// anything else at a whole em.
double textWidth(const std::string& text, const ChartFont& font);

enum class Shorten { AtEnd, InMiddle };

// `text` as it is when it fits in `width`, else cut at its end or in its
// middle (where a path keeps both its start and its file name) and marked
// with an ellipsis so that it fits.
std::string fittedText(const std::string& text, double width, const ChartFont& font, Shorten where);
