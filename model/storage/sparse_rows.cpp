#include "model/storage/sparse_rows.h"

#include <cstring>
#include <limits>

namespace {

uint64_t bitsOf(double value) {
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

constexpr size_t FirstSlotCount = 256;

}  // namespace

SparseRows::SparseRows() : rowStart32_{0} {}

size_t SparseRows::Block::memoryBytes() const {
    return columns.capacity() * sizeof(int32_t) + indices.capacity() * sizeof(uint16_t) +
           values.capacity() * sizeof(double);
}

// Linear probing; the table holds at most MaxTableSize values at a load of at
// most one half, so a probe ends soon.
long SparseRows::tableIndex(double weight) {
    if (slots_.empty()) growSlots();
    const uint64_t bits = bitsOf(weight);
    const size_t mask = slots_.size() - 1;
    size_t slot = slotOf(bits);
    for (; slots_[slot] != 0; slot = (slot + 1) & mask)
        if (bitsOf(table_[slots_[slot] - 1]) == bits) return static_cast<long>(slots_[slot] - 1);
    if (table_.size() == MaxTableSize) return -1;
    table_.push_back(weight);
    slots_[slot] = static_cast<uint32_t>(table_.size());
    if (table_.size() * 2 > slots_.size()) growSlots();
    return static_cast<long>(table_.size() - 1);
}

void SparseRows::growSlots() {
    const size_t count = slots_.empty() ? FirstSlotCount : slots_.size() * 2;
    slots_.assign(count, 0);
    slotShift_ = 64;
    for (size_t c = count; c > 1; c >>= 1) --slotShift_;
    const size_t mask = count - 1;
    for (size_t index = 0; index < table_.size(); ++index) {
        size_t slot = slotOf(bitsOf(table_[index]));
        while (slots_[slot] != 0) slot = (slot + 1) & mask;
        slots_[slot] = static_cast<uint32_t>(index + 1);
    }
}

// Blocks after the first are filled whole, so they get their room at once;
// the first grows as small rows need it, and is indexed, if it can be, when
// the second starts.
SparseRows::Block& SparseRows::openBlock() {
    if (blocks_.empty() || blocks_.back().columns.size() == BlockEntries) {
        if (weights_ == Weights::Undecided && !blocks_.empty())
            weights_ = turnToIndices(blocks_.front()) ? Weights::Indexed : Weights::Values;
        Block block;
        block.indexed = weights_ == Weights::Indexed;
        if (!blocks_.empty()) {
            block.columns.reserve(BlockEntries);
            if (block.indexed)
                block.indices.reserve(BlockEntries);
            else
                block.values.reserve(BlockEntries);
        }
        blocks_.push_back(std::move(block));
    }
    return blocks_.back();
}

void SparseRows::turnToValues(Block& block) {
    std::vector<double> values;
    values.reserve(block.columns.capacity());
    for (const uint16_t index : block.indices) values.push_back(table_[index]);
    block.values = std::move(values);
    block.indices = std::vector<uint16_t>();
    block.indexed = false;
}

bool SparseRows::turnToIndices(Block& block) {
    std::vector<uint16_t> indices;
    indices.reserve(block.columns.capacity());
    for (const double value : block.values) {
        const long index = tableIndex(value);
        if (index < 0) return false;
        indices.push_back(static_cast<uint16_t>(index));
    }
    block.indices = std::move(indices);
    block.values = std::vector<double>();
    block.indexed = true;
    return true;
}

void SparseRows::keepValues() {
    weights_ = Weights::Values;
    if (!blocks_.empty() && blocks_.back().indexed && blocks_.back().columns.size() < BlockEntries)
        turnToValues(blocks_.back());
}

void SparseRows::indexWeights() {
    if (weights_ != Weights::Undecided) return;
    weights_ = Weights::Indexed;
    if (!blocks_.empty() && !turnToIndices(blocks_.back())) keepValues();
}

void SparseRows::appendToTable(int column, double weight) {
    Block& block = openBlock();
    appendValue(block, weight);
    block.columns.push_back(column);
    ++entryCount_;
}

// The weight into `target`, as an index while it fits.
void SparseRows::appendValue(Block& target, double weight) {
    if (target.indexed) {
        const long index = tableIndex(weight);
        if (index >= 0) {
            target.indices.push_back(static_cast<uint16_t>(index));
            return;
        }
        keepValues();
    }
    target.values.push_back(weight);
}

void SparseRows::widenStarts() {
    rowStart64_.reserve(rowStart32_.capacity());
    rowStart64_.assign(rowStart32_.begin(), rowStart32_.end());
    rowStart32_ = std::vector<uint32_t>();
    wideStarts_ = true;
}

void SparseRows::finishRow() {
    if (!wideStarts_ && entryCount_ > std::numeric_limits<uint32_t>::max()) widenStarts();
    if (wideStarts_)
        rowStart64_.push_back(entryCount_);
    else
        rowStart32_.push_back(static_cast<uint32_t>(entryCount_));
}

// The index in this table of each value of the piece's table, or an empty
// list when they do not all fit.
std::vector<long> SparseRows::remapTable(const SparseRows& piece) {
    std::vector<long> remapped(piece.table_.size());
    for (size_t k = 0; k < piece.table_.size(); ++k) {
        remapped[k] = tableIndex(piece.table_[k]);
        if (remapped[k] < 0) return {};
    }
    return remapped;
}

// A piece that had to keep values has more distinct weights than the table
// holds, and these rows will soon have too.
void SparseRows::appendRows(const SparseRows& piece) {
    if (weights_ == Weights::Indexed && piece.weights_ == Weights::Values) keepValues();
    const size_t offset = entryCount_;
    appendEntries(piece);
    for (int r = 1; r <= piece.rowCount(); ++r) {
        const uint64_t start = offset + piece.begin(r);
        if (!wideStarts_ && start > std::numeric_limits<uint32_t>::max()) widenStarts();
        if (wideStarts_)
            rowStart64_.push_back(start);
        else
            rowStart32_.push_back(static_cast<uint32_t>(start));
    }
}

// Copies entries run by run: a run lies within one block of the piece and
// one block of these rows. Indices are remapped through the piece's table,
// mapped into this one when first needed; values of an indexed target are
// looked up.
void SparseRows::appendEntries(const SparseRows& piece) {
    std::vector<long> remapped;
    for (size_t k = 0, end = piece.entryCount_; k < end;) {
        const Block& source = piece.blocks_[k >> BlockBits];
        const size_t offset = k & BlockMask;
        Block& target = openBlock();
        const size_t run = std::min({end - k, BlockEntries - offset, BlockEntries - target.columns.size()});
        if (target.indexed && source.indexed && remapped.empty()) {
            remapped = remapTable(piece);
            if (remapped.empty()) keepValues();
        }
        if (target.indexed && source.indexed) {
            for (size_t i = 0; i < run; ++i)
                target.indices.push_back(static_cast<uint16_t>(remapped[source.indices[offset + i]]));
        } else if (target.indexed) {
            for (size_t i = 0; i < run; ++i) appendValue(target, source.values[offset + i]);
        } else if (source.indexed) {
            for (size_t i = 0; i < run; ++i) target.values.push_back(piece.table_[source.indices[offset + i]]);
        } else {
            target.values.insert(target.values.end(), source.values.begin() + offset,
                                 source.values.begin() + offset + run);
        }
        target.columns.insert(target.columns.end(), source.columns.begin() + offset,
                              source.columns.begin() + offset + run);
        entryCount_ += run;
        k += run;
    }
}

void SparseRows::reserve(size_t rows, size_t entries) {
    if (wideStarts_)
        rowStart64_.reserve(rows + 1);
    else
        rowStart32_.reserve(rows + 1);
    blocks_.reserve(entries / BlockEntries + 1);
}

void SparseRows::clear() {
    if (blocks_.size() > 1) blocks_.resize(1);
    if (!blocks_.empty()) {
        Block& first = blocks_.front();
        first.columns.clear();
        first.indices.clear();
        first.values.clear();
        first.indexed = false;
    }
    entryCount_ = 0;
    wideStarts_ = false;
    rowStart64_ = std::vector<uint64_t>();
    rowStart32_.assign(1, 0);
    weights_ = Weights::Undecided;
    table_.clear();
    std::fill(slots_.begin(), slots_.end(), 0);
}

size_t SparseRows::memoryBytes() const {
    size_t bytes = blocks_.capacity() * sizeof(Block) + table_.capacity() * sizeof(double) +
                   slots_.capacity() * sizeof(uint32_t) + rowStart32_.capacity() * sizeof(uint32_t) +
                   rowStart64_.capacity() * sizeof(uint64_t);
    for (const Block& block : blocks_) bytes += block.memoryBytes();
    return bytes;
}

void SparseRows::copyCsr(int64_t* rowStarts, int32_t* columns, double* weights) const {
    const int rows = rowCount();
    for (int r = 0; r <= rows; ++r) rowStarts[r] = static_cast<int64_t>(begin(r));
    for (size_t k = 0; k < entryCount_;) {
        const Block& block = blocks_[k >> BlockBits];
        const size_t run = std::min(entryCount_ - k, block.columns.size());
        std::memcpy(columns + k, block.columns.data(), run * sizeof(int32_t));
        if (block.indexed) {
            for (size_t i = 0; i < run; ++i) weights[k + i] = table_[block.indices[i]];
        } else {
            std::memcpy(weights + k, block.values.data(), run * sizeof(double));
        }
        k += run;
    }
}

SparseRows SparseRows::fromRows(const std::vector<std::vector<std::pair<int, double>>>& rows) {
    SparseRows sparse;
    for (const auto& row : rows) {
        for (const auto& [column, weight] : row) sparse.append(column, weight);
        sparse.finishRow();
    }
    return sparse;
}
