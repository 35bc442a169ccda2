#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "graphics/figure.h"
#include "graphics/repeated_addition.h"
#include "raster_oracle.h"

namespace {

using raster::weightAt;

std::vector<Span> spansOf(Polygon& shape) {
    shape.buildSpans();
    return std::vector<Span>(shape.spans.begin(), shape.spans.end());
}

bool sameSpans(const std::vector<Span>& a, const std::vector<Span>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i].row != b[i].row || a[i].left != b[i].left || a[i].right != b[i].right) return false;
    }
    return true;
}

void expectVertices(const Polygon& shape, const std::vector<Point>& expected) {
    ASSERT_EQ(shape.vertices.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(shape.vertices[i].x, expected[i].x) << "vertex " << i;
        EXPECT_EQ(shape.vertices[i].y, expected[i].y) << "vertex " << i;
    }
}

// A canvas prepared to record weights (see raster::weightAt).
struct WeightCanvas {
    explicit WeightCanvas(uint32_t width = 48, uint32_t height = 40) : canvas(width, height), painter(&canvas) {
        raster::fill(canvas, raster::Untouched, raster::Untouched);
    }
    int at(uint32_t x, uint32_t y) const { return weightAt(canvas, x, y); }
    Canvas canvas;
    Painter painter;
};

TEST(FigureOutline, RectangleOrdersCornersCounterClockwise) {
    Rectangle swapped(20, 30, 10, 5);
    EXPECT_EQ(swapped.minX, 10);
    EXPECT_EQ(swapped.minY, 5);
    EXPECT_EQ(swapped.maxX, 20);
    EXPECT_EQ(swapped.maxY, 30);
    expectVertices(swapped, {{10, 5}, {10, 30}, {20, 30}, {20, 5}});
    Rectangle ordered(10, 5, 20, 30);
    expectVertices(ordered, {{10, 5}, {10, 30}, {20, 30}, {20, 5}});
}

TEST(FigureOutline, LineCornersKeepTheirOrientationBothWays) {
    Line rightward(10, 20, 30, 20, 4);
    EXPECT_EQ(rightward.halfWidth, 2);
    expectVertices(rightward, {{10, 18}, {10, 22}, {30, 22}, {30, 18}});
    Line leftward(30, 20, 10, 20, 4);
    expectVertices(leftward, {{30, 22}, {30, 18}, {10, 18}, {10, 22}});
}

TEST(FigureOutline, ZeroLengthLineHasNoSpansAndPaintsNothing) {
    Line dot(12, 12, 12, 12, 6);
    for (const Point& p : dot.vertices) EXPECT_TRUE(std::isnan(p.x) && std::isnan(p.y));
    EXPECT_TRUE(spansOf(dot).empty());
    WeightCanvas target;
    dot.draw(target.painter, raster::Recorder, false);
    EXPECT_EQ(raster::words(target.canvas), std::vector<uint32_t>(raster::wordCount(target.canvas), raster::Untouched));
}

TEST(PolygonFill, WholeNumberRectangleWeights) {
    Rectangle square(10, 10, 20, 20);
    const auto spans = spansOf(square);
    ASSERT_EQ(spans.size(), 10u);
    for (int r = 0; r < 10; ++r) EXPECT_TRUE(sameSpans({spans[r]}, {Span{10 + r, 10, 20}}));

    WeightCanvas smooth;
    square.draw(smooth.painter, raster::Recorder, true);
    WeightCanvas hard;
    square.draw(hard.painter, raster::Recorder, false);
    for (uint32_t y = 0; y < 40; ++y) {
        for (uint32_t x = 0; x < 48; ++x) {
            const bool inside = x >= 10 && x <= 19 && y >= 10 && y <= 19;
            const int onBorder = (x == 10 || x == 19) + (y == 10 || y == 19);
            const int expected = !inside ? 0 : onBorder == 0 ? 256 : onBorder == 1 ? 128 : 64;
            ASSERT_EQ(smooth.at(x, y), expected) << x << "," << y;
            ASSERT_EQ(hard.at(x, y), inside ? 256 : 0) << x << "," << y;
        }
    }
}

