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
//
// A frame is drawn only when something can have changed since the last one:
// an event was handled (a key, a click, a drag's motion, an expose or a
// resize; the analysis and the 10000 steps run inside theirs), or the run
// speed steps the network by itself. An untouched window draws nothing.
class Shell {
public:
    Shell(Canvas& canvas, Window& window, Painter& painter, Network& network, GraphView& graph);

    // The desktop loop: passes until Escape or the window's close button,
    // then one more frame. Frames stay at least a frame period apart; while
    // nothing moves by itself the loop sleeps until the next event.
    void run();

    // One pass of the loop, for the desktop loop and for a browser's frame
    // callback alike: every queued event, then one frame if one is due.
    // Returns false once a quit has been requested; the event that asked for
    // it has had its frame.
    bool runOnce();

    // True while frames are due without any event: the run speed steps the
    // network a little in every frame.
    bool animating() const;

    // One event, by the binding table; everything not bound is ignored.
    void dispatch(const SDL_Event& event);
    // One frame's drawing for a given pointer position, without presenting.
    void drawFrame(int mouseX, int mouseY);

    // Frames that runOnce has drawn and presented.
    uint64_t framesPresented() const { return framesPresented_; }

    bool antialias = true;
    bool quitRequested = false;

private:
    bool handleQueuedEvents();
    void drawAndPresent();
    void pressKey(SDL_Scancode key);
    void resizeCanvasToWindow();
    void keepFramePeriod();

    Canvas& canvas_;
    Window& window_;
    Painter& painter_;
    Network& network_;
    GraphView& graph_;
    // Nothing is on the screen before the first frame.
    bool frameDue_ = true;
    uint64_t framesPresented_ = 0;
    uint64_t lastFrameCounter_ = 0;
};
