#include <gtest/gtest.h>

#include <SDL.h>
#include <SDL_ttf.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "graphics/canvas.h"
#include "graphics/font.h"
#include "graphics/text_cache.h"

namespace {

constexpr uint32_t Width = 150;  // a pitch of 256 pixels: columns 150..255 of every row are padding
constexpr uint32_t Height = 70;

// The drawing rule as written, uncached: render the text, anchor its box,
// and blend every pixel of the box that lies on the canvas with its coverage
// plus 1. The coverage is read through the surface's alpha mask.
void drawLiterally(Canvas& canvas, TTF_Font* face, const char* text, uint32_t colour, int x, int y,
                   unsigned align) {
    SDL_Surface* surface = TTF_RenderText_Blended(face, text, SDL_Color{255, 255, 255, 255});
    if (surface == nullptr) return;
    ASSERT_EQ(SDL_LockSurface(surface), 0);
    const int w = surface->w;
    const int h = surface->h;
    if (!(align & AlignLeft)) x -= (align & AlignRight) ? w : w / 2;
    if (!(align & AlignTop)) y -= (align & AlignBottom) ? h : h / 2;
    for (int i = 0; i < h; ++i) {
        for (int k = 0; k < w; ++k) {
            const int64_t cx = int64_t{x} + k;
            const int64_t cy = int64_t{y} + i;
            if (cx < 0 || cx >= canvas.width() || cy < 0 || cy >= canvas.height()) continue;
            uint32_t value = 0;
            std::memcpy(&value, static_cast<const char*>(surface->pixels) + i * surface->pitch + 4 * k, 4);
            const uint32_t coverage = (value & surface->format->Amask) >> surface->format->Ashift;
            Canvas::blend(canvas.pixelAt(uint32_t(cx), uint32_t(cy)), colour, coverage + 1);
        }
    }
    SDL_UnlockSurface(surface);
    SDL_FreeSurface(surface);
}

std::vector<std::string> textPool(std::mt19937& random) {
    std::vector<std::string> pool = {"0", "1", "17", "0.500", "1.000", "count:            0", "chance:      nan%",
                                     "chance:   33.333%", "alpha", "gamma", "", "\xE9t\xE9 \xB5"};
    std::uniform_int_distribution<int> length(1, 14);
    std::uniform_int_distribution<int> printable(32, 126);
    for (int n = 0; n < 30; ++n) {
        std::string text(length(random), ' ');
        for (char& c : text) c = static_cast<char>(printable(random));
        pool.push_back(text);
    }
    pool.push_back(std::string(60, 'W'));  // wider than the canvas
    return pool;
}

uint32_t randomColour(std::mt19937& random) {
    const uint32_t colour = random();
    switch (random() % 4) {
        case 0: return colour & 0xFFFFFFu;    // invisible
        case 1: return colour | 0xFF000000u;  // opaque
        default: return colour;
    }
}

}  // namespace

// Fonts drawing through no cache, a cache so small that it keeps evicting
// (and cannot hold the widest texts at all), and a roomy one, beside the
// literal rule: every canvas word, padding included, must agree after every
// draw, on random backgrounds with random top bytes, at positions that clip
// the text at every edge or leave it wholly off the canvas.
TEST(TextCache, EveryDrawLeavesTheCanvasOfTheUncachedRule) {
    constexpr int Draws = 1500;
    std::mt19937 random(11);
    TextCache none(0);
    TextCache tiny(3000);
    TextCache roomy;
    TextCache* caches[] = {&none, &tiny, &roomy};

    std::vector<std::unique_ptr<Canvas>> canvases;
    for (int c = 0; c < 4; ++c) canvases.push_back(std::make_unique<Canvas>(Width, Height));
    const size_t words = size_t{Height} * canvases[0]->pitch() / 4;
    for (size_t n = 0; n < words; ++n) {
        const uint32_t background = random();
        for (auto& canvas : canvases) canvas->pixels()[n] = background;
    }

    std::vector<std::array<Font, 3>> fonts;  // per size: one font per cache
    std::vector<TTF_Font*> faces;            // the literal rule's own faces, same file and size
    for (const int size : {24, 20, 9}) {
        fonts.push_back({Font(canvases[1].get(), VORLASK_TEST_FONT, size, caches[0]),
                         Font(canvases[2].get(), VORLASK_TEST_FONT, size, caches[1]),
                         Font(canvases[3].get(), VORLASK_TEST_FONT, size, caches[2])});
        ASSERT_TRUE(fonts.back()[0].isOpen()) << VORLASK_TEST_FONT;
        faces.push_back(TTF_OpenFont(VORLASK_TEST_FONT, size));
        ASSERT_NE(faces.back(), nullptr);
    }

    const std::vector<std::string> pool = textPool(random);
    std::uniform_int_distribution<int> xs(-130, Width + 60);
    std::uniform_int_distribution<int> ys(-40, Height + 30);
    for (int draw = 0; draw < Draws; ++draw) {
        const size_t size = random() % faces.size();
        const std::string& text = pool[random() % pool.size()];
        const uint32_t colour = randomColour(random);
        const int x = xs(random);
        const int y = ys(random);
        const unsigned align = random() % 16;
        drawLiterally(*canvases[0], faces[size], text.c_str(), colour, x, y, align);
        for (Font& font : fonts[size]) font.draw(text.c_str(), colour, x, y, align);
        for (int c = 1; c < 4; ++c) {
            ASSERT_EQ(std::memcmp(canvases[0]->pixels(), canvases[c]->pixels(), words * 4), 0)
                << "cache " << c - 1 << ", draw " << draw << ": \"" << text << "\" at " << x << "," << y
                << " align " << align;
        }
    }
    for (TTF_Font* face : faces) TTF_CloseFont(face);
}

