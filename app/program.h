#pragma once

#include <SDL.h>

#include "app/shell.h"
#include "graphics/canvas.h"
#include "graphics/font.h"
#include "graphics/window.h"
#include "model/network/network.h"
#include "views/graph_view.h"

// Everything the program keeps for its whole run, built in the order in which
// each part needs the ones before it, and torn down in reverse. The desktop
// entry point keeps it on its stack; a page, whose entry point returns while
// the page lives on, keeps it on the heap.
struct Program {
    Canvas canvas{1024, 768};
    Window window{&canvas, "vorlask app", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, -1, -1};
    Painter painter{&canvas};
    Font largeFont{&canvas, "Ubuntu-R.ttf", 24};
    Font smallFont{&canvas, "Ubuntu-R.ttf", 20};
    Network network{painter, largeFont, smallFont};
    GraphView graph{network};
    Shell shell{canvas, window, painter, network, graph};
};
