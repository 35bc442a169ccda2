#include "graphics/window.h"

#include <SDL.h>

#include <cstdlib>

#include "graphics/canvas.h"

namespace {

bool sdlInitialised = false;

void initialiseSdlOnce() {
    if (sdlInitialised) return;
    // SDL would turn SIGINT and SIGTERM into SDL_QUIT, which the shell ignores
    // by design; without its handlers these signals end the process as usual.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    // A machine without any audio device must still get its window: SDL
    // undoes the whole initialisation when one subsystem fails.
    if (SDL_Init(SDL_INIT_TIMER | SDL_INIT_AUDIO | SDL_INIT_VIDEO) != 0) SDL_Init(SDL_INIT_TIMER | SDL_INIT_VIDEO);
    std::atexit(SDL_Quit);
    sdlInitialised = true;
}

}  // namespace

Window::Window(Canvas* canvas, const char* title, int x, int y, int width, int height) {
    if (canvas != nullptr) {
        if (width == -1) width = static_cast<int>(canvas->width());
        if (height == -1) height = static_cast<int>(canvas->height());
    }
    canvas_ = canvas;
    if (width <= 0) width = 1;
    if (height <= 0) height = 1;
    initialiseSdlOnce();
    window_ = SDL_CreateWindow(title, x, y, width, height, SDL_WINDOW_RESIZABLE);
    createRenderer();
}

// Accelerated with vertical sync first; a machine without acceleration gets
// SDL's software renderer so that the canvas still reaches the screen.
void Window::createRenderer() {
    renderer_ = SDL_CreateRenderer(window_, -1, SDL_RENDERER_ACCELERATED | SDL_RENDERER_PRESENTVSYNC);
    if (renderer_ == nullptr) renderer_ = SDL_CreateRenderer(window_, -1, SDL_RENDERER_SOFTWARE);
}

Window::~Window() {
    SDL_DestroyTexture(texture_);
    SDL_DestroyRenderer(renderer_);
    SDL_DestroyWindow(window_);
}

void Window::windowSize(int& width, int& height) const { SDL_GetWindowSize(window_, &width, &height); }

void Window::dropTexture() {
    if (texture_ != nullptr) SDL_DestroyTexture(texture_);
    texture_ = nullptr;
    uploadedPixels_ = nullptr;
    uploadedPitch_ = 0;
    uploadedWidth_ = 0;
    uploadedHeight_ = 0;
}

bool Window::geometryChanged() const {
    return uploadedPixels_ != canvas_->pixels() || uploadedPitch_ != canvas_->pitch() ||
           uploadedWidth_ != static_cast<int32_t>(canvas_->width()) ||
           uploadedHeight_ != static_cast<int32_t>(canvas_->height());
}

void Window::present() {
    if (canvas_ == nullptr || canvas_->pixels() == nullptr) {
        dropTexture();
        return;
    }
    if (geometryChanged()) {
        if (texture_ != nullptr) SDL_DestroyTexture(texture_);
        uploadedPixels_ = canvas_->pixels();
        uploadedPitch_ = canvas_->pitch();
        uploadedWidth_ = static_cast<int32_t>(canvas_->width());
        uploadedHeight_ = static_cast<int32_t>(canvas_->height());
        texture_ = SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STREAMING,
                                     uploadedWidth_, uploadedHeight_);
        // Canvas pixels carry 0 in the top byte: copy them opaque, never blended.
        if (texture_ != nullptr) SDL_SetTextureBlendMode(texture_, SDL_BLENDMODE_NONE);
        ++textureCreations_;
    }
    if (texture_ != nullptr) SDL_UpdateTexture(texture_, nullptr, canvas_->pixels(), static_cast<int>(canvas_->pitch()));
    const SDL_Rect rect{0, 0, uploadedWidth_, uploadedHeight_};
    SDL_RenderClear(renderer_);
    if (texture_ != nullptr) SDL_RenderCopy(renderer_, texture_, &rect, &rect);
    SDL_RenderPresent(renderer_);
}
