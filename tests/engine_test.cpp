#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <regex>
#include <cmath>
#include <cstdlib>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "analysis_oracle.h"
#include "model/analysis.h"
#include "model/chain/marks.h"
#include "model/long_run/success_curves.h"
#include "model/network/seeded_random.h"
#include "model/studies/simulation.h"
#include "model/support/work_progress.h"
#include "model/text/network_block.h"
#include "network_generator.h"

namespace {

ConfigurationList listOf(const std::vector<std::vector<int>>& rows) {
    ConfigurationList list;
    list.count = static_cast<int>(rows.size());
    list.nodeCount = rows.empty() ? 0 : static_cast<int>(rows[0].size());
    for (const auto& row : rows) list.entries.insert(list.entries.end(), row.begin(), row.end());
    return list;
}

std::vector<bool> marksLiterally(const std::vector<std::vector<int>>& configurations, const std::vector<int>& successor) {
    const NetworkModel unused;
    oracle::Context ctx(unused, static_cast<int>(configurations[0].size()), static_cast<int>(configurations.size()),
                        configurations);
    ctx.successor = successor;
    ctx.marked.assign(configurations.size(), false);
    oracle::markLiterally(ctx);
    return ctx.marked;
}

// Successor graphs of every shape the marking meets: random functions, long
// cycles (past the length where values are looked up by bisection), long
// chains into small cycles, trees hanging off cycles, and ends without a
// successor; configurations over few values, so that entries recur often.
class SuccessorGraphs {
public:
    explicit SuccessorGraphs(unsigned seed) : random_(seed) {}

    void next(std::vector<std::vector<int>>& configurations, std::vector<int>& successor) {
        const int h = 1 + uniform(uniform(2) ? 12 : 300);
        const int nodes = 1 + uniform(4);
        const int values = 1 + uniform(nodes);  // partner values are node indices
        std::vector<bool> linked(static_cast<size_t>(nodes));
        for (int i = 0; i < nodes; ++i) linked[i] = uniform(5) != 0;
        configurations.assign(static_cast<size_t>(h), std::vector<int>(static_cast<size_t>(nodes), -1));
        for (auto& row : configurations)
            for (int i = 0; i < nodes; ++i)
                if (linked[i]) row[i] = uniform(values);
        successor.assign(static_cast<size_t>(h), -1);
        switch (uniform(4)) {
            case 0:  // random function
                for (int l = 0; l < h; ++l) successor[l] = uniform(h);
                break;
            case 1: {  // one long cycle through a random order
                std::vector<int> order(static_cast<size_t>(h));
                for (int l = 0; l < h; ++l) order[l] = l;
                std::shuffle(order.begin(), order.end(), random_);
                for (int k = 0; k < h; ++k) successor[order[k]] = order[(k + 1) % h];
                break;
            }
            case 2:  // a chain toward a small cycle at the low end
                for (int l = 0; l < h; ++l) successor[l] = l < 3 ? (l + 1) % std::min(h, 3) : l - 1 - uniform(std::min(l, 3));
                break;
            default:  // a forest into a few cycles
                for (int l = 0; l < h; ++l) successor[l] = uniform(4) == 0 ? uniform(h) : uniform(l + 1);
        }
        const int holes = uniform(3) == 0 ? uniform(4) : 0;
        for (int k = 0; k < holes; ++k) successor[uniform(h)] = -1;
    }

private:
    int uniform(int bound) { return std::uniform_int_distribution<int>(0, bound - 1)(random_); }
    std::mt19937 random_;
};

// A network whose rows span several chunks of the parallel enumeration.
NetworkModel ringOf(int count, NetworkGenerator& generator) {
    NetworkModel network;
    generator.fill(network, count);
    for (int i = 0; i < count; ++i)
        for (int j = 0; j < count; ++j) network.links[i][j] = j == (i + 1) % count || i == (j + 1) % count;
    return network;
}

void expectSameRows(const SparseRows& a, const SparseRows& b) {
    ASSERT_EQ(a.rowCount(), b.rowCount());
    ASSERT_EQ(a.entryCount(), b.entryCount());
    for (int l = 0; l < a.rowCount(); ++l) ASSERT_EQ(a.begin(l), b.begin(l));
    for (size_t k = 0; k < a.entryCount(); ++k) {
        ASSERT_EQ(a.column(k), b.column(k));
        const double wa = a.weight(k), wb = b.weight(k);
        ASSERT_EQ(std::memcmp(&wa, &wb, sizeof(double)), 0);
    }
}

bool closeRelative(double a, double b) { return std::abs(a - b) <= 1e-12 * std::max(std::abs(a), std::abs(b)); }

std::string reportOf(const NetworkModel& network) {
    std::ostringstream out;
    network.analyze(out, ReportTransitions | ReportStepTable | ReportSummary | ReportData, 16, 16);
    return out.str();
}

}  // namespace

