#pragma once

#include "graphics/canvas.h"
#include "graphics/font.h"
#include "model/network/network.h"

// `colour` blended over `pixel` with the canvas rule: the value a drawn pixel must have.
inline uint32_t blendOver(uint32_t pixel, uint32_t colour, uint32_t weight = 256) {
    Canvas::blend(&pixel, colour, weight);
    return pixel;
}

// A Network on a small canvas with faceless fonts: enough for model tests,
// which never draw text.
struct NetworkFixture {
    explicit NetworkFixture(uint32_t width = 1024, uint32_t height = 768)
        : canvas(width, height), painter(&canvas), network(painter, font, font) {}

    Canvas canvas;
    Painter painter;
    Font font;
    Network network;
};
