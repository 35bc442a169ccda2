#include "app/shell.h"

#include <iostream>

#include "graphics/canvas.h"
#include "graphics/window.h"
#include "model/network/network.h"
#include "views/graph_view.h"
#include "views/panel_geometry.h"

namespace {

constexpr uint32_t BackgroundColour = 0xC0C0C0;
constexpr int StepsPerReturn = 10000;
constexpr unsigned AnalysisOptions = ReportProgress | ReportTransitions | ReportStepTable | ReportSummary | ReportData;
constexpr int AnalysisHorizon = 16;
constexpr int AnalysisColumnsPerBlock = 16;
// The run-speed stepping counts on its frame rate. Vertical sync gives that
// on most displays, but a renderer may claim vertical sync and still return
// at once (SDL's software renderer on an X server without GL does), so the
// loop never runs faster than this by itself.
constexpr double FrameMilliseconds = 1000.0 / Network::FramesPerSecond;
// An idle loop sleeps in the event queue; it wakes at least this often.
constexpr int IdleWaitMilliseconds = 1000;

}  // namespace

Shell::Shell(Canvas& canvas, Window& window, Painter& painter, Network& network, GraphView& graph)
    : canvas_(canvas), window_(window), painter_(painter), network_(network), graph_(graph) {}

void Shell::run() {
    for (;;) {
        const uint64_t framesBefore = framesPresented_;
        const bool goOn = runOnce();
        if (framesPresented_ != framesBefore) keepFramePeriod();
        if (!goOn) return;
        // The timeout only bounds the sleep; waking without an event draws nothing.
        if (!animating()) SDL_WaitEventTimeout(nullptr, IdleWaitMilliseconds);
    }
}

bool Shell::runOnce() {
    if (handleQueuedEvents()) frameDue_ = true;
    if (frameDue_ || animating()) drawAndPresent();
    return !quitRequested;
}

// Every event counts, also those the table ignores: a pointer motion moves
// whatever is being dragged, and an expose or a resize needs a fresh picture.
bool Shell::handleQueuedEvents() {
    SDL_Event event;
    bool handled = false;
    while (SDL_PollEvent(&event)) {
        dispatch(event);
        handled = true;
    }
    return handled;
}

bool Shell::animating() const { return matrix_geometry::speedRunsSteps(network_.speed); }

void Shell::drawAndPresent() {
    int mouseX = 0;
    int mouseY = 0;
    SDL_GetMouseState(&mouseX, &mouseY);
    drawFrame(mouseX, mouseY);
    window_.present();
    frameDue_ = false;
    ++framesPresented_;
}

void Shell::dispatch(const SDL_Event& event) {
    switch (event.type) {
        case SDL_WINDOWEVENT:
            if (event.window.event == SDL_WINDOWEVENT_RESIZED) resizeCanvasToWindow();
            if (event.window.event == SDL_WINDOWEVENT_CLOSE) quitRequested = true;
            break;
        case SDL_KEYDOWN:
            pressKey(event.key.keysym.scancode);
            break;
        case SDL_MOUSEBUTTONDOWN:
            if (event.button.button == SDL_BUTTON_LEFT) {
                if (!graph_.pick(event.button.x, event.button.y)) network_.pressLeft(event.button.x, event.button.y);
            } else if (event.button.button == SDL_BUTTON_RIGHT) {
                network_.pressRight(event.button.x, event.button.y);
            }
            break;
        case SDL_MOUSEBUTTONUP:
            if (event.button.button == SDL_BUTTON_LEFT) {
                network_.releaseLeft();
                graph_.release();
            }
            break;
        default:
            break;
    }
}

// Keys by scan code, modifiers not looked at; auto-repeat counts as a press.
void Shell::pressKey(SDL_Scancode key) {
    switch (key) {
        case SDL_SCANCODE_A:
            network_.analyze(std::cout, AnalysisOptions, AnalysisHorizon, AnalysisColumnsPerBlock);
            break;
        case SDL_SCANCODE_RETURN:
            for (int i = 0; i < StepsPerReturn; ++i) network_.step();
            break;
        case SDL_SCANCODE_ESCAPE:
            quitRequested = true;
            break;
        case SDL_SCANCODE_BACKSPACE:
            network_.resetCounters();
            break;
        case SDL_SCANCODE_TAB:
            antialias = !antialias;
            break;
        case SDL_SCANCODE_SPACE:
            network_.step();
            break;
        default:
            break;
    }
}

// The size carried in the event is not used: the window is asked for its client size.
void Shell::resizeCanvasToWindow() {
    int width = 0;
    int height = 0;
    window_.windowSize(width, height);
    canvas_.resize(static_cast<uint32_t>(width > 0 ? width : 0), static_cast<uint32_t>(height > 0 ? height : 0));
}

void Shell::drawFrame(int mouseX, int mouseY) {
    painter_.clear(BackgroundColour);
    network_.followMouse(mouseX, mouseY);
    graph_.followMouse(mouseX, mouseY);
    network_.drawMatrix(antialias);
    graph_.drawGraph(antialias);
}

void Shell::keepFramePeriod() {
    const uint64_t now = SDL_GetPerformanceCounter();
    const double elapsed = static_cast<double>(now - lastFrameCounter_) * 1000.0 / SDL_GetPerformanceFrequency();
    if (lastFrameCounter_ != 0 && elapsed < FrameMilliseconds)
        SDL_Delay(static_cast<uint32_t>(FrameMilliseconds - elapsed));
    lastFrameCounter_ = SDL_GetPerformanceCounter();
}
