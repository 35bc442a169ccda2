#include "graphics/font.h"

#include <SDL.h>
#include <SDL_ttf.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "graphics/canvas.h"
#include "graphics/text_cache.h"

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

// Coverage 0 means weight 1, under which the blend keeps every colour channel
// and only clears the top byte: the common empty pixel of a text box skips the
// arithmetic.
void blendCoverageRow(uint32_t* pixel, const unsigned char* coverage, int64_t count, uint32_t colour) {
    for (int64_t k = 0; k < count; ++k) {
        if (coverage[k] == 0) {
            pixel[k] &= 0xFFFFFFu;
        } else {
            Canvas::blend(pixel + k, colour, coverage[k] + 1u);
        }
    }
}

// The rows or columns [first, end) of an extent placed at `start` that lie
// on 0 .. size - 1.
struct Visible {
    int64_t first;
    int64_t end;
};

Visible visiblePart(int64_t start, int extent, uint32_t size) {
    return {std::max<int64_t>(0, -start), std::min<int64_t>(extent, int64_t{size} - start)};
}

}  // namespace

void blendText(Canvas& canvas, const CoverageImage& image, uint32_t colour, int x, int y, unsigned align) {
    if (!canvas.drawable() || image.data == nullptr) return;
    const int64_t left = int64_t{x} - anchorOffset(align, AlignLeft, AlignRight, image.width);
    const int64_t top = int64_t{y} - anchorOffset(align, AlignTop, AlignBottom, image.height);
    const Visible rows = visiblePart(top, image.height, canvas.height());
    const Visible columns = visiblePart(left, image.width, canvas.width());
    if (rows.first >= rows.end || columns.first >= columns.end) return;
    for (int64_t i = rows.first; i < rows.end; ++i) {
        uint32_t* pixel = canvas.pixelAt(static_cast<uint32_t>(left + columns.first), static_cast<uint32_t>(top + i));
        const unsigned char* coverage = image.data + i * image.stride + columns.first;
        blendCoverageRow(pixel, coverage, columns.end - columns.first, colour);
    }
}

Font::Font(Canvas* canvas, const char* file, int size, TextCache* cache) {
    initialiseTtfOnce();
    canvas_ = canvas;
    cache_ = cache != nullptr ? cache : &TextCache::shared();
    face_ = TTF_OpenFont(file, size);
    if (face_ != nullptr) openFaces().push_back(face_);
    if (face_ == nullptr) {
        std::printf("TTF_OpenFont(%s): %s\n", file, SDL_GetError());
        std::fflush(stdout);
    }
}

void Font::draw(const char* text, uint32_t colour, int x, int y, unsigned align) const {
    if (face_ == nullptr || canvas_ == nullptr || text == nullptr) return;
    blendText(*canvas_, cache_->coverage(face_, text), colour, x, y, align);
}