TEST(PolygonFill, HalfPixelRectangleHasAZeroCoverageFrame) {
    Rectangle square(10.5, 10.5, 20.5, 20.5);
    const auto spans = spansOf(square);
    ASSERT_EQ(spans.size(), 11u);
    for (int r = 0; r < 11; ++r) EXPECT_TRUE(sameSpans({spans[r]}, {Span{10 + r, 10, 21}}));

    WeightCanvas smooth;
    square.draw(smooth.painter, raster::Recorder, true);
    WeightCanvas hard;
    square.draw(hard.painter, raster::Recorder, false);
    for (uint32_t y = 0; y < 40; ++y) {
        for (uint32_t x = 0; x < 48; ++x) {
            const bool visited = x >= 10 && x <= 20 && y >= 10 && y <= 20;
            const bool frame = visited && (x == 10 || x == 20 || y == 10 || y == 20);
            ASSERT_EQ(smooth.at(x, y), !visited ? 0 : frame ? 1 : 256) << x << "," << y;
            ASSERT_EQ(hard.at(x, y), visited ? 256 : 0) << x << "," << y;
        }
    }
}

TEST(PolygonFill, FlatEdgePushesRightBoundariesOut) {
    const Point corners[] = {{0, 0}, {0, 10}, {40, 10}};
    Polygon triangle(corners, 3);
    const auto spans = spansOf(triangle);
    ASSERT_FALSE(spans.empty());
    EXPECT_TRUE(sameSpans({spans[0]}, {Span{0, 0, 6}}));

    WeightCanvas smooth;
    triangle.draw(smooth.painter, raster::Recorder, true);
    WeightCanvas hard;
    triangle.draw(hard.painter, raster::Recorder, false);
    for (uint32_t x = 2; x <= 5; ++x) EXPECT_EQ(smooth.at(x, 0), 1) << x;
    for (uint32_t x = 0; x <= 5; ++x) EXPECT_EQ(hard.at(x, 0), 256) << x;
    EXPECT_EQ(hard.at(6, 0), 0);
}

TEST(PolygonFill, LeftBoundaryInsideACompleteSpanPaintsTwice) {
    Line slanted(10, 30, 20, 5, 2);
    std::vector<Span> row29;
    for (const Span& span : spansOf(slanted)) {
        if (span.row == 29) row29.push_back(span);
    }
    EXPECT_TRUE(sameSpans(row29, {Span{29, 8, 12}, Span{29, 9, 12}}));

    // Half-opaque black over white: once gives 0x7F, twice 0x3F.
    Canvas canvas(48, 40);
    Painter painter(&canvas);
    painter.clear(0xFFFFFF);
    slanted.draw(painter, 0x80000000, false);
    EXPECT_EQ(*canvas.pixelAt(8, 29), 0x7F7F7Fu);
    for (uint32_t x = 9; x <= 11; ++x) EXPECT_EQ(*canvas.pixelAt(x, 29), 0x3F3F3Fu) << x;
    EXPECT_EQ(*canvas.pixelAt(12, 29), 0xFFFFFFu);
}

TEST(PolygonFill, ClockwiseOutlineKeepsColoursWithAntialiasing) {
    const Point clockwise[] = {{5, 5}, {30, 5}, {30, 25}, {5, 25}};
    Polygon shape(clockwise, 4);
    Canvas canvas(40, 30);
    Painter painter(&canvas);
    painter.clear(0x123456);
    shape.draw(painter, 0xFFABCDEF, true);
    for (uint32_t y = 0; y < 30; ++y) {
        for (uint32_t x = 0; x < 40; ++x) ASSERT_EQ(*canvas.pixelAt(x, y) & 0xFFFFFFu, 0x123456u);
    }
}

