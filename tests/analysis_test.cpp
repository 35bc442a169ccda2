#include <gtest/gtest.h>

#include <iostream>
#include <random>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "analysis_oracle.h"
#include "model/analysis.h"
#include "network_generator.h"
#include "test_support.h"

namespace {

// Sends std::cout into a string for the lifetime of the capture.
class CoutCapture {
public:
    CoutCapture() : saved_(std::cout.rdbuf(text_.rdbuf())) {}
    ~CoutCapture() { std::cout.rdbuf(saved_); }
    std::string take() {
        std::string text = text_.str();
        text_.str(std::string());
        return text;
    }

private:
    std::ostringstream text_;
    std::streambuf* saved_;
};

struct Report {
    std::string out;
    std::string standardOutput;
};

// Runs an analysis with the report on its own stream; the trailing number
// shows the formatting state each stream was left in.
template <typename Analysis>
Report capture(Analysis analysis) {
    CoutCapture capture;
    std::cout << std::defaultfloat << std::setprecision(6);
    std::ostringstream out;
    analysis(out);
    out << 0.1234567;
    std::cout << 0.1234567;
    return {out.str(), capture.take()};
}

int configurationCountOf(const Network& network) {
    int count = 1;
    for (int i = 0; i < network.nodeCount; ++i) {
        int k = 0;
        for (int j = 0; j < network.nodeCount; ++j) k += network.links[i][j] == 1;
        if (k > 0) count *= k;
    }
    return count;
}

void expectSameReport(const Network& network, unsigned options, int horizon, int columnsPerBlock) {
    const Report expected = capture(
        [&](std::ostream& out) { oracle::analyze(network, out, options, horizon, columnsPerBlock); });
    const Report actual = capture([&](std::ostream& out) { network.analyze(out, options, horizon, columnsPerBlock); });
    ASSERT_EQ(actual.out, expected.out) << "options " << options << " horizon " << horizon << " columns "
                                        << columnsPerBlock;
    ASSERT_EQ(actual.standardOutput, expected.standardOutput)
        << "options " << options << " horizon " << horizon << " columns " << columnsPerBlock;
}

std::string standardOutputOf(const Network& network, int horizon, int columnsPerBlock, std::string& out) {
    CoutCapture capture;
    std::ostringstream report;
    network.analyze(report, 31, horizon, columnsPerBlock);
    out = report.str();
    return capture.take();
}

void linkAll(Network& network) {
    for (int i = 0; i < network.nodeCount; ++i)
        for (int j = 0; j < network.nodeCount; ++j) network.links[i][j] = i != j;
}

// Gives node i exactly factors[i] links (to the nodes after it, cyclically);
// the matrix need not be symmetric.
void linkWithCounts(Network& network, const std::vector<int>& factors) {
    for (auto& row : network.links) std::fill(row.begin(), row.end(), 0);
    for (size_t i = 0; i < factors.size(); ++i)
        for (int d = 1; d <= factors[i]; ++d) network.links[i][(i + d) % network.nodeCount] = 1;
}

// Networks with exactly the limit of configurations and one more; each node
// of `counts` gets that many links.
struct CountedNetwork {
    int nodes;
    std::vector<int> counts;
};
static_assert(MaxAnalysisConfigurations == 16384, "boundary networks below assume this limit");
const CountedNetwork BoundaryAt{14, std::vector<int>(14, 2)};
const CountedNetwork BoundaryAbove{114, {5, 29, 113}};  // 16385

}  // namespace

