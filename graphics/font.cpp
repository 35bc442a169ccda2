#include "graphics/font.h"

#include <SDL.h>
#include <SDL_ttf.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "graphics/canvas.h"

namespace {

bool ttfInitialised = false;

// Faces stay open for the whole run; they are closed at exit, just before
// SDL_ttf shuts down, so that no face outlives the library. The registry
// that lists them is itself never freed, on purpose: the exit handler that
// reads it is registered before the registry would be built, so a static
// vector would already be destroyed when the handler runs. Its block stays
// allocated, and reachable, at exit.
std::vector<TTF_Font*>& openFaces() {
    static std::vector<TTF_Font*>* faces = new std::vector<TTF_Font*>();
    return *faces;
}

void closeOpenFaces() {
    for (TTF_Font* face : openFaces()) TTF_CloseFont(face);
    openFaces().clear();
}

void initialiseTtfOnce() {
    if (ttfInitialised) return;
    TTF_Init();
    std::atexit(TTF_Quit);
    std::atexit(closeOpenFaces);  // runs before TTF_Quit
    ttfInitialised = true;
}

int anchorOffset(unsigned align, unsigned startBit, unsigned endBit, int extent) {
    if (align & startBit) return 0;
    if (align & endBit) return extent;
    return extent / 2;
}

// Where the alpha byte of a 32-bit surface pixel lies in memory.
int alphaByteOffset(int alphaShift) {
#if SDL_BYTEORDER == SDL_LIL_ENDIAN
    return alphaShift / 8;
#else
    return 3 - alphaShift / 8;
#endif
}

}  // namespace

void blendText(Canvas& canvas, const CoverageImage& image, uint32_t colour, int x, int y, unsigned align) {
    if (!canvas.drawable() || image.data == nullptr) return;
    const int left = x - anchorOffset(align, AlignLeft, AlignRight, image.width);
    const int top = y - anchorOffset(align, AlignTop, AlignBottom, image.height);
    const int64_t width = canvas.width();
    const int64_t height = canvas.height();
    for (int i = 0; i < image.height; ++i) {
        const int64_t row = int64_t{top} + i;
        if (row < 0 || row >= height) continue;
        const unsigned char* coverage = image.data + static_cast<ptrdiff_t>(i) * image.stride;
        for (int k = 0; k < image.width; ++k) {
            const int64_t column = int64_t{left} + k;
            if (column < 0 || column >= width) continue;
            const uint32_t weight = coverage[static_cast<ptrdiff_t>(k) * image.step] + 1u;
            Canvas::blend(canvas.pixelAt(static_cast<uint32_t>(column), static_cast<uint32_t>(row)), colour, weight);
        }
    }
}

Font::Font(Canvas* canvas, const char* file, int size) {
    initialiseTtfOnce();
    canvas_ = canvas;
    face_ = TTF_OpenFont(file, size);
    if (face_ != nullptr) openFaces().push_back(face_);
    if (face_ == nullptr) {
        std::printf("TTF_OpenFont(%s): %s\n", file, SDL_GetError());
        std::fflush(stdout);
    }
}

void Font::draw(const char* text, uint32_t colour, int x, int y, unsigned align) const {
    if (face_ == nullptr || canvas_ == nullptr || text == nullptr) return;
    // White at full opacity, so that the alpha channel is the bare glyph coverage.
    const SDL_Color white{255, 255, 255, 255};
    SDL_Surface* surface = TTF_RenderText_Blended(face_, text, white);
    if (surface == nullptr) return;
    if (surface->format->BytesPerPixel == 4 && SDL_LockSurface(surface) == 0) {
        CoverageImage image;
        image.data = static_cast<const unsigned char*>(surface->pixels) + alphaByteOffset(surface->format->Ashift);
        image.width = surface->w;
        image.height = surface->h;
        image.stride = surface->pitch;
        image.step = 4;
        blendText(*canvas_, image, colour, x, y, align);
        SDL_UnlockSurface(surface);
    }
    SDL_FreeSurface(surface);
}
