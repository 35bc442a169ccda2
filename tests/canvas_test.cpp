#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

#include "graphics/canvas.h"

namespace {

uint32_t mul8(uint32_t x, uint32_t y) { return ((x + 1) * (y + 1) - 1) >> 8; }

// The blending rule written out channel by channel, with its clamp.
uint32_t referenceBlend(uint32_t old, uint32_t colour, uint32_t weight) {
    const uint32_t d = (((colour >> 24) + 1) * weight - 1) >> 8;
    uint32_t result = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        uint32_t value = mul8((old >> shift) & 0xFF, 255 - d) + mul8((colour >> shift) & 0xFF, d);
        if (value > 255) value = 255;
        result |= value << shift;
    }
    return result;
}

uint32_t blended(uint32_t old, uint32_t colour, uint32_t weight) {
    uint32_t pixel = old;
    Canvas::blend(&pixel, colour, weight);
    return pixel;
}

}  // namespace

TEST(CanvasGeometry, PitchIsFourTimesThePowerOfTwoNotBelowTheWidth) {
    struct Case { uint32_t width, pitch, shift; };
    for (const Case c : {Case{1, 4, 2}, Case{2, 8, 3}, Case{3, 16, 4}, Case{1000, 4096, 12}, Case{1024, 4096, 12},
                         Case{1025, 8192, 13}}) {
        Canvas canvas(c.width, 3);
        EXPECT_EQ(canvas.pitch(), c.pitch) << c.width;
        EXPECT_EQ(canvas.shift(), c.shift) << c.width;
        EXPECT_NE(canvas.pixels(), nullptr);
    }
}

// For every width a buffer can be made for: a power of two of pixels, at
// least the width and less than twice it, and the shift its logarithm.
TEST(CanvasGeometry, PitchIsTheSmallestPowerOfTwoForEveryAddressableWidth) {
    std::vector<uint32_t> widths;
    for (uint32_t w = 1; w <= 5000; ++w) widths.push_back(w);
    for (uint32_t k = 12; k <= 29; ++k) {
        for (uint32_t w : {(1u << k) - 1, 1u << k, (1u << k) + 1}) widths.push_back(w);
    }
    for (const uint32_t w : widths) {
        if (w > (1u << 29)) continue;
        uint32_t pitch = 0;
        uint32_t shift = 0;
        Canvas::pitchFor(w, pitch, shift);
        const uint64_t pixels = pitch / 4;
        ASSERT_EQ(pitch % 4, 0u) << w;
        ASSERT_EQ(pixels & (pixels - 1), 0u) << w << ": " << pitch;
        ASSERT_GE(pixels, w) << w;
        ASSERT_TRUE(w == 1 || pixels < 2ull * w) << w << ": " << pitch;
        ASSERT_EQ(uint64_t{1} << shift, pitch) << w;
    }
    // The widest canvas whose pitch fits 32 bits gets its buffer (it costs
    // address space only: one page is touched), and resizes within its pitch
    // keep it; one pixel more gets none, and no pitch either.
    Canvas widest(1u << 29, 1);
    EXPECT_EQ(widest.pitch(), 1u << 31);
    ASSERT_TRUE(widest.drawable());
    *widest.pixelAt(0, 0) = 0x123456;
    widest.resize((1u << 29) - 1, 1);
    widest.resize(1u << 29, 1);
    ASSERT_TRUE(widest.drawable());
    EXPECT_EQ(*widest.pixelAt(0, 0), 0x123456u);
    widest.resize((1u << 29) + 1, 1);
    EXPECT_FALSE(widest.drawable());
    EXPECT_EQ(widest.pixels(), nullptr);
    Canvas wider((1u << 29) + 1, 1);
    EXPECT_EQ(wider.pixels(), nullptr);
    EXPECT_EQ(wider.pitch(), 0u);
    EXPECT_EQ(wider.shift(), 0u);
}

TEST(CanvasGeometry, PixelAddressUsesTheShiftedRow) {
    Canvas canvas(1024, 768);
    const auto* base = reinterpret_cast<unsigned char*>(canvas.pixels());
    EXPECT_EQ(reinterpret_cast<unsigned char*>(canvas.pixelAt(5, 2)) - base, 8212);
    EXPECT_EQ(reinterpret_cast<unsigned char*>(canvas.pixelAt(1023, 767)) - base, 3145728 - 4);
}

