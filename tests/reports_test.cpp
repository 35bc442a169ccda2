#include <gtest/gtest.h>

#include <iomanip>
#include <iostream>
#include <sstream>
#include <string>

#include "model/reports.h"
#include "test_support.h"

namespace {

// Sends std::cout into a string for the lifetime of the capture.
class CoutCapture {
public:
    CoutCapture() : saved_(std::cout.rdbuf(text_.rdbuf())) {}
    ~CoutCapture() { std::cout.rdbuf(saved_); }
    std::string text() const { return text_.str(); }

private:
    std::ostringstream text_;
    std::streambuf* saved_;
};

void linkTriangle(Network& network) {
    network.resize(3);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) network.links[i][j] = i != j;
}

// The whole report as the shell sees it: the report stream is standard output.
std::string fullReport(const Network& network, int horizon, int columnsPerBlock) {
    CoutCapture capture;
    network.analyze(std::cout, 31, horizon, columnsPerBlock);
    return capture.text();
}

ConfigurationList oneConfiguration(std::vector<int> entries) {
    ConfigurationList list;
    list.nodeCount = static_cast<int>(entries.size());
    list.count = 1;
    list.entries = std::move(entries);
    return list;
}

const char* const StartUpReport = R"(DATA:
0000 1.000 1.000 1.000
0000 1.000 1.000 1.000
0000 1.000 1.000 1.000
0000 1.000 1.000 1.000

analize: 100%; calculation:   0%

analize: 100%; calculation:   6.667%
analize: 100%; calculation:  13.333%
analize: 100%; calculation:  20.000%
analize: 100%; calculation:  26.667%
analize: 100%; calculation:  33.333%
analize: 100%; calculation:  40.000%
analize: 100%; calculation:  46.667%
analize: 100%; calculation:  53.333%
analize: 100%; calculation:  60.000%
analize: 100%; calculation:  66.667%
analize: 100%; calculation:  73.333%
analize: 100%; calculation:  80.000%
analize: 100%; calculation:  86.667%
analize: 100%; calculation:  93.333%
analize: 100%; calculation: 100.000%

            -1-1-1-1  
-1-1-1-1 S  1.000000  

                   0         1         2         3         4         5         6         7         8         9        10        11        12        13        14        15        16  
-1-1-1-1 S  1.000000  1.000000  1.000000  1.000000  1.000000  1.000000  1.000000  1.000000  1.000000  1.000000  1.000000  1.000000  1.000000  1.000000  1.000000  1.000000  1.000000  

            1.000000  1.000000  1.000000  1.000000  1.000000  1.000000  1.000000  1.000000  1.000000  1.000000  1.000000  1.000000  1.000000  1.000000  1.000000  1.000000  1.000000  

)";

const char* const TriangleReport = R"(DATA:
011 1.000 1.000 1.000
101 1.000 1.000 1.000
110 1.000 1.000 1.000

analize:  12%; calculation:   0%
analize:  25%; calculation:   0%
analize:  37%; calculation:   0%
analize:  50%; calculation:   0%
analize:  62%; calculation:   0%
analize:  75%; calculation:   0%
analize:  87%; calculation:   0%
analize: 100%; calculation:   0%

analize: 100%; calculation:  50.000%
analize: 100%; calculation: 100.000%

             1 0 0     2 0 0     1 2 0     2 2 0    
 1 0 0 C  0.000000  0.000000  0.000000  0.500000  
 2 0 0 C  0.000000  0.000000  0.500000  0.000000  
 1 2 0 S  0.000000  0.000000  0.000000  0.000000  
 2 2 0 C  0.000000  0.000000  0.250000  0.000000  
 1 0 1 C  0.000000  0.000000  0.500000  0.000000  
 2 0 1 S  0.000000  0.000000  1.000000  0.000000  
 1 2 1 C  0.500000  0.000000  0.000000  0.000000  
 2 2 1 C  0.000000  0.250000  0.500000  0.000000  

             1 0 1     2 0 1     1 2 1     2 2 1    
 1 0 0 C  0.000000  0.500000  0.000000  0.000000  
 2 0 0 C  0.500000  0.000000  0.000000  0.000000  
 1 2 0 S  0.000000  1.000000  0.000000  0.000000  
 2 2 0 C  0.000000  0.500000  0.250000  0.000000  
 1 0 1 C  0.000000  0.000000  0.000000  0.500000  
 2 0 1 S  0.000000  0.000000  0.000000  0.000000  
 1 2 1 C  0.000000  0.500000  0.000000  0.000000  
 2 2 1 C  0.000000  0.250000  0.000000  0.000000  

                 0         1         2         3  
 1 0 0 C  0.000000  0.500000  0.875000  0.937500  
 2 0 0 C  0.000000  0.500000  0.750000  0.937500  
 1 2 0 S  1.000000  1.000000  1.000000  1.000000  
 2 2 0 C  0.000000  0.750000  0.875000  0.937500  
 1 0 1 C  0.000000  0.500000  0.875000  0.937500  
 2 0 1 S  1.000000  1.000000  1.000000  1.000000  
 1 2 1 C  0.000000  0.500000  0.750000  0.937500  
 2 2 1 C  0.000000  0.750000  0.875000  0.937500  

          0.250000  0.687500  0.875000  0.953125  

)";

}  // namespace