TEST(PolygonFill, RepeatedVertexChangesNothing) {
    const Point plain[] = {{3.3, 2.1}, {7.9, 30.4}, {40.2, 17.5}};
    const Point doubled[] = {{3.3, 2.1}, {7.9, 30.4}, {7.9, 30.4}, {40.2, 17.5}};
    Polygon a(plain, 3);
    Polygon b(doubled, 4);
    EXPECT_TRUE(sameSpans(spansOf(a), spansOf(b)));
    WeightCanvas first;
    a.draw(first.painter, raster::Recorder, true);
    WeightCanvas second;
    b.draw(second.painter, raster::Recorder, true);
    EXPECT_EQ(raster::words(first.canvas), raster::words(second.canvas));
}

TEST(PolygonFill, ClipsToTheCanvasAndKeepsVisibleRows) {
    WeightCanvas target(30, 20);
    Rectangle(5, -10, 15, 5).draw(target.painter, raster::Recorder, true);
    for (uint32_t y = 0; y <= 3; ++y) EXPECT_EQ(target.at(10, y), 256) << y;
    EXPECT_EQ(target.at(10, 4), 128);
    EXPECT_EQ(target.at(5, 2), 128);
    EXPECT_EQ(target.at(10, 5), 0);

    WeightCanvas wide(30, 20);
    Rectangle(-5, 2, 40, 30).draw(wide.painter, raster::Recorder, false);
    for (uint32_t x = 0; x < 30; ++x) EXPECT_EQ(wide.at(x, 19), 256) << x;
    EXPECT_EQ(wide.at(0, 1), 0);
    EXPECT_TRUE(raster::paddingIntact(wide.canvas, raster::Untouched));
}

// Random outlines of every kind the code can meet: triangles either way
// round, self-crossing polygons, more vertices than fit the stack arrays,
// lines and rectangles, on whole, half and arbitrary coordinates.
struct ShapeSource {
    std::mt19937 random{20240611u};

    double coordinate(double low, double high) {
        const double value = std::uniform_real_distribution<double>(low, high)(random);
        switch (random() % 4) {
            case 0: return std::round(value);
            case 1: return std::round(value * 2) / 2;
            case 2: return std::round(value * 4) / 4;
            default: return value;
        }
    }

    std::vector<Point> outline(double width, double height) {
        const int kind = static_cast<int>(random() % 4);
        if (kind == 0) {
            Line line(coordinate(-8, width + 8), coordinate(-8, height + 8), coordinate(-8, width + 8),
                      coordinate(-8, height + 8), coordinate(0.25, 8));
            return line.vertices;
        }
        if (kind == 1) {
            Rectangle box(coordinate(-8, width + 8), coordinate(-8, height + 8), coordinate(-8, width + 8),
                          coordinate(-8, height + 8));
            return box.vertices;
        }
        const int count = kind == 2 ? 3 : 3 + static_cast<int>(random() % 9);
        std::vector<Point> points;
        for (int i = 0; i < count; ++i) points.push_back({coordinate(-10, width + 10), coordinate(-10, height + 10)});
        return points;
    }

    uint32_t word() { return static_cast<uint32_t>(random()); }

    // Opaque and invisible colours take their own paths; pick them often.
    uint32_t colour() {
        const uint32_t rgb = word() & 0xFFFFFFu;
        switch (random() % 4) {
            case 0: return 0xFF000000u | rgb;
            case 1: return rgb;
            default: return word();
        }
    }
};

TEST(PolygonFill, MatchesTheOracleOnRandomShapes) {
    ShapeSource source;
    const uint32_t sizes[][2] = {{1, 1}, {2, 3}, {3, 2}, {5, 7}, {17, 13}, {33, 20}, {64, 9}, {40, 40}};
    for (int trial = 0; trial < 3000; ++trial) {
        const auto& size = sizes[trial % 8];
        Canvas expected(size[0], size[1]);
        Canvas actual(size[0], size[1]);
        std::vector<uint32_t> start(raster::wordCount(actual));
        for (uint32_t& w : start) w = source.word();
        raster::setWords(expected, start);
        raster::setWords(actual, start);

        const std::vector<Point> points = source.outline(size[0], size[1]);
        const uint32_t colour = source.colour();
        const bool antialias = trial % 3 != 0;
        Polygon shape(points.data(), static_cast<int>(points.size()));
        Painter painter(&actual);
        shape.draw(painter, colour, antialias);
        oracle::drawPolygon(expected, points, colour, antialias);
        ASSERT_EQ(raster::words(actual), raster::words(expected)) << "trial " << trial;
        ASSERT_TRUE(sameSpans(spansOf(shape), oracle::buildSpans(points))) << "trial " << trial;
    }
}

