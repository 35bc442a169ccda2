#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>
#include <random>
#include <vector>

#include "model/chain/transitions.h"
#include "model/network/configurations.h"
#include "model/network/network.h"
#include "model/rules/window_outcomes.h"

namespace {

using Rows = std::vector<std::vector<std::pair<int, double>>>;

uint64_t bitsOf(double value) {
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

// Rows of random widths with weights drawn from `distinct` values (or all
// different when 0), among them -0.0 and a NaN, whose bits must survive.
Rows randomRows(std::mt19937& random, int rows, int width, int longestRow, int distinct) {
    std::vector<double> pool;
    for (int k = 0; k < distinct; ++k) pool.push_back(std::ldexp(1.0 + k, -20));
    if (distinct > 3) {
        pool[0] = -0.0;
        pool[1] = std::nan("7");
        pool[2] = 0.0;
    }
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    Rows list(static_cast<size_t>(rows));
    for (auto& row : list) {
        const int length = std::uniform_int_distribution<int>(0, longestRow)(random);
        int column = -1;
        for (int k = 0; k < length && column < width - 1; ++k) {
            column = std::uniform_int_distribution<int>(column + 1, std::min(width - 1, column + 1 + width / (length + 1)))(random);
            const double weight = distinct > 0 ? pool[random() % pool.size()] : unit(random);
            row.emplace_back(column, weight);
        }
    }
    return list;
}

// Every reader against the plain list: begin, end, column and weight,
// forEachEntry, and the CSR arrays, to the bit.
void expectRows(const SparseRows& sparse, const Rows& rows) {
    ASSERT_EQ(sparse.rowCount(), static_cast<int>(rows.size()));
    size_t k = 0;
    for (size_t r = 0; r < rows.size(); ++r) {
        ASSERT_EQ(sparse.begin(static_cast<int>(r)), k);
        ASSERT_EQ(sparse.end(static_cast<int>(r)), k + rows[r].size());
        size_t seen = 0;
        sparse.forEachEntry(static_cast<int>(r), [&](int column, double weight) {
            ASSERT_LT(seen, rows[r].size());
            EXPECT_EQ(column, rows[r][seen].first);
            EXPECT_EQ(bitsOf(weight), bitsOf(rows[r][seen].second));
            ++seen;
        });
        ASSERT_EQ(seen, rows[r].size());
        for (const auto& [column, weight] : rows[r]) {
            ASSERT_EQ(sparse.column(k), column);
            ASSERT_EQ(bitsOf(sparse.weight(k)), bitsOf(weight));
            ++k;
        }
    }
    ASSERT_EQ(sparse.entryCount(), k);
    // Row ranges, starting and ending anywhere, see the same entries.
    const int count = static_cast<int>(rows.size());
    for (const auto& [first, last] : std::vector<std::pair<int, int>>{{0, count}, {count / 3, count / 3 * 2 + 1}, {count, count}}) {
        if (first > last || last > count) continue;
        int row = first;
        size_t seen = 0;
        sparse.forEachEntryOfRows(
            first, last,
            [&](int column, double weight) {
                ASSERT_LT(seen, rows[row].size());
                EXPECT_EQ(column, rows[row][seen].first);
                EXPECT_EQ(bitsOf(weight), bitsOf(rows[row][seen].second));
                ++seen;
            },
            [&](int ended) {
                ASSERT_EQ(ended, row);
                ASSERT_EQ(seen, rows[row].size());
                ++row;
                seen = 0;
            });
        ASSERT_EQ(row, last);
    }
    std::vector<int64_t> starts(rows.size() + 1);
    std::vector<int32_t> columns(k);
    std::vector<double> weights(k);
    sparse.copyCsr(starts.data(), columns.data(), weights.data());
    size_t e = 0;
    for (size_t r = 0; r < rows.size(); ++r) {
        ASSERT_EQ(starts[r], static_cast<int64_t>(e));
        for (const auto& [column, weight] : rows[r]) {
            ASSERT_EQ(columns[e], column);
            ASSERT_EQ(bitsOf(weights[e]), bitsOf(weight));
            ++e;
        }
    }
    ASSERT_EQ(starts[rows.size()], static_cast<int64_t>(e));
}

// The rows written entry by entry, or as pieces of a few rows each (as the
// workers hand them over), some pieces told to keep values when `hinted`.
SparseRows written(const Rows& rows, bool inPieces, std::mt19937& random, bool hinted = true) {
    SparseRows sparse;
    SparseRows piece;
    for (size_t r = 0; r < rows.size();) {
        SparseRows& target = inPieces ? piece : sparse;
        const size_t end = inPieces ? std::min(rows.size(), r + 1 + random() % 7) : r + 1;
        if (inPieces) {
            piece.clear();
            // As the workers do: pieces index their weights once the rows do.
            if (sparse.indexesWeights()) piece.indexWeights();
            if (hinted && random() % 5 == 0) piece.keepValues();
        }
        for (; r < end; ++r) {
            for (const auto& [column, weight] : rows[r]) target.append(column, weight);
            target.finishRow();
        }
        if (inPieces) sparse.appendRows(piece);
    }
    return sparse;
}

// Orders of additions per column, in any order of columns, summed as the
// table does: from 0.0, in the order given.
std::vector<std::pair<int, double>> sumsLiterally(const std::vector<std::pair<int, double>>& additions) {
    std::map<int, double> sums;
    for (const auto& [column, weight] : additions) {
        auto found = sums.emplace(column, 0.0).first;
        found->second += weight;
    }
    return {sums.begin(), sums.end()};
}

NetworkModel pairs(int count) {
    NetworkModel network;
    network.resize(2 * count);
    for (int i = 0; i < 2 * count; i += 2) network.links[i][i + 1] = network.links[i + 1][i] = 1;
    for (auto& values : network.params) std::fill(values.begin(), values.end(), 0.5);
    return network;
}

}  // namespace

// Rows that fit the table of distinct weights, rows that overflow it part
// way, and rows of distinct weights, over more than one block of entries.
TEST(SparseRows, EveryReaderGivesBackWhatWasWrittenToTheBit) {
    std::mt19937 random(17);
    for (const int distinct : {3, 300, 70000, 0}) {
        for (const bool inPieces : {false, true}) {
            const Rows rows = randomRows(random, 2600, 1 << 20, 1000, distinct);
            const SparseRows sparse = written(rows, inPieces, random);
            ASSERT_GT(sparse.entryCount(), size_t{1} << 20);
            expectRows(sparse, rows);
            SCOPED_TRACE(testing::Message() << "distinct " << distinct << " in pieces " << inPieces);
        }
    }
    SparseRows reused = SparseRows::fromRows({{{1, 0.5}}, {{0, 0.25}, {3, 0.125}}});
    reused.clear();
    expectRows(reused, {});
    const Rows again = {{{2, 1.0}}, {}, {{0, -0.0}}};
    for (const auto& row : again) {
        for (const auto& [column, weight] : row) reused.append(column, weight);
        reused.finishRow();
    }
    expectRows(reused, again);
    // Cleared rows start afresh, past a block too: their first block keeps
    // values until a second is needed, then turns to indices.
    const Rows more = randomRows(random, 2600, 1 << 20, 1000, 300);
    reused.clear();
    for (const auto& row : more) {
        for (const auto& [column, weight] : row) reused.append(column, weight);
        reused.finishRow();
    }
    ASSERT_GT(reused.entryCount(), size_t{1} << 20);
    EXPECT_TRUE(reused.indexesWeights());
    expectRows(reused, more);
}

// Few distinct weights take a 16-bit index each; many take the value.
TEST(SparseRows, FewDistinctWeightsTakeSixBytesAnEntry) {
    std::mt19937 random(3);
    const Rows few = randomRows(random, 4000, 1 << 20, 1000, 500);
    const Rows many = randomRows(random, 4000, 1 << 20, 1000, 0);
    const SparseRows compact = written(few, true, random, false);
    const SparseRows plain = written(many, true, random, false);
    EXPECT_FALSE(compact.keepsValues());
    EXPECT_TRUE(plain.keepsValues());
    ASSERT_GT(compact.entryCount(), size_t{1} << 20);
    EXPECT_GE(compact.memoryBytes(), compact.entryCount() * 6 + 4 * 4001);
    EXPECT_LT(compact.memoryBytes(), compact.entryCount() * 6 + 5 * 1024 * 1024 + 4 * 4001);
    EXPECT_LT(plain.memoryBytes(), plain.entryCount() * 12 + 13 * 1024 * 1024 + 4 * 4001);
}

// The bytes counted are at least what two whole blocks of indexed entries,
// the row starts, the table and its hash (at most half full) must take.
TEST(SparseRows, MemoryCountsEntriesStartsTableAndHash) {
    const size_t distinct = 60000;
    SparseRows rows;
    for (int r = 0; r < 2048; ++r) {
        for (int c = 0; c < 1024; ++c) {
            const size_t k = static_cast<size_t>(r) * 1024 + c;
            rows.append(c, static_cast<double>(k % distinct + 1) / 65536.0);
        }
        rows.finishRow();
    }
    ASSERT_TRUE(rows.indexesWeights());
    ASSERT_EQ(rows.tableSize(), distinct);
    const size_t floor = rows.entryCount() * 6 + 2049 * 4 + distinct * 8 + 2 * distinct * 4;
    EXPECT_GE(rows.memoryBytes(), floor);
    EXPECT_LT(rows.memoryBytes(), floor + 16 * distinct + 64 * 1024);
}

// Narrow rows are summed in a table, wide ones in a hash: both give the
// literal sums, column by column in increasing order, row after row.
TEST(RowAccumulator, SumsEachColumnInTheOrderGivenForNarrowAndWideRows) {
    std::mt19937 random(29);
    for (const int width : {40, RowAccumulator::MaxDirectWidth, RowAccumulator::MaxDirectWidth + 1, 1 << 24}) {
        RowAccumulator accumulator(width);
        SparseRows rows;
        std::vector<std::vector<std::pair<int, double>>> expected;
        for (int row = 0; row < 60; ++row) {
            const int additions = static_cast<int>(random() % 3000);
            const int spread = 1 + static_cast<int>(random() % std::min(width, 5000));
            const int offset = static_cast<int>(random() % (width - spread + 1));
            std::vector<std::pair<int, double>> list;
            for (int a = 0; a < additions; ++a) {
                const int column = offset + static_cast<int>(random() % spread);
                const double weight = random() % 9 == 0 ? -0.0 : std::ldexp(static_cast<double>(random() % 1000), -7) / 3;
                list.emplace_back(column, weight);
                accumulator.add(column, weight);
            }
            accumulator.moveInto(rows);
            expected.push_back(sumsLiterally(list));
        }
        SCOPED_TRACE(width);
        expectRows(rows, expected);
    }
}

// A wide network's enumerator holds scratch for the entries of a row, not
// for every configuration: memory that does not grow with the workers.
TEST(RowAccumulator, WideRowsHoldScratchForTheirEntriesOnly) {
    const int nodes = 21;
    NetworkModel ring;
    ring.resize(nodes);
    for (int i = 0; i < nodes; ++i) ring.links[i][(i + 1) % nodes] = ring.links[(i + 1) % nodes][i] = 1;
    const NeighbourLists neighbours = neighbourLists(ring);
    const int h = 1 << nodes;
    ASSERT_GT(h, RowAccumulator::MaxDirectWidth);
    WindowOutcomes enumerator(ring, neighbours, h);
    std::vector<int> entries(nodes);
    SparseRows rows;
    for (long long source : {0LL, 12345LL, h - 1LL}) {
        configurationEntries(neighbours, source, entries.data());
        enumerator.enumerateRow(static_cast<int>(source), entries.data(), rows);
    }
    EXPECT_GT(rows.entryCount(), 0u);
    EXPECT_LT(enumerator.memoryBytes(), static_cast<size_t>(h));
}

// k linked pairs: each pair is one joint case of three outcomes, so the one
// configuration has 3^k outcome paths, all of them to itself.
TEST(WindowOutcomes, PathsBeyondTheLimitRefuseTheRow) {
    const NetworkModel network = pairs(9);
    const NeighbourLists neighbours = neighbourLists(network);
    const ConfigurationList configurations = listConfigurations(neighbours, 1);
    const long long paths = 19683;  // 3^9
    EXPECT_EQ(outcomePathBound(ChainRules::Window, network, neighbours), static_cast<double>(paths));

    WindowOutcomes enumerator(network, neighbours, configurations.count);
    enumerator.limitPaths(paths);
    SparseRows rows;
    enumerator.enumerateRow(0, configurations, rows);
    EXPECT_EQ(enumerator.pathCount(), paths);
    EXPECT_EQ(rows.entryCount(), 1u);

    WindowOutcomes limited(network, neighbours, configurations.count);
    limited.limitPaths(paths - 1);
    try {
        limited.enumerateRow(0, configurations, rows);
        FAIL() << "a row past the limit was enumerated";
    } catch (const TooManyOutcomePaths& e) {
        EXPECT_EQ(e.source(), 0);
        EXPECT_EQ(e.limit(), paths - 1);
    }
    // Builds count only rows whose 3^k bound passes the limit: one more path
    // than allowed is still refused, and the limit itself is not.
    WindowOutcomes uncounted(network, neighbours, configurations.count);
    uncounted.countPathsOnlyNearLimit();
    uncounted.limitPaths(paths);
    SparseRows row;
    uncounted.enumerateRow(0, configurations, row);
    EXPECT_EQ(row.entryCount(), 1u);
    uncounted.limitPaths(paths - 1);
    EXPECT_THROW(uncounted.enumerateRow(0, configurations, row), TooManyOutcomePaths);

    TransitionBudget budget;
    budget.maxPathsPerRow = paths - 1;
    EXPECT_THROW(computeTransitions(ChainRules::Window, network, neighbours, configurations, 2, nullptr, budget),
                 TooManyOutcomePaths);
    budget.maxPathsPerRow = paths;
    EXPECT_EQ(computeTransitions(ChainRules::Window, network, neighbours, configurations, 2, nullptr, budget)
                  .transitions.entryCount(),
              1u);
}
