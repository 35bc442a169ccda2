#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "cli/number_text.h"
#include "cli_run.h"
#include "model/network/configurations.h"
#include "model/network/network.h"
#include "model/network/seeded_random.h"
#include "model/studies/replicate_summary.h"
#include "model/studies/run_start.h"

// Where sampled runs start and what their summary says: the uniform start
// against a chi-square over the configurations, a given start against the
// step run by hand, the summary against the t interval worked out from the
// step table, and its coverage of the one rate known in closed form.

namespace {

constexpr double Pi = 3.14159265358979323846;

NetworkModel networkOf(int nodes, const std::vector<std::pair<int, int>>& links) {
    NetworkModel network;
    network.resize(nodes);
    for (const auto& [a, b] : links) network.links[a][b] = network.links[b][a] = 1;
    return network;
}

// A triangle 0-1-2 with 3 hanging from 2 and 4 alone: 2 x 2 x 3 x 1 = 12
// configurations, neighbour counts that differ, and a node without any.
NetworkModel triangleWithTail() {
    NetworkModel network = networkOf(5, {{0, 1}, {0, 2}, {1, 2}, {2, 3}});
    network.params[NetworkModel::Alpha] = {0.75, 1.0, 0.5, 0.875, 1.0};
    network.params[NetworkModel::Beta] = {0.5, 0.625, 1.0, 0.75, 1.0};
    network.params[NetworkModel::Gamma] = {0.25, 1.0, 0.5, 0.0, 1.0};
    return network;
}

NetworkModel completeGraph(int nodes) {
    NetworkModel network;
    network.resize(nodes);
    for (int i = 0; i < nodes; ++i)
        for (int j = 0; j < nodes; ++j) network.links[i][j] = i != j;
    return network;
}

// The position of each partner among its node's neighbours, node 0's digit
// fastest.
long long configurationNumber(const NeighbourLists& neighbours, const std::vector<int>& partners) {
    long long number = 0;
    long long stride = 1;
    for (size_t i = 0; i < neighbours.size(); ++i) {
        if (neighbours[i].empty()) continue;
        long long digit = 0;
        while (neighbours[i][static_cast<size_t>(digit)] != partners[i]) ++digit;
        number += digit * stride;
        stride *= static_cast<long long>(neighbours[i].size());
    }
    return number;
}

double chiSquare(const std::vector<long long>& counts, double expected) {
    double sum = 0.0;
    for (const long long count : counts) sum += (count - expected) * (count - expected) / expected;
    return sum;
}

std::string joined(const std::vector<int>& values) {
    std::string text;
    for (const int value : values) text += (text.empty() ? "" : ",") + std::to_string(value);
    return text;
}

// Student's t quantiles in closed form: one degree of freedom is Cauchy's,
// two have the inverse (2p - 1) / sqrt(2 p (1 - p)).
double tQuantile(double p, int degrees) {
    if (degrees == 1) return std::tan(Pi * (p - 0.5));
    return (2.0 * p - 1.0) / std::sqrt(2.0 * p * (1.0 - p));
}

// The last chance of every replicate and node in a step table.
std::vector<std::vector<double>> lastChances(const std::string& table, int replicates, int nodes) {
    std::vector<std::vector<double>> chances(static_cast<size_t>(replicates), std::vector<double>(nodes));
    const auto rows = csvFields(table);
    for (size_t k = 1; k < rows.size(); ++k)
        chances[std::stoul(rows[k][0])][std::stoul(rows[k][3])] = std::strtod(rows[k][5].c_str(), nullptr);
    return chances;
}

}  // namespace

// Over consecutive seeds, as replicates take them, every configuration of
// the small network comes equally often (chi-square below its 0.999
// quantile for 11 degrees of freedom, 31.26); the node alone keeps -1.
TEST(UniformStart, EveryConfigurationIsEquallyLikely) {
    const NeighbourLists neighbours = neighbourLists(triangleWithTail());
    constexpr int PerConfiguration = 1000;
    std::vector<long long> counts(12, 0);
    for (unsigned seed = 1; seed <= 12 * PerConfiguration; ++seed) {
        const std::vector<int> partners = uniformConfiguration(neighbours, seed);
        ASSERT_EQ(partners[4], -1);
        ++counts[static_cast<size_t>(configurationNumber(neighbours, partners))];
    }
    EXPECT_LT(chiSquare(counts, PerConfiguration), 31.26);
}