// The strongest check: the whole report, both streams, against the plain
// algorithm, on many random small networks and every option subset.
TEST(Analysis, MatchesOracleOnRandomNetworks) {
    NetworkGenerator generator(20240611);
    for (int trial = 0; trial < 800; ++trial) {
        NetworkFixture f;
        int h = 0;
        do {
            generator.fill(f.network, generator.pick({2, 3, 4, 4, 5, 5, 5}));
            h = configurationCountOf(f.network);
        } while (h > 128 || (h < 3 && generator.chance(0.8)));
        const unsigned options = trial < 64 ? unsigned(trial % 32) : unsigned(generator.uniform(32));
        const int horizon = 1 + (h <= 32 && trial % 3 == 0 ? generator.uniform(32) : generator.uniform(6));
        const int columns = 1 + generator.uniform(h + 1);
        expectSameReport(f.network, options, horizon, columns);
    }
}

TEST(Analysis, MatchesOracleOnEveryHorizonAndBlockWidth) {
    NetworkGenerator generator(77);
    for (int trial = 0; trial < 6; ++trial) {
        NetworkFixture f;
        do generator.fill(f.network, 3 + trial % 2);
        while (configurationCountOf(f.network) < 4 || configurationCountOf(f.network) > 16);
        const int h = configurationCountOf(f.network);
        for (int horizon = 1; horizon <= 32; ++horizon) expectSameReport(f.network, 31, horizon, 1 + horizon % h);
        for (int columns = 1; columns <= h + 1; ++columns) expectSameReport(f.network, 31, 2, columns);
    }
}

// Beyond 256 configurations a progress line follows every row of every power.
TEST(Analysis, MatchesOracleAroundRowProgressThreshold) {
    for (const std::vector<int>& counts : {std::vector<int>{4, 4, 4, 4, 1}, std::vector<int>{3, 3, 4, 4, 2}}) {
        NetworkFixture f;
        f.network.resize(5);
        linkWithCounts(f.network, counts);
        f.network.params[Network::Alpha] = {0.9, 0.7, 1.0, 0.8, 0.6};
        f.network.params[Network::Gamma] = {0.3, 0.0, 0.0, 1.0, 0.5};
        expectSameReport(f.network, 31, 3, 100);
    }
}

TEST(Analysis, MatchesOracleWhenReportSharesStandardOutput) {
    NetworkGenerator generator(5);
    for (int trial = 0; trial < 20; ++trial) {
        NetworkFixture f;
        generator.fill(f.network, 2 + trial % 4);
        if (configurationCountOf(f.network) > 96) continue;
        CoutCapture capture;
        oracle::analyze(f.network, std::cout, 31, 4, 5);
        const std::string expected = capture.take();
        f.network.analyze(std::cout, 31, 4, 5);
        ASSERT_EQ(capture.take(), expected);
    }
}

TEST(Analysis, KnownWeightsOfSmallNetworks) {
    NetworkFixture f;
    Network& network = f.network;
    network.resize(2);
    linkAll(network);
    network.params[Network::Alpha] = {0.5, 0.5};
    std::ostringstream out;
    network.analyze(out, ReportTransitions, 1, 1);
    EXPECT_EQ(out.str(), "             1 0      \n 1 0 C  0.500000  \n\n");

    // Arbitration weights that sum to 1.0000000000000002: printed as 1, yet
    // no successor, since only exactly 1.0 counts.
    network.params[Network::Alpha] = {1.0, 1.0};
    for (const auto& [gamma0, gamma1, mark] : {std::tuple{0.858, 0.481, 'C'}, std::tuple{0.244, 0.607, 'S'}}) {
        network.params[Network::Gamma] = {gamma0, gamma1};
        std::ostringstream nearlyOne;
        network.analyze(nearlyOne, ReportTransitions, 1, 1);
        EXPECT_EQ(nearlyOne.str(), std::string("             1 0      \n 1 0 ") + mark + "  1.000000  \n\n");
    }
    network.params[Network::Gamma] = {1.0, 1.0};

    // The path 0-1-2: both configurations lead to both with 0.5; nothing is marked.
    network.resize(3);
    network.params[Network::Alpha] = {1.0, 1.0, 1.0};
    network.links = {{0, 1, 0}, {1, 0, 1}, {0, 1, 0}};
    std::ostringstream path;
    network.analyze(path, ReportSummary, 2, 1);
    EXPECT_EQ(path.str(), "0.000000  0.000000  0.000000  \n\n");
}