TEST(Engine, MarksMatchLiteralMarkingOnEveryShapeOfSuccessorGraph) {
    SuccessorGraphs graphs(20261207);
    std::vector<std::vector<int>> configurations;
    std::vector<int> successor;
    for (int trial = 0; trial < 3000; ++trial) {
        graphs.next(configurations, successor);
        ASSERT_EQ(markConfigurations(listOf(configurations), successor), marksLiterally(configurations, successor))
            << "trial " << trial;
    }
}

// On a cycle longer than the linear search, values of node 0 are looked up
// by bisection, and the key just past the end of the range of value 0 is
// value 1 at the cycle's first position. The only configuration of the cycle
// with value 0 recurs only when the cycle closes, so it is marked and marks
// the whole cycle; a configuration on a tree with value 0 before a cycle
// without it is marked the same way.
TEST(Engine, ValuesLookedUpOnALongCycleStopAtTheEndOfTheirRange) {
    const int length = 40;
    std::vector<int> successor(length);
    for (int l = 0; l < length; ++l) successor[l] = (l + 1) % length;
    std::vector<std::vector<int>> configurations(length, std::vector<int>{1, -1});
    configurations[5][0] = 0;
    std::vector<bool> marks = markConfigurations(listOf(configurations), successor);
    EXPECT_EQ(marks, std::vector<bool>(length, true));
    EXPECT_EQ(marks, marksLiterally(configurations, successor));

    configurations[5][0] = 1;
    configurations.push_back({0, -1});
    successor.push_back(3);
    marks = markConfigurations(listOf(configurations), successor);
    EXPECT_EQ(marks, std::vector<bool>(length + 1, true));
    EXPECT_EQ(marks, marksLiterally(configurations, successor));
}

// The chain of the engine is the window's: the same weights to the bit, the
// same marks; and the same for any number of jobs.
TEST(Engine, ChainIsTheLiteralAlgorithmsForAnyNumberOfJobs) {
    NetworkGenerator generator(7);
    for (int trial = 0; trial < 300; ++trial) {
        NetworkModel network;
        generator.fill(network, 2 + trial % 5);
        const NeighbourLists neighbours = neighbourLists(network);
        const int h = static_cast<int>(configurationCount(neighbours, MaxAnalysisConfigurations));
        if (h > 400) continue;  // the literal enumeration searches every leaf linearly
        const oracle::Context literal = oracle::buildChain(network, [](int, int) {});
        const MarkovChain chain = buildMarkovChain(ChainRules::Window, network, neighbours, h, 1 + trial % 3);
        ASSERT_EQ(chain.marked, literal.marked);
        for (int l = 0; l < h; ++l) {
            std::vector<double> row(static_cast<size_t>(h), 0.0);
            chain.transitions.forEachEntry(l, [&](int column, double weight) { row[column] = weight; });
            ASSERT_EQ(row, literal.transitions[l]) << "trial " << trial << " row " << l;
        }
    }
    for (const int count : {12, 14}) {
        const NetworkModel ring = ringOf(count, generator);
        const NeighbourLists neighbours = neighbourLists(ring);
        const int h = static_cast<int>(configurationCount(neighbours, 1 << 20));
        const MarkovChain alone = buildMarkovChain(ChainRules::Window, ring, neighbours, h, 1);
        const MarkovChain shared = buildMarkovChain(ChainRules::Window, ring, neighbours, h, 3);
        expectSameRows(alone.transitions, shared.transitions);
        EXPECT_EQ(alone.marked, shared.marked);
    }
}

// Marking has no count of its own to show: its phase has no total, so a
// terminal shows its name without a share done.
TEST(Engine, ChainBuildEndsInAMarkingPhaseWithoutATotal) {
    NetworkGenerator generator(13);
    const NetworkModel ring = ringOf(8, generator);
    const NeighbourLists neighbours = neighbourLists(ring);
    WorkProgress progress;
    buildMarkovChain(ChainRules::Window, ring, neighbours, static_cast<int>(configurationCount(neighbours, 1 << 20)), 1, &progress);
    EXPECT_STREQ(progress.phase(), "marking");
    EXPECT_EQ(progress.total(), 0);
    EXPECT_EQ(progress.done(), 0);
}

