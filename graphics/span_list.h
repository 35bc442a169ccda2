#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <list>

// One row's range of columns [left, right) that a shape may touch.
struct Span {
    static constexpr int32_t NoLeft = std::numeric_limits<int32_t>::min();
    static constexpr int32_t NoRight = std::numeric_limits<int32_t>::max();

    int32_t row;
    int32_t left;
    int32_t right;

    bool complete() const { return left != NoLeft && right != NoRight; }
};

// Spans in ascending row order, several per row allowed, with a search cursor
// that makes the boundaries of one edge (which arrive on adjacent rows) cheap
// to insert.
class SpanList {
public:
    using const_iterator = std::list<Span>::const_iterator;

    void addBoundary(int32_t row, int32_t x, bool isRight);
    void clear();

    const_iterator begin() const { return spans_.begin(); }
    const_iterator end() const { return spans_.end(); }
    size_t size() const { return spans_.size(); }
    bool empty() const { return spans_.empty(); }

private:
    std::list<Span>::iterator findFirstRowAtLeast(int32_t row);
    void addLeftBoundary(std::list<Span>::iterator span, int32_t x);
    void addRightBoundary(std::list<Span>::iterator span, int32_t x);

    std::list<Span> spans_;
    std::list<Span>::iterator cursor_ = spans_.end();
    bool cursorValid_ = false;
};