TEST(Reports, StartUpNetworkGolden) {
    NetworkFixture f;
    EXPECT_EQ(fullReport(f.network, 16, 16), StartUpReport);
}

TEST(Reports, TriangleGolden) {
    NetworkFixture f;
    linkTriangle(f.network);
    EXPECT_EQ(fullReport(f.network, 3, 4), TriangleReport);
}

TEST(Reports, DumpDataLeavesFixedThreeDecimals) {
    NetworkFixture f;
    Network& network = f.network;
    network.resize(2);
    network.links[0][1] = 2;  // any non-zero entry is a link
    network.params[Network::Alpha] = {0.25, 1.0};
    network.params[Network::Beta] = {0.0625, 0.5};
    network.params[Network::Gamma] = {0.0, 0.9999};
    std::ostringstream out;
    network.dumpData(out);
    out << 2.5;
    EXPECT_EQ(out.str(), "DATA:\n01 0.250 0.062 0.000\n00 1.000 0.500 1.000\n\n2.500");
}

TEST(Reports, ProgressLines) {
    std::ostringstream out;
    writeAnalysisProgress(out, 7);
    writeAnalysisProgress(out, 100);
    writeCalculationProgress(out, 100.0 / 3);
    writeCalculationProgress(out, 100.0);
    out << 0.5;  // fixed with three decimals stays set
    EXPECT_EQ(out.str(),
              "analize:   7%; calculation:   0%\n"
              "analize: 100%; calculation:   0%\n"
              "analize: 100%; calculation:  33.333%\n"
              "analize: 100%; calculation: 100.000%\n"
              "0.500");
}

TEST(Reports, TruncateDecimalsCutsDownward) {
    EXPECT_EQ(truncateDecimals(6, 0.4999997), 0.499999);
    EXPECT_EQ(truncateDecimals(6, 0.9999999), 0.999999);
    EXPECT_EQ(truncateDecimals(3, 0.5), 0.5);
    EXPECT_EQ(truncateDecimals(2, -0.001), -0.01);
    EXPECT_EQ(transitionColumnWidth(2), 8);
    EXPECT_EQ(transitionColumnWidth(4), 8);
    EXPECT_EQ(transitionColumnWidth(5), 10);
}

// A weight just below 1 is cut in the transition table and the summary but
// rounded in the step table; the tables leave their precision on the stream.
TEST(Reports, CutAndRoundedWeights) {
    const ConfigurationList list = oneConfiguration({1, 0});
    const std::vector<bool> marked{true};
    const SparseRows transitions = SparseRows::fromRows({{{0, 0.9999999}}});

    std::ostringstream table;
    writeTransitionTable(table, list, marked, transitions, 3);
    table << 0.5;
    EXPECT_EQ(table.str(), "             1 0      \n 1 0 S  0.999999  \n\n0.500000");

    std::ostringstream steps;
    writeStepTable(steps, list, marked, 1, {0.9999999});
    EXPECT_EQ(steps.str(), "               0         1  \n 1 0 S  1.000000  1.000000  \n\n");

    std::ostringstream summary;
    writeSummary(summary, false, list, 1, {0.9999999});
    EXPECT_EQ(summary.str(), "1.000000  0.999999  \n\n");
}

// Wide networks: W grows with N, two-digit entries fill their field, and a
// block boundary falls inside a row's entries.
TEST(Reports, WideTransitionTable) {
    ConfigurationList list;
    list.nodeCount = 11;
    list.count = 2;
    list.entries = {10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    const SparseRows transitions = SparseRows::fromRows({{{1, 0.5}}, {{0, 0.25}}});
    std::ostringstream out;
    writeTransitionTable(out, list, {false, true}, transitions, 1);
    const std::string row0 = "10 0 0 0 0 0 0 0 0 0 0";
    const std::string row1 = "10 0 0 0 0 0 0 0 0 0 1";
    const std::string zero = "0.00000000000000000000";  // W = 22, 20 decimals
    EXPECT_EQ(out.str(), std::string(26, ' ') + row0 + "  \n" +
                             row0 + " C  " + zero + "  \n" +
                             row1 + " S  0.25000000000000000000  \n\n" +
                             std::string(26, ' ') + row1 + "  \n" +
                             row0 + " C  0.50000000000000000000  \n" +
                             row1 + " S  " + zero + "  \n\n");
}

TEST(Reports, SummaryOnlyIsOneUnindentedLine) {
    NetworkFixture f;
    linkTriangle(f.network);
    std::ostringstream out;
    CoutCapture capture;
    f.network.analyze(out, ReportSummary, 3, 4);
    EXPECT_EQ(out.str(), "0.250000  0.687500  0.875000  0.953125  \n\n");
    EXPECT_EQ(capture.text(), "");
}

// Numbers follow the report stream's own locale and flags.
TEST(Reports, StreamFormattingStateIsHonoured) {
    struct Comma : std::numpunct<char> {
        char do_decimal_point() const override { return ','; }
    };
    const ConfigurationList list = oneConfiguration({-1});
    std::ostringstream out;
    out.imbue(std::locale(out.getloc(), new Comma));
    const SparseRows transitions = SparseRows::fromRows({{{0, 0.0}}});
    writeTransitionTable(out, list, {false}, transitions, 1);
    EXPECT_EQ(out.str(), "            -1        \n-1 C  0,000000  \n\n");
}