// Per start configuration and averaged, the weights in S agree with the
// window's step table and summary (dense powers) for every step up to 32.
TEST(Engine, SuccessCurvesAgreeWithTheWindowsStepTables) {
    NetworkGenerator generator(11);
    int checkedMarked = 0;
    for (int trial = 0; trial < 120; ++trial) {
        NetworkModel network;
        generator.fill(network, 2 + trial % 4);
        const NeighbourLists neighbours = neighbourLists(network);
        const int h = static_cast<int>(configurationCount(neighbours, MaxAnalysisConfigurations));
        if (h > 300) continue;
        const oracle::Context literal = oracle::buildChain(network, [](int, int) {});
        const MarkovChain chain = buildMarkovChain(ChainRules::Window, network, neighbours, h, 1);
        const SuccessCurves curves = computeSuccessCurves(chain.transitions, chain.marked, 32, true, 2);
        std::vector<std::vector<double>> power = literal.transitions;
        for (int p = 1; p <= 32; ++p) {
            double total = 0.0;
            for (int l = 0; l < h; ++l) {
                double inS = 0.0;
                for (int m = 0; m < h; ++m)
                    if (literal.marked[m]) inS += power[l][m];
                total += inS;
                ASSERT_TRUE(closeRelative(curves.value(p, l), inS)) << "trial " << trial << " p " << p << " l " << l;
            }
            ASSERT_TRUE(closeRelative(curves.average[p], total / h));
            std::vector<std::vector<double>> next(h, std::vector<double>(h, 0.0));
            for (int l = 0; l < h; ++l)
                for (int m = 0; m < h; ++m)
                    for (int i = 0; i < h; ++i) next[l][m] += power[l][i] * literal.transitions[i][m];
            power.swap(next);
        }
        checkedMarked += chain.markedCount > 0;
    }
    EXPECT_GT(checkedMarked, 20);
}

TEST(Engine, SuccessCurvesAreTheSameForAnyNumberOfJobs) {
    NetworkGenerator generator(5);
    NetworkModel ring = ringOf(14, generator);
    for (auto& values : ring.params) std::fill(values.begin(), values.end(), 1.0);
    ring.params[NetworkModel::Gamma][3] = 0.25;
    const NeighbourLists neighbours = neighbourLists(ring);
    const MarkovChain chain = buildMarkovChain(ChainRules::Window, ring, neighbours, static_cast<int>(configurationCount(neighbours, 1 << 20)), 2);
    ASSERT_GT(chain.markedCount, 0);
    const SuccessCurves alone = computeSuccessCurves(chain.transitions, chain.marked, 40, true, 1);
    const SuccessCurves shared = computeSuccessCurves(chain.transitions, chain.marked, 40, true, 3);
    EXPECT_EQ(alone.average, shared.average);
    EXPECT_EQ(alone.perConfiguration, shared.perConfiguration);
}

// What the window prints reads back as the network it was printed from:
// parameters on the sliders' grid exactly, and so the whole report.
TEST(Engine, NetworkBlockReadsBackWhatTheWindowPrints) {
    NetworkGenerator generator(3);
    for (int trial = 0; trial < 100; ++trial) {
        NetworkModel network;
        generator.fillAsTheWindowLeavesIt(network, 2 + trial % 4);
        std::ostringstream text;
        text << "analize: 100%\nsome earlier output\n";
        network.dumpData(text);
        text << "DATA:\n01 1.000 1.000 1.000\n10 1.000 1.000 1.000\n";  // a later block is not read
        std::istringstream in(trial % 2 ? text.str() : std::regex_replace(text.str(), std::regex("\n"), "\r\n"));
        NetworkModel read;
        const BlockError error = readNetworkBlock(in, read);
        ASSERT_EQ(error.kind, BlockError::None) << error.message;
        EXPECT_EQ(read.links, network.links);
        EXPECT_EQ(read.params, network.params);
        EXPECT_EQ(reportOf(read), reportOf(network));
    }
}

TEST(Engine, ParametersSnapToTheSlidersGridOnlyWithinHalfAThousandth) {
    for (int k = 0; k <= 64; ++k) {
        char text[16];
        std::snprintf(text, sizeof text, "%.3f", k / 64.0);
        double value = -1;
        ASSERT_TRUE(parseParameter(text, value));
        EXPECT_EQ(value, k / 64.0) << text;
    }
    const std::pair<const char*, double> cases[] = {
        {"0.3", 0.3},         {"0.30000000000000004", 0.30000000000000004}, {"0.0150", 0.015},
        {"0.0152", 0.015625}, {"0.0161", 0.015625},                          {"0.0162", 0.0162},
        {"0.0625", 0.0625},
        {"6.2e-2", 0.0625},   {"1", 1.0},                               {"0.9995", 1.0},
        {".5", 0.5},          {"0.999", 0.999},                         {"0.25000000000000000000000000000000001", 0.25},
    };
    for (const auto& [text, expected] : cases) {
        double value = -1;
        ASSERT_TRUE(parseParameter(text, value)) << text;
        EXPECT_EQ(value, expected) << text;
    }
    for (const char* text : {"", "abc", "0x1p-2", "1.2.3", "nan", "inf", "1e999", "--1", "."}) {
        double value = 0;
        EXPECT_FALSE(parseParameter(text, value)) << text;
    }
}

