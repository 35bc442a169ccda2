#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "model/storage/sparse_rows.h"

// Sums weights into the columns of one row in any order of columns, each
// column's additions in the order given, and hands the row out by column.
// Narrow rows are summed in a table as wide as the row, wide ones in a hash
// of the columns a row reaches, so that the scratch follows the row's
// entries rather than the configurations: with many configurations a
// table would take memory per worker and miss the cache on every addition.
class RowAccumulator {
public:
    explicit RowAccumulator(int width);

    void add(int column, double weight) {
        if (direct_)
            addDirect(column, weight);
        else
            addHashed(column, weight);
    }
    // The same for callers that choose once per row how the row is summed.
    bool direct() const { return direct_; }
    void addDirect(int column, double weight) {
        if (!touched_[column]) {
            touched_[column] = 1;
            columns_.push_back(column);
        }
        directSums_[column] += weight;
    }
    void addHashed(int column, double weight);

    // Appends the row in increasing column order to `rows` and finishes it,
    // then starts an empty one.
    void moveInto(SparseRows& rows);
    // The same into plain arrays, without finishing any row.
    void moveInto(std::vector<int>& columns, std::vector<double>& values);

    // The bytes of scratch held.
    size_t memoryBytes() const;

    // Rows up to this wide are summed in a table.
    static constexpr int MaxDirectWidth = 1 << 20;

private:
    struct Sum {
        int column;
        double sum;
    };
    struct Slot {
        uint32_t row;  // the row the slot was filled in; older slots are empty
        uint32_t sum;  // index into sums_ of the column's sum
    };

    void growSlots();
    void startNextRow();
    void sortColumns();
    void radixSortColumns();
    void radixSortSums();
    template <typename Emit>
    void emit(Emit&& emitEntry);

    const bool direct_;
    const int width_;
    // Direct: a sum and a flag per column, and the columns touched.
    std::vector<double> directSums_;
    std::vector<unsigned char> touched_;
    std::vector<int> columns_;
    std::vector<int> scratch_;
    // Hashed: the sums in the order their columns came, and open-addressing
    // slots that point at them, stamped with the row so that a new row
    // empties them all at once.
    std::vector<Sum> sums_;
    std::vector<Sum> sumScratch_;
    std::vector<Slot> slots_;
    unsigned slotShift_ = 64;
    uint32_t row_ = 1;
};
