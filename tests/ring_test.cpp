#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "graphics/figure.h"
#include "raster_oracle.h"

namespace {

// The weight of every pixel after one draw (0 where the ring did not blend).
struct Weights {
    uint32_t width;
    std::vector<int> weights;
    bool paddingIntact;

    int at(uint32_t x, uint32_t y) const { return weights[size_t{y} * width + x]; }
    int painted() const {
        int count = 0;
        for (int w : weights) count += w != 0;
        return count;
    }
};

Weights drawn(Ring&& ring, bool antialias, uint32_t width = 100, uint32_t height = 100) {
    Canvas canvas(width, height);
    Painter painter(&canvas);
    raster::fill(canvas, raster::Untouched, raster::Untouched);
    ring.draw(painter, raster::Recorder, antialias);
    Weights result{width, {}, raster::paddingIntact(canvas, raster::Untouched)};
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) result.weights.push_back(raster::weightAt(canvas, x, y));
    }
    return result;
}

TEST(RingFill, DiscWeightsFallOffOverTheLastPixel) {
    const Weights disc = drawn(Ring(50, 50, -255, 6), true);
    EXPECT_EQ(disc.painted(), 109);
    for (int i = -6; i <= 6; ++i) {
        for (int j = -6; j <= 6; ++j) {
            const int weight = disc.at(static_cast<uint32_t>(50 + j), static_cast<uint32_t>(50 + i));
            if (i * i + j * j >= 36) {
                EXPECT_EQ(weight, 0) << j << "," << i;
            } else if (i * i + j * j <= 25) {
                EXPECT_EQ(weight, 256) << j << "," << i;
            }
        }
    }
    EXPECT_EQ(disc.at(55, 52), 157);
    EXPECT_EQ(disc.at(54, 54), 88);
    EXPECT_EQ(disc.at(55, 53), 44);
    EXPECT_EQ(disc.at(53, 55), 44);

    const Weights small = drawn(Ring(10, 10, -255, 2), true);
    EXPECT_EQ(small.painted(), 9);
    for (uint32_t y = 9; y <= 11; ++y) {
        for (uint32_t x = 9; x <= 11; ++x) EXPECT_EQ(small.at(x, y), x != 10 && y != 10 ? 150 : 256);
    }
}

TEST(RingFill, AnnulusIncludesNeitherRadius) {
    const Weights ring = drawn(Ring(50, 50, 20, 24), true);
    EXPECT_EQ(ring.at(72, 50), 256);  // d = 22
    EXPECT_EQ(ring.at(50, 71), 256);  // d = 21
    EXPECT_EQ(ring.at(50, 70), 0);    // d = 20
    EXPECT_EQ(ring.at(62, 66), 0);    // d = 20 along a diagonal
    EXPECT_EQ(ring.at(50, 74), 0);    // d = 24
    EXPECT_EQ(ring.at(50, 50), 0);

    EXPECT_EQ(drawn(Ring(50, 50, 0, 3), true).at(50, 50), 0);
    EXPECT_EQ(drawn(Ring(50, 50, -0.5, 3), true).at(50, 50), 128);  // d - inner = 0.5

    const Weights hard = drawn(Ring(50, 50, 20, 24), false);
    for (uint32_t y = 0; y < 100; ++y) {
        for (uint32_t x = 0; x < 100; ++x) {
            const double d = std::hypot(static_cast<double>(x) - 50, static_cast<double>(y) - 50);
            ASSERT_EQ(hard.at(x, y), d > 20 && d < 24 ? 256 : 0) << x << "," << y;
        }
    }
}

TEST(RingFill, EmptyRingsPaintNothing) {
    EXPECT_EQ(drawn(Ring(50, 50, 5, 5), true).painted(), 0);
    EXPECT_EQ(drawn(Ring(50, 50, 7, 4), false).painted(), 0);
    EXPECT_EQ(drawn(Ring(50, 50, -255, 0), false).painted(), 0);
    EXPECT_EQ(drawn(Ring(50, 50, -255, -3), false).painted(), 0);
}

TEST(RingFill, ClipsAtEveryCanvasEdge) {
    const Weights corner = drawn(Ring(0, 0, -255, 6), true, 40, 30);
    EXPECT_EQ(corner.at(0, 0), 256);
    int quarter = 0;
    for (int i = 0; i < 6; ++i) {
        for (int j = 0; j < 6; ++j) quarter += i * i + j * j < 36;
    }
    EXPECT_EQ(corner.painted(), quarter);

    const Weights far = drawn(Ring(39, 29, -255, 6), true, 40, 30);
    EXPECT_EQ(far.at(39, 29), 256);
    EXPECT_EQ(far.painted(), quarter);
    EXPECT_TRUE(far.paddingIntact);

    // Offsets 0 and 1 of a centre at -0.5 both land in column 0: two blends.
    Canvas canvas(8, 8);
    Painter painter(&canvas);
    painter.clear(0xFFFFFF);
    Ring(-0.5, 4, -255, 3).draw(painter, 0x80000000, false);
    EXPECT_EQ(*canvas.pixelAt(0, 4), 0x3F3F3Fu);
    EXPECT_EQ(*canvas.pixelAt(1, 4), 0x7F7F7Fu);
}

