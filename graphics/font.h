#pragma once

#include <cstdint>

class Canvas;
class TextCache;
struct _TTF_Font;

enum TextAlign : unsigned {
    AlignLeft = 1,
    AlignRight = 2,   // looked at only when AlignLeft is clear
    AlignTop = 4,
    AlignBottom = 8,  // looked at only when AlignTop is clear
};

// Glyph coverage of one rendered text: w x h bytes, 0 (empty) to 255 (covered),
// rows `stride` bytes apart.
struct CoverageImage {
    const unsigned char* data = nullptr;
    int width = 0;
    int height = 0;
    int stride = 0;
};

// Blends coverage into the canvas in `colour`, anchored at (x, y) by the
// alignment bits (0 centres it). Pixels outside the canvas are skipped; every
// pixel of the box inside it goes through the blend, also at coverage 0.
void blendText(Canvas& canvas, const CoverageImage& image, uint32_t colour, int x, int y, unsigned align);

// One TrueType face at one point size, drawing into one canvas. Faces stay
// open until SDL_ttf shuts down at process exit. Texts are rendered through a
// TextCache, the process's shared one unless another is given.
class Font {
public:
    // A face that fails to open is reported with one line on standard output;
    // the Font then draws nothing.
    Font(Canvas* canvas, const char* file, int size, TextCache* cache = nullptr);
    // A font without a face: draws nothing. For code that needs a Font but no text.
    Font() = default;

    void draw(const char* text, uint32_t colour, int x, int y, unsigned align) const;

    bool isOpen() const { return face_ != nullptr; }

private:
    _TTF_Font* face_ = nullptr;
    Canvas* canvas_ = nullptr;
    TextCache* cache_ = nullptr;
};