TEST(PolygonFill, WithoutAntialiasingPaintsEverythingItWouldBlend) {
    ShapeSource source;
    for (int trial = 0; trial < 500; ++trial) {
        const std::vector<Point> points = source.outline(33, 20);
        Polygon shape(points.data(), static_cast<int>(points.size()));
        WeightCanvas smooth(33, 20);
        shape.draw(smooth.painter, raster::Recorder, true);
        WeightCanvas again(33, 20);
        shape.draw(again.painter, raster::Recorder, true);
        ASSERT_EQ(raster::words(smooth.canvas), raster::words(again.canvas)) << "trial " << trial;
        WeightCanvas hard(33, 20);
        shape.draw(hard.painter, raster::Recorder, false);
        for (uint32_t y = 0; y < 20; ++y) {
            for (uint32_t x = 0; x < 33; ++x) {
                if (smooth.at(x, y) > 1) {
                    ASSERT_NE(hard.at(x, y), 0) << "trial " << trial;
                }
            }
        }
    }
}

TEST(RepeatedAddition, MatchesALoopBitForBit) {
    std::mt19937_64 random(99);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    std::uniform_int_distribution<int> exponent(-60, 60);
    for (int trial = 0; trial < 3000; ++trial) {
        double x = std::ldexp(unit(random), exponent(random));
        double step = std::ldexp(unit(random), exponent(random));
        switch (trial % 6) {
            case 0: step = std::ldexp(std::round(step * 8) + 0.5, -3); break;        // ties on coarse grids
            case 1: x = -step * static_cast<double>(random() % 5000); break;          // walks through zero
            case 2: x = std::ldexp(unit(random), -1060); step = std::ldexp(unit(random), -1068); break;  // subnormals
            case 3: x = 0x1p52 + static_cast<double>(random() % 64); step = 0.5; break;  // exact ties
            default: break;
        }
        const uint64_t count = random() % 20000;
        double expected = x;
        for (uint64_t i = 0; i < count; ++i) expected = expected + step;
        const double actual = addRepeatedly(x, step, count);
        ASSERT_EQ(std::signbit(actual), std::signbit(expected)) << x << " " << step << " " << count;
        ASSERT_TRUE(actual == expected || (std::isnan(actual) && std::isnan(expected)))
            << trial << ": " << x << " + " << count << " x " << step << " gave " << actual << " not " << expected;
    }
}

TEST(RepeatedAddition, LongRunsAndEndlessValues) {
    double expected = 0.1;
    for (int i = 0; i < 10000000; ++i) expected = expected + 0.1;
    EXPECT_EQ(addRepeatedly(0.1, 0.1, 10000000), expected);
    EXPECT_EQ(addRepeatedly(0.0, 1.0, uint64_t{1} << 40), 0x1p40);
    EXPECT_EQ(addRepeatedly(1.0, 1.0, uint64_t{1} << 62), 0x1p53);  // stops where +1 no longer changes it
    EXPECT_EQ(addRepeatedly(1e300, 1e300, ~uint64_t{0}), std::numeric_limits<double>::infinity());
    EXPECT_TRUE(std::isnan(addRepeatedly(std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(), 5)));
    EXPECT_EQ(addRepeatedly(3.0, 0.0, 7), 3.0);
    EXPECT_FALSE(std::signbit(addRepeatedly(-0.0, 0.0, 1)));
}