TEST(Analysis, LeavesNetworkUnchangedAndRepeats) {
    NetworkFixture f;
    Network& network = f.network;
    network.resize(4);
    network.links = {{0, 1, 0, 0}, {0, 0, 1, 1}, {1, 1, 0, 0}, {0, 1, 1, 0}};  // not symmetric
    network.partner = {1, 2, -1, 3};
    const auto links = network.links;
    std::string first;
    std::string second;
    const std::string progress = standardOutputOf(network, 5, 3, first);
    EXPECT_EQ(standardOutputOf(network, 5, 3, second), progress);
    EXPECT_EQ(second, first);
    EXPECT_EQ(network.links, links);
    EXPECT_EQ(network.partner, (std::vector<int>{1, 2, -1, 3}));
}

TEST(Analysis, RefusesBadArgumentsWithOneLine) {
    NetworkFixture f;
    const struct {
        int horizon;
        int columns;
        const char* line;
    } cases[] = {
        {0, 16, "analysis refused: horizon 0 is outside 1 to 32\n"},
        {33, 16, "analysis refused: horizon 33 is outside 1 to 32\n"},
        {-4, 16, "analysis refused: horizon -4 is outside 1 to 32\n"},
        {16, 0, "analysis refused: 0 columns per block, at least 1 needed\n"},
    };
    for (const auto& c : cases) {
        CoutCapture capture;
        std::ostringstream out;
        f.network.analyze(out, 31, c.horizon, c.columns);
        EXPECT_EQ(capture.take(), c.line);
        EXPECT_EQ(out.str(), "");
    }
}

// The count of a complete graph of 21 nodes, 20^21, overflows any integer
// type; it is refused up front with the exact count, and nothing else written.
TEST(Analysis, RefusesTooManyConfigurations) {
    NetworkFixture f;
    Network& network = f.network;
    network.resize(21);
    linkAll(network);
    const auto links = network.links;
    CoutCapture capture;
    std::ostringstream out;
    network.analyze(out, 31, 16, 16);
    EXPECT_EQ(capture.take(), "analysis refused: the network has 2097152000000000000000000000 configurations, "
                              "more than the limit of " +
                                  std::to_string(MaxAnalysisConfigurations) + "\n");
    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(network.links, links);
}

TEST(Analysis, LimitIsInclusive) {
    // Just above the limit: refused.
    {
        NetworkFixture f;
        f.network.resize(BoundaryAbove.nodes);
        linkWithCounts(f.network, BoundaryAbove.counts);
        CoutCapture capture;
        std::ostringstream out;
        f.network.analyze(out, 31, 16, 16);
        EXPECT_EQ(capture.take(), "analysis refused: the network has " + std::to_string(MaxAnalysisConfigurations + 1) +
                                      " configurations, more than the limit of " +
                                      std::to_string(MaxAnalysisConfigurations) + "\n");
    }
    // At the limit: analysed.
    {
        NetworkFixture f;
        f.network.resize(BoundaryAt.nodes);
        linkWithCounts(f.network, BoundaryAt.counts);
        CoutCapture capture;
        std::ostringstream out;
        f.network.analyze(out, ReportSummary | ReportProgress, 1, 1);
        EXPECT_EQ(out.str().substr(0, 1), "\n");
        EXPECT_NE(capture.take().find("analize: 100%; calculation:   0%\n"), std::string::npos);
    }
}

TEST(Analysis, DecimalProduct) {
    EXPECT_EQ(decimalProduct({}), "1");
    EXPECT_EQ(decimalProduct({20, 20, 20}), "8000");
    EXPECT_EQ(decimalProduct(std::vector<int>(30, 99)),
              "739700373388280422730015092316714942252676262352676444347001");
}