TEST(CanvasGeometry, ZeroSizeMakesAnEmptyCanvas) {
    for (const auto& size : {std::pair<uint32_t, uint32_t>{0, 10}, {10, 0}}) {
        Canvas empty(size.first, size.second);
        EXPECT_EQ(empty.pixels(), nullptr);
        EXPECT_EQ(empty.width(), 0u);
        EXPECT_EQ(empty.height(), 0u);
        EXPECT_EQ(empty.pitch(), 0u);
        EXPECT_EQ(empty.shift(), 0u);
        EXPECT_FALSE(empty.drawable());
    }
}

TEST(CanvasResize, KeepsTheBufferWithinThePowerOfTwoAndReallocatesBeyond) {
    Canvas canvas(1024, 768);
    uint32_t* buffer = canvas.pixels();
    // The first words too: a buffer freed and taken again would lose them to
    // the allocator's bookkeeping even where it comes back at the same address.
    *canvas.pixelAt(0, 0) = 0xABCDEF;
    *canvas.pixelAt(1, 0) = 0xFEDCBA;
    *canvas.pixelAt(7, 7) = 0x123456;

    canvas.resize(1000, 768);
    EXPECT_EQ(canvas.pixels(), buffer);
    EXPECT_EQ(*canvas.pixelAt(0, 0), 0xABCDEFu);
    EXPECT_EQ(*canvas.pixelAt(1, 0), 0xFEDCBAu);
    EXPECT_EQ(*canvas.pixelAt(7, 7), 0x123456u);
    EXPECT_EQ(canvas.width(), 1000u);
    canvas.resize(1000, 768);
    EXPECT_EQ(*canvas.pixelAt(0, 0), 0xABCDEFu);

    canvas.resize(1100, 768);
    EXPECT_EQ(canvas.pitch(), 8192u);
    EXPECT_EQ(canvas.width(), 1100u);
    ASSERT_NE(canvas.pixels(), nullptr);
    // Room for every pixel of the wider rows.
    Painter(&canvas).clear(0x123456);
    EXPECT_EQ(*canvas.pixelAt(1099, 767), 0x123456u);

    canvas.resize(1100, 500);
    EXPECT_EQ(canvas.height(), 500u);

    // One row or one column is a size like any other.
    canvas.resize(1, 500);
    EXPECT_EQ(canvas.width(), 1u);
    EXPECT_EQ(canvas.pitch(), 4u);
    EXPECT_TRUE(canvas.drawable());
    canvas.resize(64, 1);
    EXPECT_EQ(canvas.height(), 1u);
    EXPECT_EQ(canvas.pitch(), 256u);
    EXPECT_TRUE(canvas.drawable());
}

TEST(CanvasResize, ZeroSizeReportsNothingYetKeepsTheBufferUntilTheNextSize) {
    Canvas canvas(64, 64);
    uint32_t* buffer = canvas.pixels();

    canvas.resize(0, 0);
    EXPECT_EQ(canvas.width(), 0u);
    EXPECT_EQ(canvas.height(), 0u);
    EXPECT_EQ(canvas.pitch(), 0u);
    EXPECT_EQ(canvas.pixels(), buffer);
    EXPECT_FALSE(canvas.drawable());
    // Either side at 0 is no size at all.
    for (const auto& size : {std::pair<uint32_t, uint32_t>{0, 10}, {10, 0}}) {
        Canvas other(64, 64);
        other.resize(size.first, size.second);
        EXPECT_EQ(other.width(), 0u);
        EXPECT_EQ(other.height(), 0u);
        EXPECT_EQ(other.pitch(), 0u);
        EXPECT_EQ(other.shift(), 0u);
    }

    canvas.resize(64, 64);
    EXPECT_EQ(canvas.width(), 64u);
    EXPECT_EQ(canvas.pitch(), 256u);
    EXPECT_TRUE(canvas.drawable());
}