namespace {

std::vector<unsigned char> bytesOf(const CoverageImage& image) {
    std::vector<unsigned char> bytes;
    for (int i = 0; i < image.height; ++i) bytes.insert(bytes.end(), image.data + i * image.stride, image.data + i * image.stride + image.width);
    return bytes;
}

}  // namespace

// A kept text comes back as it was rendered, even after its face has changed
// (here: turned bold); a text that is not kept is rendered from the face as it
// is now. That tells which texts the cache holds: the most recently drawn
// ones that fit its budget, per face.
TEST(TextCache, KeepsTheMostRecentlyDrawnTextsThatFitItsBudget) {
    ASSERT_TRUE(Font(nullptr, VORLASK_TEST_FONT, 120).isOpen());  // SDL_ttf initialised as the program does
    TTF_Font* face = TTF_OpenFont(VORLASK_TEST_FONT, 120);  // large glyphs: bookkeeping is small beside them
    TTF_Font* smaller = TTF_OpenFont(VORLASK_TEST_FONT, 60);
    ASSERT_TRUE(face && smaller);
    TextCache uncached(0);
    const auto render = [&](const char* text) { return bytesOf(uncached.coverage(face, text)); };
    const char* texts[3] = {"1", "2", "3"};
    std::vector<unsigned char> plain[3], bold[3];
    for (int k = 0; k < 3; ++k) plain[k] = render(texts[k]);
    TTF_SetFontStyle(face, TTF_STYLE_BOLD);
    for (int k = 0; k < 3; ++k) bold[k] = render(texts[k]);
    TTF_SetFontStyle(face, TTF_STYLE_NORMAL);
    size_t largest = 0, smallest = SIZE_MAX;
    for (int k = 0; k < 3; ++k) {
        ASSERT_NE(plain[k], bold[k]);
        largest = std::max(largest, plain[k].size());
        smallest = std::min(smallest, plain[k].size());
    }
    ASSERT_GT(3 * smallest, 2.5 * largest) << "two texts must fit the budget below, three not";

    TextCache two(largest * 5 / 2);
    two.coverage(face, "1");
    two.coverage(face, "2");
    two.coverage(face, "1");
    two.coverage(face, "3");  // "2", the least recently drawn, makes room
    TTF_SetFontStyle(face, TTF_STYLE_BOLD);
    EXPECT_EQ(bytesOf(two.coverage(face, "1")), plain[0]);
    EXPECT_EQ(bytesOf(two.coverage(face, "3")), plain[2]);
    EXPECT_EQ(bytesOf(two.coverage(face, "2")), bold[1]);  // makes room in turn: "1" goes
    EXPECT_EQ(bytesOf(two.coverage(face, "1")), bold[0]);
    EXPECT_EQ(bytesOf(two.coverage(face, "2")), bold[1]);
    TTF_SetFontStyle(face, TTF_STYLE_NORMAL);

    // A text larger than the whole budget is drawn but never kept.
    TextCache tight(smallest / 2);
    EXPECT_EQ(bytesOf(tight.coverage(face, "1")), plain[0]);
    TTF_SetFontStyle(face, TTF_STYLE_BOLD);
    EXPECT_EQ(bytesOf(tight.coverage(face, "1")), bold[0]);
    TTF_SetFontStyle(face, TTF_STYLE_NORMAL);

    // The default budget holds a good many texts; one face's text is not another's.
    TextCache roomy;
    for (const char* text : texts) roomy.coverage(face, text);
    const std::vector<unsigned char> large = bytesOf(roomy.coverage(face, "1"));
    EXPECT_EQ(large, plain[0]);
    EXPECT_NE(bytesOf(roomy.coverage(smaller, "1")), large);
    TTF_SetFontStyle(face, TTF_STYLE_BOLD);
    for (int k = 0; k < 3; ++k) EXPECT_EQ(bytesOf(roomy.coverage(face, texts[k])), plain[k]);
    TTF_SetFontStyle(face, TTF_STYLE_NORMAL);
    TTF_CloseFont(smaller);
    TTF_CloseFont(face);
}
