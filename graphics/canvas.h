#pragma once

#include <cstdint>

// The software frame buffer that all drawing writes into.
//
// Pixels are 32-bit words: blue in bits 0-7, green 8-15, red 16-23; the top
// byte is 0 after any blend and ignored on screen. Rows lie a power of two of
// bytes apart (the pitch), so the start of row y is y << shift and never a
// multiplication. The words between the end of a row and the next row are
// padding: drawing never addresses them, clearing may write them.
class Canvas {
public:
    Canvas(uint32_t width, uint32_t height);
    ~Canvas();
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    // Keeps the buffer when the pitch and height stay; reallocates otherwise
    // (old pixels are not carried over). A zero size keeps the old buffer.
    void resize(uint32_t width, uint32_t height);

    uint32_t width() const { return width_; }
    uint32_t height() const { return height_; }
    uint32_t pitch() const { return pitch_; }
    uint32_t shift() const { return shift_; }
    uint32_t* pixels() const { return pixels_; }

    // True when there are pixels to write: a buffer and a non-zero size.
    // A canvas whose allocation failed has a size but no buffer.
    bool drawable() const { return pixels_ != nullptr && width_ != 0 && height_ != 0; }

    // No bounds check: callers clip to 0 <= x < width, 0 <= y < height.
    uint32_t* pixelAt(uint32_t x, uint32_t y) const {
        const uint32_t offset = 4u * x + (y << shift_);
        return reinterpret_cast<uint32_t*>(reinterpret_cast<unsigned char*>(pixels_) + offset);
    }

    // Mixes `colour` (opacity in the top byte) into *pixel under a coverage
    // weight from 1 (coverage 0) to 256 (fully covered). Per channel:
    // new = mul8(old, 255 - d) + mul8(channel, d) with d = ((A + 1) * w - 1) >> 8
    // and mul8(x, y) = ((x + 1) * (y + 1) - 1) >> 8. The sum never exceeds 255.
    static void blend(uint32_t* pixel, uint32_t colour, uint32_t weight) {
        const uint32_t alpha = colour >> 24;
        const uint32_t d = ((alpha + 1) * weight - 1) >> 8;
        const uint32_t old = *pixel;
        *pixel = mixChannels(old, 255 - d) + mixChannels(colour, d);
    }

    // The pitch in bytes for a width: 4 times the smallest power of two not below it.
    static void pitchFor(uint32_t width, uint32_t& pitch, uint32_t& shift);

private:
    // mul8(channel, k) for blue, green and red at once. Red and blue share one
    // multiplication: each lane of (c + 1) * (k + 1) - 1 lies in 0..65535, so
    // subtracting 0x10001 after the product leaves both lanes exact.
    static uint32_t mixChannels(uint32_t value, uint32_t k) {
        const uint32_t factor = k + 1;
        const uint32_t redBlue = ((value & 0xFF00FFu) + 0x10001u) * factor - 0x10001u;
        const uint32_t green = (((value >> 8) & 0xFFu) + 1u) * factor - 1u;
        return ((redBlue >> 8) & 0xFF00FFu) | (green & 0xFF00u);
    }

    void allocate();

    uint32_t* pixels_ = nullptr;
    uint32_t width_ = 0;
    uint32_t height_ = 0;
    uint32_t pitch_ = 0;
    uint32_t shift_ = 0;
};

// A non-owning handle on the canvas: clears it each frame and is what shapes draw through.
class Painter {
public:
    explicit Painter(Canvas* canvas) : canvas_(canvas) {}

    // Writes `colour` unchanged into every word from the first pixel to the
    // last pixel of the last row, padding of the other rows included.
    void clear(uint32_t colour);

    Canvas* canvas() const { return canvas_; }

private:
    Canvas* canvas_;
};