TEST(Engine, FaultyBlocksNameTheirLine) {
    struct Case {
        const char* text;
        BlockError::Kind kind;
        int line;
        const char* says;
    };
    const Case cases[] = {
        {"no block here\n", BlockError::BadInput, 0, "no \"DATA:\""},
        {"DATA:\n0 1.0 1.0 1.0\n\n", BlockError::BadInput, 1, "at least 2 nodes"},
        {"x\nDATA:\n01 1 1 1\n1 1 1 1\n", BlockError::BadInput, 4, "has 1 entries, the first had 2"},
        {"DATA:\n011 1 1 1\n101 1 1 1\n", BlockError::BadInput, 2, "3 entries but the block has 2 node lines"},
        {"DATA:\n01 1 1 1\n1a 1 1 1\n", BlockError::BadInput, 3, "\"a\" at column 2"},
        {"DATA:\n01 1 1 1\n00 1 1 1\n", BlockError::BadInput, 3, "set in row 0 but not in row 1"},
        {"DATA:\n11 1 1 1\n10 1 1 1\n", BlockError::BadInput, 2, "node 0 is linked to itself"},
        {"DATA:\n01 1 1 1\n10 1 x 1\n", BlockError::BadInput, 3, "beta \"x\" is not a number"},
        {"DATA:\n01 1 1 inf\n10 1 1 1\n", BlockError::BadInput, 2, "gamma \"inf\" is not finite"},
        {"DATA:\n01 1 1 1\n10 1.5 1 1\n", BlockError::BadInput, 3, "alpha \"1.5\" is outside [0, 1]"},
        {"DATA:\n01 1 -0.001 1\n10 1 1 1\n", BlockError::BadInput, 2, "outside [0, 1]"},
        {"DATA:\n01 1 1\n10 1 1 1\n", BlockError::BadInput, 2, "gamma is missing"},
        {"DATA:\n01 1 1 1 7\n10 1 1 1\n", BlockError::BadInput, 2, "unexpected \"7\" after gamma"},
    };
    for (const Case& c : cases) {
        std::istringstream in(c.text);
        NetworkModel network;
        const BlockError error = readNetworkBlock(in, network);
        EXPECT_EQ(error.kind, c.kind) << c.text;
        EXPECT_EQ(error.line, c.line) << c.text;
        EXPECT_NE(error.message.find(c.says), std::string::npos) << error.message;
    }
    std::string huge = "DATA:\n";
    for (int i = 0; i <= MaxBlockNodes; ++i) huge += "0 1 1 1\n";
    std::istringstream in(huge);
    NetworkModel network;
    EXPECT_EQ(readNetworkBlock(in, network).kind, BlockError::BeyondLimit);
}

TEST(Engine, SeededGeneratorsRepeatTheCLibrarySequence) {
#ifndef __GLIBC__
    GTEST_SKIP() << "the generator follows glibc's rand() sequence";
#endif
    for (const unsigned seed : {0u, 1u, 2u, 12345u, UINT_MAX}) {
        std::srand(seed);
        SeededRandom random(seed);
        for (int k = 0; k < 2000; ++k) ASSERT_EQ(random.next(), std::rand()) << "seed " << seed << " draw " << k;
    }
}

// A sampled run on its own generator is the window's run: the same counters
// after every recorded step as steps drawn from srand(seed) and rand().
TEST(Engine, SimulatedRunsAreTheWindowsSteps) {
    NetworkGenerator generator(17);
    for (int trial = 0; trial < 40; ++trial) {
        NetworkModel network;
        generator.fill(network, 2 + trial % 7);
        network.symmetrize();
        const unsigned seed = trial % 3 == 0 ? 1u : 1000u + trial;
        const std::vector<RunSnapshot> snapshots = simulateRun(network, seed, 500, 64);
        ASSERT_EQ(snapshots.size(), 8u);
        std::srand(seed);
        NetworkModel window = network;
        size_t next = 0;
        for (uint32_t k = 1; k <= 500; ++k) {
            window.step();
            if (k % 64 != 0 && k != 500) continue;
            ASSERT_EQ(snapshots[next].step, k);
            ASSERT_EQ(snapshots[next].successes, window.successCount) << "trial " << trial << " step " << k;
            ++next;
        }
    }
}
