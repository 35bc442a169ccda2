#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

// One-step weights by source row; each row's entries in increasing column
// order. Columns without an entry weigh 0.0. An entry may hold an exact 0.0
// that an enumeration path of weight zero added.
//
// Readers go through rowCount, begin, end, column and weight (entries of row
// l are those with begin(l) <= k < end(l)), or forEachEntry in hot loops, or
// copyCsr for plain arrays; writers append a row's entries in increasing
// column order and finish it.
//
// Storage, which no reader sees: entries sit in blocks of a fixed size, so
// that the rows grow without ever being moved and entry k is found at once.
// A block keeps its weights either as 16-bit indices into one table of the
// distinct values, while the rows have few of them, or as the values
// themselves. The first block keeps values; when a second is needed, the
// first turns to indices if its weights fit the table, and from then on a
// block turns from indices to values when the table is full, every later
// block keeping values. Small rows thus never look a weight up. Row starts
// take 32 bits until the entries outgrow them. Every weight reads back with
// the bits it was written with.
class SparseRows {
public:
    SparseRows();

    int rowCount() const { return static_cast<int>(wideStarts_ ? rowStart64_.size() : rowStart32_.size()) - 1; }
    size_t entryCount() const { return entryCount_; }
    size_t begin(int row) const { return wideStarts_ ? rowStart64_[row] : rowStart32_[row]; }
    size_t end(int row) const { return begin(row + 1); }
    int column(size_t k) const { return blocks_[k >> BlockBits].columns[k & BlockMask]; }
    double weight(size_t k) const {
        const Block& block = blocks_[k >> BlockBits];
        return block.indexed ? table_[block.indices[k & BlockMask]] : block.values[k & BlockMask];
    }

    // visit(column, weight) for every entry of `row`, in increasing column
    // order. The storage is looked at once per block a row touches, so the
    // inner loops are plain loops over arrays.
    template <typename Visit>
    void forEachEntry(int row, Visit&& visit) const {
        size_t k = begin(row);
        const size_t e = end(row);
        while (k < e) {
            const Block& block = blocks_[k >> BlockBits];
            const size_t offset = k & BlockMask;
            const size_t count = std::min(e - k, BlockEntries - offset);
            const int32_t* columns = block.columns.data() + offset;
            if (block.indexed) {
                const uint16_t* indices = block.indices.data() + offset;
                const double* table = table_.data();
                for (size_t i = 0; i < count; ++i) visit(static_cast<int>(columns[i]), table[indices[i]]);
            } else {
                const double* values = block.values.data() + offset;
                for (size_t i = 0; i < count; ++i) visit(static_cast<int>(columns[i]), values[i]);
            }
            k += count;
        }
    }

    // visit(column, weight) for every entry of rows first .. last - 1 in
    // order, and endRow(row) after each row's entries: for loops over many
    // short rows, which look at the storage once per block instead of once
    // per row.
    template <typename Visit, typename EndRow>
    void forEachEntryOfRows(int first, int last, Visit&& visit, EndRow&& endRow) const {
        if (wideStarts_)
            entriesOfRows(rowStart64_.data(), first, last, visit, endRow);
        else
            entriesOfRows(rowStart32_.data(), first, last, visit, endRow);
    }

    // Every row as compressed sparse rows in one pass: rowStarts gets
    // rowCount() + 1 values, columns and weights entryCount() each.
    void copyCsr(int64_t* rowStarts, int32_t* columns, double* weights) const;

    // Appends an entry to the row being written; columns must increase.
    void append(int column, double weight) {
        if (!blocks_.empty() && blocks_.back().columns.size() < BlockEntries) {
            Block& block = blocks_.back();
            if (!block.indexed) {
                block.values.push_back(weight);
            } else {
                const long index = findInTable(weight);
                if (index < 0) return appendToTable(column, weight);
                block.indices.push_back(static_cast<uint16_t>(index));
            }
            block.columns.push_back(column);
            ++entryCount_;
            return;
        }
        appendToTable(column, weight);
    }
    // Ends the row being written; the next append starts a new one.
    void finishRow();

    // Appends every row of `piece`.
    void appendRows(const SparseRows& piece);
    // Room for `rows` rows; entries need no room reserved, since they never move.
    void reserve(size_t rows, size_t entries);
    // No rows. The first block's room is kept for the next rows.
    void clear();

    // Keep weights as values from now on: for rows known to have too many
    // distinct weights for the table, so that no time goes into looking them up.
    void keepValues();
    bool keepsValues() const { return weights_ == Weights::Values; }
    // Keep weights as indices from now on, while they fit: for pieces of rows
    // that join rows which do, so that the workers look their weights up.
    void indexWeights();
    bool indexesWeights() const { return weights_ == Weights::Indexed; }
    // The distinct weights in the table so far.
    size_t tableSize() const { return table_.size(); }

