#include "graphics/canvas.h"

#include <algorithm>
#include <cstdlib>

namespace {

// pixelAt forms byte offsets in 32-bit arithmetic, so a buffer must stay below
// 4 GiB and a pitch must fit in 32 bits.
constexpr uint64_t MaxBufferBytes = 0xFFFFFFFFull;
constexpr uint32_t MaxWidth = 1u << 29;

}  // namespace

void Canvas::pitchFor(uint32_t width, uint32_t& pitch, uint32_t& shift) {
    uint32_t p = 1;
    uint32_t k = 0;
    // Stops at 2^31 rather than overflowing; such widths get no buffer anyway.
    while (width > p && p < (1u << 31)) {
        p <<= 1;
        ++k;
    }
    pitch = 4 * p;
    shift = k + 2;
}

Canvas::Canvas(uint32_t width, uint32_t height) {
    if (width == 0 || height == 0) return;
    width_ = width;
    height_ = height;
    allocate();
}

Canvas::~Canvas() { std::free(pixels_); }

void Canvas::resize(uint32_t width, uint32_t height) {
    if (width == width_ && height == height_) return;
    if (width == 0 || height == 0) {
        width_ = height_ = pitch_ = shift_ = 0;
        return;
    }
    const uint32_t oldPitch = pitch_;
    const uint32_t oldHeight = height_;
    width_ = width;
    if (width <= MaxWidth) {
        pitchFor(width, pitch_, shift_);
        if (pitch_ == oldPitch && height == oldHeight) return;
    }
    height_ = height;
    std::free(pixels_);
    allocate();
}

// A size that 32-bit pixel addressing cannot reach leaves the canvas without a
// buffer, exactly like a failed allocation: nothing is drawn into it.
void Canvas::allocate() {
    pixels_ = nullptr;
    if (width_ > MaxWidth) {
        pitch_ = shift_ = 0;
        return;
    }
    pitchFor(width_, pitch_, shift_);
    const uint64_t bytes = uint64_t{pitch_} * height_;
    if (bytes > MaxBufferBytes) return;
    pixels_ = static_cast<uint32_t*>(std::malloc(static_cast<size_t>(bytes)));
}

void Painter::clear(uint32_t colour) {
    if (canvas_ == nullptr || !canvas_->drawable()) return;
    const uint64_t bytes = uint64_t{canvas_->height() - 1} * canvas_->pitch() + 4ull * canvas_->width();
    std::fill_n(canvas_->pixels(), bytes / 4, colour);
}