// The complete graph of 21 nodes has 20^21 configurations: each node's
// partner is uniform among its 20 neighbours (chi-square below 43.82, the
// 0.999 quantile for 19 degrees), and a node draws the same position as the
// node before it, or as itself for the next seed, one time in 20, as
// independent draws do.
TEST(UniformStart, NodesDrawIndependentlyOnTheCompleteGraphOf21) {
    const NeighbourLists neighbours = neighbourLists(completeGraph(21));
    constexpr int Seeds = 3000;
    std::vector<long long> positions(20, 0);
    long long sameAsPreviousNode = 0;
    long long sameAsPreviousSeed = 0;
    std::vector<int> previous;
    for (unsigned seed = 1; seed <= Seeds; ++seed) {
        const std::vector<int> partners = uniformConfiguration(neighbours, seed);
        std::vector<int> position(21);
        for (int i = 0; i < 21; ++i) {
            position[i] = partners[i] < i ? partners[i] : partners[i] - 1;
            ++positions[static_cast<size_t>(position[i])];
            if (i > 0 && position[i] == position[i - 1]) ++sameAsPreviousNode;
            if (!previous.empty() && position[i] == previous[i]) ++sameAsPreviousSeed;
        }
        previous = position;
    }
    EXPECT_LT(chiSquare(positions, 21.0 * Seeds / 20), 43.82);
    const auto expectOneIn20 = [](long long count, double trials, const char* what) {
        EXPECT_NEAR(count, trials / 20, 5 * std::sqrt(trials * 0.05 * 0.95)) << what;
    };
    expectOneIn20(sameAsPreviousNode, 20.0 * Seeds, "neighbouring nodes");
    expectOneIn20(sameAsPreviousSeed, 21.0 * (Seeds - 1), "neighbouring seeds");
}

// 2^64 mod 3 is 1 and 2^64 mod 3 x 2^62 is 2^62: draws below those would
// make the lowest values likelier, so they are drawn again.
TEST(UniformStart, DrawsThatWouldFavourLowValuesAreDrawnAgain) {
    struct Scripted {
        std::vector<uint64_t> draws;
        size_t next_ = 0;
        uint64_t next() { return draws[next_++]; }
    };
    Scripted small{{0, 0, 7}};
    EXPECT_EQ(uniformBelow(small, 3), 1u);
    EXPECT_EQ(small.next_, 3u);
    const uint64_t large = 3ULL << 62;
    Scripted wide{{(1ULL << 62) - 1, 1ULL << 62}};
    EXPECT_EQ(uniformBelow(wide, large), 1ULL << 62);
    EXPECT_EQ(wide.next_, 2u);
    Scripted whole{{~0ULL}};
    EXPECT_EQ(uniformBelow(whole, large), ~0ULL - large);
}

// A given configuration starts the run with every pointer on the first
// neighbour after the partner, and the step then draws the seed's own
// sequence from its beginning: so a uniform start is the given start of the
// configuration its seed draws, replicates are the lone runs of their seeds
// on any number of threads, and "start" is the default.
TEST(RunStart, StartsAreReproducibleAndLeaveTheStepsDrawsAlone) {
    TestFolder folder;
    const NetworkModel network = triangleWithTail();
    const std::string path = folder.write("net.txt", networkBlock(network));
    const std::vector<int> given = {2, 0, 3, 2, -1};

    NetworkModel byHand = network;
    byHand.partner = given;
    byHand.pointer = {1, 2, 0, 2, -1};
    SeededRandom random(9);
    std::string expected = "replicate,seed,step,node,successes,chance\n";
    for (uint32_t step = 1; step <= 60; ++step) {
        byHand.step(random);
        if (step % 20) continue;
        for (int node = 0; node < 5; ++node) {
            std::string chance;
            appendNumber(chance, static_cast<double>(byHand.successCount[node]) / step);
            expected += "0,9," + std::to_string(step) + "," + std::to_string(node) + "," +
                        std::to_string(byHand.successCount[node]) + "," + chance + "\n";
        }
    }
    const auto simulate = [&](std::vector<std::string> args) {
        args.insert(args.begin(), {"simulate", "--steps", "60", "--every", "20"});
        args.push_back(path);
        const CliOutcome outcome = runCli(args);
        EXPECT_EQ(outcome.status, 0) << outcome.err;
        return outcome.out;
    };
    EXPECT_EQ(simulate({"--seed", "9", "--from", joined(given)}), expected);

    const NeighbourLists neighbours = neighbourLists(network);
    const std::string together = simulate({"--seed", "40", "--replicates", "5", "--from", "uniform", "-j", "3"});
    std::string alone = "replicate,seed,step,node,successes,chance\n";
    for (int r = 0; r < 5; ++r) {
        const std::string seed = std::to_string(40 + r);
        const std::string drawn = simulate({"--seed", seed, "--from", "uniform"});
        EXPECT_EQ(drawn, simulate({"--seed", seed, "--from", joined(uniformConfiguration(neighbours, 40 + r))}));
        const auto rows = textLines(drawn);
        for (size_t k = 1; k < rows.size(); ++k) alone += std::to_string(r) + rows[k].substr(rows[k].find(',')) + "\n";
    }
    EXPECT_EQ(together, alone);
    EXPECT_EQ(simulate({"--seed", "3", "--from", "start"}), simulate({"--seed", "3"}));
}

