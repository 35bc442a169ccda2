#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "graphics/span_list.h"
#include "raster_oracle.h"

namespace {

constexpr int32_t L = Span::NoLeft;
constexpr int32_t R = Span::NoRight;

std::string describe(const std::vector<Span>& spans) {
    std::ostringstream out;
    for (const Span& s : spans) out << "(" << s.row << "," << s.left << "," << s.right << ")";
    return out.str();
}

std::string describe(const SpanList& list) { return describe(std::vector<Span>(list.begin(), list.end())); }

struct Boundary {
    int32_t row;
    int32_t x;
    bool isRight;
};

std::string build(const std::vector<Boundary>& boundaries) {
    SpanList list;
    for (const Boundary& b : boundaries) list.addBoundary(b.row, b.x, b.isRight);
    return describe(list);
}

std::string expect(const std::vector<Span>& spans) { return describe(spans); }

TEST(SpanList, OneLeftAndOneRightMakeACompleteSpan) {
    EXPECT_EQ(build({{4, 2, false}, {4, 9, true}}), expect({{4, 2, 9}}));
    EXPECT_EQ(build({{4, 9, true}, {4, 2, false}}), expect({{4, 2, 9}}));
    SpanList list;
    list.addBoundary(3, 1, false);
    EXPECT_FALSE(list.begin()->complete());
    list.addBoundary(3, 5, true);
    EXPECT_TRUE(list.begin()->complete());
}

TEST(SpanList, RowsStayAscendingWhateverTheArrivalOrder) {
    EXPECT_EQ(build({{5, 1, false}, {2, 1, false}, {9, 1, false}, {7, 1, false}, {-3, 1, false}}),
              expect({{-3, 1, R}, {2, 1, R}, {5, 1, R}, {7, 1, R}, {9, 1, R}}));
}

TEST(SpanList, LeftBoundaryRules) {
    // Right of every span of the row: a new open span after the last one.
    EXPECT_EQ(build({{1, 2, false}, {1, 6, true}, {1, 8, false}}), expect({{1, 2, 6}, {1, 8, R}}));
    // At or left of a span's left end: a new span before it.
    EXPECT_EQ(build({{1, 5, false}, {1, 3, false}}), expect({{1, 3, R}, {1, 5, R}}));
    EXPECT_EQ(build({{1, 5, false}, {1, 5, false}}), expect({{1, 5, R}, {1, 5, R}}));
    // Into a span that still waits for its left end.
    EXPECT_EQ(build({{1, 9, true}, {1, 4, false}}), expect({{1, 4, 9}}));
    EXPECT_EQ(build({{1, 9, true}, {1, 9, false}}), expect({{1, 9, 9}}));
    // Strictly inside a complete span: a second span sharing its right end.
    EXPECT_EQ(build({{1, 2, false}, {1, 9, true}, {1, 5, false}}), expect({{1, 2, 9}, {1, 5, 9}}));
    EXPECT_EQ(build({{1, 2, false}, {1, 9, true}, {1, 9, false}}), expect({{1, 2, 9}, {1, 9, 9}}));
    // Walks past complete spans of the row it lies right of.
    EXPECT_EQ(build({{1, 0, false}, {1, 2, true}, {1, 4, false}, {1, 6, true}, {1, 5, false}}),
              expect({{1, 0, 2}, {1, 4, 6}, {1, 5, 6}}));
    // Other rows are not looked at.
    EXPECT_EQ(build({{2, 1, false}, {0, 7, false}, {1, 3, false}}), expect({{0, 7, R}, {1, 3, R}, {2, 1, R}}));
}

TEST(SpanList, RightBoundaryRules) {
    // At or left of the first span's left end: a new span before it.
    EXPECT_EQ(build({{1, 5, false}, {1, 5, true}}), expect({{1, L, 5}, {1, 5, R}}));
    EXPECT_EQ(build({{1, 5, false}, {1, 2, true}}), expect({{1, L, 2}, {1, 5, R}}));
    // Closes the last span starting left of it, replacing an earlier right end.
    EXPECT_EQ(build({{1, 2, false}, {1, 6, false}, {1, 9, true}}), expect({{1, 2, R}, {1, 6, 9}}));
    EXPECT_EQ(build({{1, 2, false}, {1, 6, false}, {1, 4, true}}), expect({{1, 2, 4}, {1, 6, R}}));
    EXPECT_EQ(build({{1, 2, false}, {1, 6, true}, {1, 8, true}}), expect({{1, 2, 8}}));
    EXPECT_EQ(build({{1, 2, false}, {1, 6, true}, {1, 4, true}}), expect({{1, 2, 4}}));
    // A right end with no left one yet gets replaced too.
    EXPECT_EQ(build({{1, 6, true}, {1, 3, true}}), expect({{1, L, 3}}));
}

TEST(SpanList, ClearEmptiesAndForgetsTheCursor) {
    SpanList list;
    list.addBoundary(8, 1, false);
    list.addBoundary(9, 1, false);
    list.clear();
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(list.size(), 0u);
    list.addBoundary(2, 3, false);
    list.addBoundary(1, 3, false);
    list.addBoundary(2, 6, true);
    EXPECT_EQ(describe(list), expect({{1, 3, R}, {2, 3, 6}}));
}

// The cursor only shortens the walk: whatever order boundaries come in, the
// list equals one built with a search from the front every time.
TEST(SpanList, CursorSearchMatchesAFrontSearch) {
    std::mt19937 random(7);
    SpanList list;
    for (int trial = 0; trial < 2000; ++trial) {
        list.clear();
        oracle::NaiveSpanList naive;
        const int count = 1 + static_cast<int>(random() % 60);
        int32_t row = static_cast<int32_t>(random() % 10);
        for (int i = 0; i < count; ++i) {
            // Mostly neighbouring rows, as an edge walk delivers them, with jumps.
            switch (random() % 5) {
                case 0: row = static_cast<int32_t>(random() % 12) - 2; break;
                case 1: break;
                case 2: row -= 1; break;
                default: row += 1; break;
            }
            const int32_t x = static_cast<int32_t>(random() % 12);
            const bool isRight = random() % 2 == 0;
            list.addBoundary(row, x, isRight);
            naive.addBoundary(row, x, isRight);
        }
        ASSERT_EQ(describe(list), describe(naive.spans)) << "trial " << trial;
        ASSERT_EQ(list.size(), naive.spans.size());
    }
}

}  // namespace