    // The bytes the rows hold, room kept for growth included.
    size_t memoryBytes() const;
    // The bytes an entry takes while weights are indices, and once they are values.
    static constexpr size_t IndexedEntryBytes = sizeof(int32_t) + sizeof(uint16_t);
    static constexpr size_t ValueEntryBytes = sizeof(int32_t) + sizeof(double);
    // The most distinct weights the table holds.
    static constexpr size_t MaxTableSize = 1 << 16;

    // Rows from a list per row of (column, weight) pairs, for tests and small chains.
    static SparseRows fromRows(const std::vector<std::vector<std::pair<int, double>>>& rows);

private:
    static constexpr unsigned BlockBits = 20;
    static constexpr size_t BlockEntries = size_t{1} << BlockBits;
    static constexpr size_t BlockMask = BlockEntries - 1;

    // How weights are kept: as values until a second block is needed, then
    // as indices while they fit, then as values.
    enum class Weights : uint8_t { Undecided, Indexed, Values };

    struct Block {
        bool indexed = false;
        std::vector<int32_t> columns;
        std::vector<uint16_t> indices;  // while indexed
        std::vector<double> values;     // otherwise
        size_t memoryBytes() const;
    };

    template <typename Start, typename Visit, typename EndRow>
    void entriesOfRows(const Start* starts, int first, int last, Visit& visit, EndRow& endRow) const {
        size_t k = starts[first];
        for (int row = first; row < last;) {
            if (starts[row + 1] == k) {
                endRow(row++);
                continue;
            }
            const Block& block = blocks_[k >> BlockBits];
            const size_t base = k & ~BlockMask;
            const int32_t* columns = block.columns.data();
            if (block.indexed) {
                const uint16_t* indices = block.indices.data();
                const double* table = table_.data();
                row = rowsInBlock(starts, row, last, k, base, [&](size_t i) { visit(static_cast<int>(columns[i]), table[indices[i]]); },
                                  endRow);
            } else {
                const double* values = block.values.data();
                row = rowsInBlock(starts, row, last, k, base, [&](size_t i) { visit(static_cast<int>(columns[i]), values[i]); },
                                  endRow);
            }
        }
    }

    // The rows from `row` on while their entries lie in the block from
    // entry `base`; returns the first row not finished, with k at its next entry.
    template <typename Start, typename Entry, typename EndRow>
    static int rowsInBlock(const Start* starts, int row, int last, size_t& k, size_t base, Entry&& entry, EndRow& endRow) {
        const size_t limit = base + BlockEntries;
        while (row < last) {
            const size_t end = starts[row + 1];
            const size_t stop = std::min(static_cast<size_t>(end), limit);
            for (; k < stop; ++k) entry(k - base);
            if (end > limit) return row;
            endRow(row++);
            if (k == limit) return row;
        }
        return row;
    }

    // append where the weight may go to the table or a block must be started.
    void appendToTable(int column, double weight);
    // The table index of `weight`, or -1 when it is not in the table.
    long findInTable(double weight) const {
        if (slots_.empty()) return -1;
        uint64_t bits;
        std::memcpy(&bits, &weight, sizeof bits);
        const size_t mask = slots_.size() - 1;
        for (size_t slot = slotOf(bits); slots_[slot] != 0; slot = (slot + 1) & mask) {
            uint64_t found;
            std::memcpy(&found, &table_[slots_[slot] - 1], sizeof found);
            if (found == bits) return static_cast<long>(slots_[slot] - 1);
        }
        return -1;
    }
    // Fibonacci hashing: the top bits of the product spread nearby patterns.
    size_t slotOf(uint64_t bits) const { return static_cast<size_t>((bits * 0x9E3779B97F4A7C15ULL) >> slotShift_); }
    // The table index of `weight`, added when new; -1 when the table is full.
    long tableIndex(double weight);
    void growSlots();
    // The block the next entry goes to, started when the last one is full.
    Block& openBlock();
    void turnToValues(Block& block);
    // Indices for the values of `block`; false, and the block left alone,
    // when they do not fit the table.
    bool turnToIndices(Block& block);
    void widenStarts();
    void appendEntries(const SparseRows& piece);
    void appendValue(Block& target, double weight);
    std::vector<long> remapTable(const SparseRows& piece);

    std::vector<Block> blocks_;
    size_t entryCount_ = 0;
    bool wideStarts_ = false;
    std::vector<uint32_t> rowStart32_;
    std::vector<uint64_t> rowStart64_;
    Weights weights_ = Weights::Undecided;
    // The distinct weights, and an open-addressing hash of their bit patterns:
    // slot values are table index + 1, 0 for an empty slot.
    std::vector<double> table_;
    std::vector<uint32_t> slots_;
    unsigned slotShift_ = 64;
};