// The summary is the mean of the step table's last chances over the same
// replicates and the t interval around it, here with t in closed form for 2
// and 3 replicates; the same bytes on any number of threads, also where the
// replicates take several batches.
TEST(SimulateSummary, IsTheTIntervalOfTheStepTablesLastChances) {
    TestFolder folder;
    const std::string path = folder.write("net.txt", networkBlock(triangleWithTail()));
    for (const int replicates : {2, 3, 150}) {
        const std::vector<std::string> runs = {"simulate", "--steps", "37",  "--seed", "11", "--replicates",
                                               std::to_string(replicates), "--from", "uniform", path};
        const auto chances = lastChances(runCli(runs).out, replicates, 5);
        for (const double confidence : {0.95, 0.5}) {
            std::vector<std::string> summary = runs;
            summary.insert(summary.end() - 1, {"--summary", "--confidence", std::to_string(confidence), "-j", "3"});
            const CliOutcome outcome = runCli(summary);
            ASSERT_EQ(outcome.status, 0) << outcome.err;
            summary[summary.size() - 2] = "1";
            EXPECT_EQ(runCli(summary).out, outcome.out);

            const auto rows = csvFields(outcome.out);
            ASSERT_EQ(rows.size(), 6u);
            EXPECT_EQ(textLines(outcome.out)[0], "node,chance,low,high,replicates");
            const double t = replicates < 4 ? tQuantile((1 + confidence) / 2, replicates - 1)
                                            : studentTQuantile((1 + confidence) / 2, replicates - 1);
            for (int node = 0; node < 5; ++node) {
                double mean = 0.0;
                for (const auto& replicate : chances) mean += replicate[node] / replicates;
                double squares = 0.0;
                for (const auto& replicate : chances) squares += (replicate[node] - mean) * (replicate[node] - mean);
                const double half = t * std::sqrt(squares / (replicates - 1)) / std::sqrt(replicates);
                const auto& row = rows[static_cast<size_t>(node) + 1];
                const std::string where = std::to_string(replicates) + " replicates, node " + std::to_string(node);
                EXPECT_EQ(row[0], std::to_string(node));
                EXPECT_NEAR(std::stod(row[1]), mean, 1e-14) << where;
                EXPECT_NEAR(std::stod(row[2]), std::max(0.0, mean - half), 1e-13) << where;
                EXPECT_NEAR(std::stod(row[3]), std::min(1.0, mean + half), 1e-13) << where;
                EXPECT_EQ(row[4], std::to_string(replicates));
            }
        }
    }
}

// Chances 0, 0 and 0.3: mean 0.1, standard deviation sqrt(0.03), t 4.3027
// for two degrees at 0.95, so the interval 0.1 -/+ 0.4303 is cut at 0.
TEST(SimulateSummary, IntervalsStayWithinZeroAndOne) {
    ChanceMoments moments(2);
    for (const double chance : {0.0, 0.0, 0.3}) moments.add({chance, 1.0});
    const std::vector<ChanceInterval> intervals = moments.intervals(0.95);
    EXPECT_NEAR(intervals[0].chance, 0.1, 1e-16);
    EXPECT_EQ(intervals[0].low, 0.0);
    EXPECT_NEAR(intervals[0].high, 0.1 + tQuantile(0.975, 2) * std::sqrt(0.03) / std::sqrt(3.0), 1e-14);
    EXPECT_EQ(intervals[1].chance, 1.0);
    EXPECT_EQ(intervals[1].low, 1.0);
    EXPECT_EQ(intervals[1].high, 1.0);
    EXPECT_NEAR(studentTQuantile(0.975, 1), tQuantile(0.975, 1), 1e-12);
}