TEST(CanvasResize, SizesBeyondThirtyTwoBitAddressingLeaveNoBuffer) {
    Canvas exactly(1024, 1u << 20);  // 4 GiB to the byte: the last offset would wrap
    EXPECT_EQ(exactly.pixels(), nullptr);
    Canvas canvas(1u << 20, 1u << 13);
    EXPECT_EQ(canvas.pixels(), nullptr);
    EXPECT_FALSE(canvas.drawable());
    Painter(&canvas).clear(0);  // must not write anywhere

    canvas.resize(16, 16);
    EXPECT_TRUE(canvas.drawable());
    canvas.resize(0xFFFFFFFFu, 2);
    EXPECT_FALSE(canvas.drawable());
}

TEST(PainterClear, FillsEveryRowWithItsPaddingButNotPastTheLastPixel) {
    Canvas canvas(1000, 4);
    Painter painter(&canvas);
    uint32_t* words = canvas.pixels();
    const uint32_t total = canvas.pitch() / 4 * canvas.height();
    for (uint32_t i = 0; i < total; ++i) words[i] = 0xDEADBEEF;

    painter.clear(0xFFC0C0C0);
    const uint32_t cleared = (3 * canvas.pitch() + 4 * 1000) / 4;
    for (uint32_t i = 0; i < cleared; ++i) ASSERT_EQ(words[i], 0xFFC0C0C0u) << i;
    for (uint32_t i = cleared; i < total; ++i) ASSERT_EQ(words[i], 0xDEADBEEFu) << i;
}

// A canvas resized to nothing still holds its old buffer: clear must not
// write a word of it. A painter without canvas and a canvas whose size could
// not be addressed have nothing to fill; once the canvas has pixels again,
// the same painter fills them.
TEST(PainterClear, WritesNothingIntoACanvasWithoutPixels) {
    Canvas shrunk(64, 64);
    uint32_t* kept = shrunk.pixels();
    std::fill_n(kept, 64 * 64, 0xABCDEFu);
    shrunk.resize(0, 0);
    Painter(&shrunk).clear(0xC0C0C0);
    EXPECT_EQ(std::count(kept, kept + 64 * 64, 0xABCDEFu), 64 * 64);

    Painter(nullptr).clear(0);
    Canvas huge(1u << 20, 1u << 13);
    Painter painter(&huge);
    painter.clear(0);
    huge.resize(8, 2);
    painter.clear(0x123456);
    EXPECT_EQ(*huge.pixelAt(0, 0), 0x123456u);
    EXPECT_EQ(*huge.pixelAt(7, 1), 0x123456u);
}

TEST(Blend, MatchesTheWorkedValues) {
    EXPECT_EQ(blended(0xC0C0C0, 0xC0000000, 256), 0x303030u);
    EXPECT_EQ(blended(0xC0C0C0, 0xC0000000, 128), 0x787878u);
    EXPECT_EQ(blended(0xC0C0C0, 0xC0000000, 1), 0xC0C0C0u);
    EXPECT_EQ(blended(0x12345678, 0xFFABCDEF, 256), 0xABCDEFu);
    EXPECT_EQ(blended(0xFF123456, 0x00ABCDEF, 256), 0x123456u);
}

// The packed arithmetic must agree with the per-channel rule everywhere.
TEST(Blend, PackedChannelsAgreeWithThePerChannelRuleExhaustively) {
    for (uint32_t alpha = 0; alpha < 256; alpha += 5) {
        for (uint32_t weight = 1; weight <= 256; ++weight) {
            for (uint32_t value = 0; value < 256; value += 3) {
                const uint32_t old = value | (255 - value) << 8 | ((value * 7) & 0xFF) << 16 | 0xAB000000u;
                const uint32_t colour = alpha << 24 | ((value * 13) & 0xFF) | (255 - value) << 16 | value << 8;
                ASSERT_EQ(blended(old, colour, weight), referenceBlend(old, colour, weight))
                    << std::hex << old << " " << colour << " " << std::dec << weight;
            }
        }
    }
    for (uint32_t a = 0; a < 256; ++a)
        for (uint32_t b = 0; b < 256; ++b) {
            ASSERT_EQ(blended(a * 0x010101u, 0xFF000000u | b * 0x010101u, 256), b * 0x010101u);
            ASSERT_EQ(blended(a * 0x010101u, b << 24 | 0xFFFFFF, 256), referenceBlend(a * 0x010101u, b << 24 | 0xFFFFFF, 256));
        }
}
