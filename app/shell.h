#pragma once

#include <SDL.h>

#include <cstdint>

class Canvas;
class Window;
class Painter;
class Network;
class GraphView;

// Turns SDL events into calls on the model and the panels, and draws frames.
// It borrows every object; the entry point owns them.
class Shell {
public:
    Shell(Canvas& canvas, Window& window, Painter& painter, Network& network, GraphView& graph);

    // Runs until Escape or the window's close button, then one more frame.
    void run();

    // One event, by the binding table; everything not bound is ignored.
    void dispatch(const SDL_Event& event);
    // One frame's drawing for a given pointer position, without presenting.
    void drawFrame(int mouseX, int mouseY);

    bool antialias = true;
    bool quitRequested = false;

private:
    void pressKey(SDL_Scancode key);
    void resizeCanvasToWindow();
    void presentPaced();

    Canvas& canvas_;
    Window& window_;
    Painter& painter_;
    Network& network_;
    GraphView& graph_;
    uint64_t lastFrameCounter_ = 0;
};