// Two linked nodes with certain attempts target each other from their one
// configuration, and node 0 acts, and succeeds, with probability
// g0 / (g0 + g1) every step: its chance after K steps is a binomial
// frequency around 0.25 here. Intervals of 5 replicates, 400 times on
// seeds of their own, hold 0.25 about as often as their level says (within
// about three standard deviations of the binomial count).
TEST(SimulateSummary, IntervalsCoverTheTwoNodeRateAsOftenAsTheirLevel) {
    NetworkModel pair = networkOf(2, {{0, 1}});
    pair.params[NetworkModel::Gamma] = {0.25, 0.75};
    const RunStart uniform{RunStart::Uniform, {}};
    constexpr int Trials = 400;
    constexpr int Replicates = 5;
    for (const double confidence : {0.95, 0.5}) {
        int covered = 0;
        for (int trial = 0; trial < Trials; ++trial) {
            const auto intervals = summarizeReplicates(pair, uniform, 1 + trial * Replicates, Replicates, 200, 2,
                                                       confidence);
            covered += intervals[0].low <= 0.25 && 0.25 <= intervals[0].high;
            EXPECT_NEAR(intervals[0].chance + intervals[1].chance, 1.0, 1e-15);
        }
        const double spread = 3.3 * std::sqrt(Trials * confidence * (1 - confidence));
        EXPECT_NEAR(covered, Trials * confidence, spread) << "confidence " << confidence;
    }
}

// Each fault: status 2, one line naming it, nothing on standard output.
TEST(SimulateSummary, BadStartsAndSummariesAreOneLine) {
    TestFolder folder;
    const std::string path = folder.write("net.txt", networkBlock(triangleWithTail()));
    struct Case {
        std::vector<std::string> args;
        const char* says;
    };
    const Case cases[] = {
        {{"--from", "1,0,0,2"}, "--from \"1,0,0,2\": gives 4 partner values but the network has 5 nodes"},
        {{"--from", "1,0,0,2,-1,1"}, "gives 6 partner values"},
        {{"--from", "1,0,4,2,-1"}, "node 2's partner value 4 is not one of its neighbours 0, 1, 3"},
        {{"--from", "1,0,0,2,3"}, "node 4 has no neighbours, so its partner value is -1, not 3"},
        {{"--from", "-1,0,0,2,-1"}, "node 0's partner value -1 is not one of its neighbours 1, 2"},
        {{"--from", "1,0,,2,-1"}, "--from \"1,0,,2,-1\": \"\" is not a node number"},
        {{"--from", "1,0,+1,2,-1"}, "\"+1\" is not a node number"},
        {{"--from", "uniformly"}, "--from \"uniformly\" is not start, uniform or one partner value per node"},
        {{"--summary"}, "--summary needs --replicates 2 or more, not 1"},
        {{"--summary", "--replicates", "2", "--confidence", "1"}, "--confidence 1 is outside (0, 1)"},
        {{"--summary", "--replicates", "2", "--confidence", "0"}, "--confidence 0 is outside (0, 1)"},
        {{"--summary", "--replicates", "2", "--confidence", "-0.5"}, "--confidence -0.5 is outside (0, 1)"},
        {{"--summary", "--replicates", "2", "--confidence", "nan"}, "--confidence nan is outside (0, 1)"},
        {{"--replicates", "2", "--confidence", "0.9"}, "--confidence requires --summary"},
        {{"--summary", "--replicates", "2", "--every", "5"}, "--every excludes --summary"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"simulate", "--steps", "10"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        args.push_back(path);
        const CliOutcome outcome = runCli(args);
        EXPECT_EQ(outcome.status, 2) << c.says;
        EXPECT_EQ(outcome.out, "") << c.says;
        ASSERT_EQ(textLines(outcome.err).size(), 1u) << outcome.err;
        EXPECT_NE(outcome.err.find(c.says), std::string::npos) << outcome.err;
    }
}
