#pragma once

#include <cstdint>

class Canvas;
struct SDL_Window;
struct SDL_Renderer;
struct SDL_Texture;

// Puts the canvas on the screen: owns the SDL window, a renderer and one
// streaming texture of the canvas's geometry, and uploads the whole canvas
// once per frame. The texture is made again only when the canvas's buffer,
// pitch, width or height changed since it was made.
class Window {
public:
    // A width or height of -1 stands for the canvas's own.
    Window(Canvas* canvas, const char* title, int x, int y, int width, int height);
    ~Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    void windowSize(int& width, int& height) const;
    void present();

    SDL_Window* sdlWindow() const { return window_; }
    // How many textures present has asked for so far.
    int textureCreations() const { return textureCreations_; }

private:
    void createRenderer();
    void dropTexture();
    bool geometryChanged() const;

    SDL_Window* window_ = nullptr;
    SDL_Texture* texture_ = nullptr;
    SDL_Renderer* renderer_ = nullptr;
    Canvas* canvas_ = nullptr;
    const uint32_t* uploadedPixels_ = nullptr;
    uint32_t uploadedPitch_ = 0;
    int32_t uploadedWidth_ = 0;
    int32_t uploadedHeight_ = 0;
    int textureCreations_ = 0;
};