TEST(RingFill, MatchesTheOracleOnRandomRings) {
    std::mt19937 random(314159u);
    const auto pick = [&](double low, double high) {
        const double value = std::uniform_real_distribution<double>(low, high)(random);
        switch (random() % 4) {
            case 0: return std::round(value);
            case 1: return std::round(value * 2) / 2;
            default: return value;
        }
    };
    const uint32_t sizes[][2] = {{1, 1}, {2, 5}, {7, 3}, {16, 16}, {37, 21}, {64, 40}};
    for (int trial = 0; trial < 3000; ++trial) {
        const auto& size = sizes[trial % 6];
        const double cx = pick(-10, size[0] + 10);
        const double cy = pick(-10, size[1] + 10);
        const double outer = pick(-1, 30);
        const int innerKind = (trial / 6) % 4;
        const double inner = innerKind == 0 ? -255.0 : innerKind == 1 ? 0.0 : pick(-3, outer);
        const uint32_t alphas[] = {0xFF000000u, 0, static_cast<uint32_t>(random()) & 0xFF000000u};
        const uint32_t colour = alphas[(trial / 7) % 3] | (static_cast<uint32_t>(random()) & 0xFFFFFFu);
        const bool antialias = trial % 5 != 0;

        Canvas expected(size[0], size[1]);
        Canvas actual(size[0], size[1]);
        std::vector<uint32_t> start(raster::wordCount(actual));
        for (uint32_t& w : start) w = static_cast<uint32_t>(random());
        raster::setWords(expected, start);
        raster::setWords(actual, start);
        Painter painter(&actual);
        Ring(cx, cy, inner, outer).draw(painter, colour, antialias);
        oracle::drawRing(expected, cx, cy, inner, outer, colour, antialias);
        ASSERT_EQ(raster::words(actual), raster::words(expected))
            << "trial " << trial << ": " << cx << "," << cy << " " << inner << ".." << outer;
    }
}

TEST(RingFill, FarCentresWithHugeRadiiStayExact) {
    const double rings[][4] = {
        {-1e9, 15, -255, 1e9 + 20}, {20, 2e9, 2e9 - 10.5, 2e9 + 3}, {1e9 + 0.5, -1e9, 1.4e9, 1.5e9}, {20, 15, -255, 1e9}};
    for (const auto& r : rings) {
        for (bool antialias : {true, false}) {
            Canvas expected(40, 30);
            Canvas actual(40, 30);
            raster::fill(expected, 0x808080, raster::Untouched);
            raster::fill(actual, 0x808080, raster::Untouched);
            Painter painter(&actual);
            Ring(r[0], r[1], r[2], r[3]).draw(painter, 0xC0FF0000, antialias);
            oracle::drawRing(expected, r[0], r[1], r[2], r[3], 0xC0FF0000, antialias);
            EXPECT_EQ(raster::words(actual), raster::words(expected)) << r[0] << "," << r[1];
        }
    }
}

TEST(RingFill, SurvivesHostileGeometryAndCanvases) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double rings[][4] = {
        {1e18, 1e18, -255, 2e18},  {-1e18, 5, -1, 3e18},   {1e300, -1e300, -inf, inf}, {5, 5, -inf, inf},
        {5, 5, nan, 10},           {5, 5, -255, nan},      {nan, 5, -255, 10},          {inf, 5, -255, inf},
        {3e15 + 0.5, 2, -255, 3e15 + 40}, {4, -5e17, -255, 5e17 + 9}, {2, 2, -255, 1e-300}, {0, 0, -1e308, 1e308},
    };
    const uint32_t sizes[][2] = {{1, 1}, {3, 3}, {33, 17}, {0, 0}};
    const auto started = std::chrono::steady_clock::now();
    for (const auto& r : rings) {
        for (const auto& size : sizes) {
            Canvas canvas(size[0], size[1]);
            if (canvas.pixels() != nullptr) {
                raster::fill(canvas, 0x445566, 0xDEADBEEF);
            }
            Painter painter(&canvas);
            Ring(r[0], r[1], r[2], r[3]).draw(painter, 0xFF000000, true);
            if (canvas.pixels() != nullptr) {
                EXPECT_TRUE(raster::paddingIntact(canvas, 0xDEADBEEF));
            }
        }
        Canvas broken(1024, 1u << 22);
        ASSERT_EQ(broken.pixels(), nullptr);
        Painter painter(&broken);
        Ring(r[0], r[1], r[2], r[3]).draw(painter, 0xFF000000, true);
        Ring(10, 10, -255, 50).draw(painter, 0xFF000000, false);
    }
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20));
}

}  // namespace
