#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <list>
#include <memory_resource>

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
    using const_iterator = std::pmr::list<Span>::const_iterator;

    SpanList() = default;
    SpanList(const SpanList&) = delete;
    SpanList& operator=(const SpanList&) = delete;

    void addBoundary(int32_t row, int32_t x, bool isRight);
    void clear();

    const_iterator begin() const { return spans_.begin(); }
    const_iterator end() const { return spans_.end(); }
    size_t size() const { return spans_.size(); }
    bool empty() const { return spans_.empty(); }

private:
    using Iterator = std::pmr::list<Span>::iterator;

    Iterator findFirstRowAtLeast(int32_t row);
    void addLeftBoundary(Iterator span, int32_t x);
    void addRightBoundary(Iterator span, int32_t x);

    // Span nodes come from blocks that grow geometrically, so a shape of a
    // few hundred rows costs a handful of allocations rather than one per
    // row. Clearing releases the blocks. Declared before the list, which must
    // be destroyed first.
    static constexpr size_t FirstBlockBytes = 4096;
    std::pmr::monotonic_buffer_resource nodeBlocks_{FirstBlockBytes};
    std::pmr::list<Span> spans_{&nodeBlocks_};
    Iterator cursor_ = spans_.end();
    bool cursorValid_ = false;
};
