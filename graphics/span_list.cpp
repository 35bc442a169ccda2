#include "graphics/span_list.h"

#include <iterator>

// The result never depends on where the cursor stood: it is always the first
// span whose row is at least `row`, as a walk from the front would find. The
// cursor only shortens the walk, since one edge's boundaries arrive on
// neighbouring rows.
SpanList::Iterator SpanList::findFirstRowAtLeast(int32_t row) {
    auto it = spans_.begin();
    if (!cursorValid_) {
        cursorValid_ = true;
    } else if (cursor_ == spans_.end()) {
        it = std::prev(spans_.end());
    } else {
        it = cursor_;
    }

    if (row > it->row) {
        while (it != spans_.end() && it->row < row) ++it;
    } else {
        while (it != spans_.begin() && it->row >= row) --it;
        if (it->row < row) ++it;
    }
    cursor_ = it;
    return it;
}

void SpanList::addBoundary(int32_t row, int32_t x, bool isRight) {
    const Span fresh = isRight ? Span{row, Span::NoLeft, x} : Span{row, x, Span::NoRight};
    if (spans_.empty()) {
        spans_.push_back(fresh);
        cursor_ = spans_.end();
        cursorValid_ = true;
        return;
    }

    const auto first = findFirstRowAtLeast(row);
    if (first == spans_.end() || first->row > row) {
        cursor_ = spans_.insert(first, fresh);
        return;
    }
    if (isRight) {
        addRightBoundary(first, x);
    } else {
        addLeftBoundary(first, x);
    }
}

// A left boundary opens a new span unless it lands in a span still waiting
// for its left end; one that falls strictly inside a complete span opens a
// second span sharing that span's right end (its pixels are then painted twice).
void SpanList::addLeftBoundary(Iterator span, int32_t x) {
    const int32_t row = span->row;
    for (;;) {
        if (x > span->right) {
            const auto next = std::next(span);
            if (next != spans_.end() && next->row == row) {
                span = next;
                continue;
            }
            cursor_ = spans_.insert(next, Span{row, x, Span::NoRight});
            return;
        }
        if (x <= span->left) {
            cursor_ = spans_.insert(span, Span{row, x, Span::NoRight});
            return;
        }
        if (span->left == Span::NoLeft) {
            span->left = x;
            cursor_ = span;
        } else {
            cursor_ = spans_.insert(std::next(span), Span{row, x, span->right});
        }
        return;
    }
}

// A right boundary closes the last span of the row that starts left of it,
// replacing any right end that span already had.
void SpanList::addRightBoundary(Iterator span, int32_t x) {
    const int32_t row = span->row;
    if (x <= span->left) {
        cursor_ = spans_.insert(span, Span{row, Span::NoLeft, x});
        return;
    }
    for (auto next = std::next(span); next != spans_.end() && next->row == row && next->left < x; ++next) {
        span = next;
    }
    span->right = x;
    cursor_ = span;
}

void SpanList::clear() {
    spans_.clear();
    nodeBlocks_.release();
    cursor_ = spans_.end();
    cursorValid_ = false;
}