// Rows above the canvas are skipped, not walked, yet x arrives at the first
// visible row exactly as the walk would bring it.
TEST(PolygonFill, EdgesFromFarAboveArriveExactly) {
    const std::vector<std::vector<Point>> outlines = {
        {{-3.7, -1.0e7}, {3.1, 29.6}, {40.3, 17.2}},
        {{0.1, -2345678.9}, {-1.0, 35.5}, {61.0, 30.0}, {50.3, -9.1}},
        {{10.0, 5.0}, {2.0, 31.0}, {30.0, 1.0e7 + 0.3}},
    };
    for (const auto& points : outlines) {
        for (bool antialias : {true, false}) {
            Canvas expected(50, 40);
            Canvas actual(50, 40);
            raster::fill(expected, 0x808080, raster::Untouched);
            raster::fill(actual, 0x808080, raster::Untouched);
            Polygon shape(points.data(), static_cast<int>(points.size()));
            Painter painter(&actual);
            shape.draw(painter, 0xC0102030, antialias);
            oracle::drawPolygon(expected, points, 0xC0102030, antialias);
            EXPECT_EQ(raster::words(actual), raster::words(expected));
        }
    }
}

TEST(PolygonFill, HugeCoordinatesDrawLikeTheirNearEquivalents) {
    const auto paint = [](Polygon&& shape) {
        WeightCanvas target(40, 30);
        shape.draw(target.painter, raster::Recorder, true);
        return raster::words(target.canvas);
    };
    EXPECT_EQ(paint(Rectangle(3, -1e9, 1e9, 20)), paint(Rectangle(3, -5, 45, 20)));
    EXPECT_EQ(paint(Rectangle(-1e9, -1e9, 1e9, 1e9)), paint(Rectangle(-5, -5, 45, 35)));
    EXPECT_EQ(paint(Line(12.5, -1e9, 12.5, 1e9, 3)), paint(Line(12.5, -10, 12.5, 40, 3)));
}

TEST(PolygonFill, SurvivesHostileGeometryAndCanvases) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::vector<std::vector<Point>> outlines = {
        {{-1e9, -1e9}, {-1e9, 1e9}, {1e9, 1e9}},
        {{1e9, 1e9}, {-1e9, 1e9}, {-1e9, -1e9}},
        {{0.5, -1e9}, {-1e9, 1e9}, {1e9, 0.5}},
        {{3e18, -2e18}, {-1e300, 5}, {20, 1e300}},
        {{-inf, 3}, {4, inf}, {10, -inf}},
        {{5, -inf}, {5, inf}, {9, 9}},
        {{nan, 3}, {4, 5}, {10, 20}},
        {{3, 3}, {inf, nan}, {10, 20}},
        {{1e-300, 0}, {0, 1e9}, {1e-300, 1e9}},
        {{0, 0}, {4e-9, 1e9}, {8e-9, -1e9}},
    };
    const uint32_t sizes[][2] = {{1, 1}, {3, 3}, {33, 17}, {0, 0}};
    const auto started = std::chrono::steady_clock::now();
    for (const auto& points : outlines) {
        for (const auto& size : sizes) {
            for (bool antialias : {true, false}) {
                Canvas canvas(size[0], size[1]);
                if (canvas.pixels() != nullptr) {
                    raster::fill(canvas, 0x445566, 0xDEADBEEF);
                }
                Painter painter(&canvas);
                Polygon shape(points.data(), static_cast<int>(points.size()));
                shape.draw(painter, 0xFF000000, antialias);
                if (canvas.pixels() != nullptr) {
                    EXPECT_TRUE(raster::paddingIntact(canvas, 0xDEADBEEF));
                }
            }
        }
        // A canvas with a size but no buffer, as after a failed allocation.
        Canvas broken(1024, 1u << 22);
        ASSERT_EQ(broken.pixels(), nullptr);
        Painter painter(&broken);
        Polygon(points.data(), static_cast<int>(points.size())).draw(painter, 0xFF000000, true);
        Rectangle(0, 0, 10, 10).draw(painter, 0xFF000000, false);
    }
    Canvas canvas(8, 8);
    Painter painter(&canvas);
    Polygon(nullptr, 0).draw(painter, 0xFF000000, true);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20));
}

}  // namespace
