// The page's entry point: the desktop program's objects, on the heap since
// main returns while the page lives on, and one pass of the shell for each
// frame that the browser grants.

#include <emscripten.h>
#include <emscripten/html5.h>

#include "app/program.h"
#include "web/frame_clock.h"
#include "web/page.h"

namespace {

struct Page {
    Program program;
    FrameClock clock{Network::FramesPerSecond};
    bool firstFrameShown = false;
};

Page* page = nullptr;

void runPass(void*) {
    if (!page->clock.due(emscripten_get_now())) return;
    Shell& shell = page->program.shell;
    shell.runOnce();
    // Escape and the close button end the desktop program; a page has no
    // process to end, so the request is dropped.
    shell.quitRequested = false;
    if (!page->firstFrameShown && shell.framesPresented() > 0) {
        page->firstFrameShown = true;
        EM_ASM({
            if (Module.onFirstFrame) Module.onFirstFrame();
        });
    }
}

}  // namespace

Program& pageProgram() { return page->program; }

// For the page's tests: an untouched page draws nothing.
extern "C" EMSCRIPTEN_KEEPALIVE double vorlask_frames_presented() {
    return static_cast<double>(page->program.shell.framesPresented());
}

int main() {
    page = new Page();
    // The page scales the canvas with CSS to fit the browser window; SDL's
    // handler would instead set the canvas to its CSS size, clearing it.
    emscripten_set_resize_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, 0, nullptr);
    emscripten_set_main_loop_arg(runPass, nullptr, 0, 1);
    return 0;
}
