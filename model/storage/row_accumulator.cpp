#include "model/storage/row_accumulator.h"

#include <algorithm>

RowAccumulator::RowAccumulator(int width)
    : direct_(width <= MaxDirectWidth),
      width_(width),
      directSums_(direct_ ? static_cast<size_t>(width) : 0, 0.0),
      touched_(directSums_.size(), 0) {}

size_t RowAccumulator::memoryBytes() const {
    return directSums_.capacity() * sizeof(double) + touched_.capacity() +
           (columns_.capacity() + scratch_.capacity()) * sizeof(int) +
           (sums_.capacity() + sumScratch_.capacity()) * sizeof(Sum) + slots_.capacity() * sizeof(Slot);
}

namespace {

size_t slotOfColumn(int column, unsigned shift) {
    return static_cast<size_t>((static_cast<uint64_t>(static_cast<uint32_t>(column)) * 0x9E3779B97F4A7C15ULL) >>
                               shift);
}

constexpr size_t FirstSlotCount = 64;

}  // namespace

// A column's first addition goes to a sum of 0.0, as in the table, so that
// the sums keep the same bits (0.0 + -0.0 is 0.0).
void RowAccumulator::addHashed(int column, double weight) {
    if (slots_.empty()) growSlots();
    const size_t mask = slots_.size() - 1;
    for (size_t slot = slotOfColumn(column, slotShift_);; slot = (slot + 1) & mask) {
        Slot& entry = slots_[slot];
        if (entry.row != row_) {
            entry = Slot{row_, static_cast<uint32_t>(sums_.size())};
            sums_.push_back(Sum{column, 0.0});
            sums_.back().sum += weight;
            if (sums_.size() * 2 > slots_.size()) growSlots();
            return;
        }
        if (sums_[entry.sum].column == column) {
            sums_[entry.sum].sum += weight;
            return;
        }
    }
}

void RowAccumulator::growSlots() {
    const size_t count = slots_.empty() ? FirstSlotCount : slots_.size() * 2;
    slots_.assign(count, Slot{0, 0});
    slotShift_ = 64;
    for (size_t c = count; c > 1; c >>= 1) --slotShift_;
    const size_t mask = count - 1;
    for (size_t k = 0; k < sums_.size(); ++k) {
        size_t slot = slotOfColumn(sums_[k].column, slotShift_);
        while (slots_[slot].row == row_) slot = (slot + 1) & mask;
        slots_[slot] = Slot{row_, static_cast<uint32_t>(k)};
    }
}

// Slots stamped with an older row are empty; the stamps come round again
// after 2^32 - 1 rows, so the slots are wiped then.
void RowAccumulator::startNextRow() {
    sums_.clear();
    if (++row_ == 0) {
        std::fill(slots_.begin(), slots_.end(), Slot{0, 0});
        row_ = 1;
    }
}

template <typename Emit>
void RowAccumulator::emit(Emit&& emitEntry) {
    if (direct_) {
        sortColumns();
        for (const int column : columns_) {
            emitEntry(column, directSums_[column]);
            directSums_[column] = 0.0;
            touched_[column] = 0;
        }
        columns_.clear();
        return;
    }
    if (sums_.size() > 64)
        radixSortSums();
    else
        std::sort(sums_.begin(), sums_.end(), [](const Sum& a, const Sum& b) { return a.column < b.column; });
    for (const Sum& sum : sums_) emitEntry(sum.column, sum.sum);
    startNextRow();
}

void RowAccumulator::moveInto(SparseRows& rows) {
    emit([&](int column, double sum) { rows.append(column, sum); });
    rows.finishRow();
}

void RowAccumulator::moveInto(std::vector<int>& columns, std::vector<double>& values) {
    emit([&](int column, double sum) {
        columns.push_back(column);
        values.push_back(sum);
    });
}

// Least significant byte first, as many passes as the widest column needs.
void RowAccumulator::radixSortSums() {
    sumScratch_.resize(sums_.size());
    for (unsigned shift = 0; static_cast<unsigned>(width_ - 1) >> shift != 0; shift += 8) {
        size_t start[257] = {};
        for (const Sum& sum : sums_) ++start[((static_cast<unsigned>(sum.column) >> shift) & 0xff) + 1];
        for (int digit = 0; digit < 256; ++digit) start[digit + 1] += start[digit];
        for (const Sum& sum : sums_) sumScratch_[start[(static_cast<unsigned>(sum.column) >> shift) & 0xff]++] = sum;
        sums_.swap(sumScratch_);
    }
}

// A sweep over the flags beats sorting once the row is dense enough, and a
// radix sort beats comparisons once it is long.
void RowAccumulator::sortColumns() {
    const size_t width = static_cast<size_t>(width_);
    if (columns_.size() * 16 >= width) {
        columns_.clear();
        for (size_t c = 0; c < width; ++c)
            if (touched_[c]) columns_.push_back(static_cast<int>(c));
    } else if (columns_.size() > 64) {
        radixSortColumns();
    } else {
        std::sort(columns_.begin(), columns_.end());
    }
}

// Least significant byte first, as many passes as the widest column needs.
void RowAccumulator::radixSortColumns() {
    scratch_.resize(columns_.size());
    for (unsigned shift = 0; static_cast<unsigned>(width_ - 1) >> shift != 0; shift += 8) {
        size_t start[257] = {};
        for (const int column : columns_) ++start[((static_cast<unsigned>(column) >> shift) & 0xff) + 1];
        for (int digit = 0; digit < 256; ++digit) start[digit + 1] += start[digit];
        for (const int column : columns_) scratch_[start[(static_cast<unsigned>(column) >> shift) & 0xff]++] = column;
        columns_.swap(scratch_);
    }
}
