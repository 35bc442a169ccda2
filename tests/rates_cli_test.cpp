#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <cstdlib>
#include <string>
#include <vector>

#include "cli_run.h"
#include "model/network/network.h"

// vorlask-cli rates: its tables agree with each other and with where the
// process ends, and what it refuses it refuses in one line.

namespace {

double number(const std::string& text) { return std::strtod(text.c_str(), nullptr); }

// Every node linked to every other, certain attempts, uneven gammas: many
// classes, each a cycle, and transient configurations between them.
NetworkModel certainComplete(int nodes) {
    NetworkModel network;
    network.resize(nodes);
    for (int i = 0; i < nodes; ++i) {
        for (int j = 0; j < nodes; ++j) network.links[i][j] = i != j;
        network.params[NetworkModel::Gamma][i] = (1 + i) / 8.0;
    }
    return network;
}

}  // namespace

// The JSON's classes weigh into its rates; a start inside a class has that
// class's rates; every start's table averages to the uniform start's.
TEST(RatesCli, TablesAgreeWithTheirClasses) {
    TestFolder folder;
    const std::string path = folder.write("k4.txt", networkBlock(certainComplete(4)));
    const auto json = nlohmann::json::parse(runCli({"rates", "--format", "json", "--precision", "1e-10", path}).out);
    EXPECT_EQ(json["chain"], "process");
    ASSERT_GT(json["classes"].size(), 1u);
    const auto csv = csvFields(runCli({"rates", "--precision", "1e-10", path}).out);
    ASSERT_EQ(csv.size(), 5u);
    EXPECT_EQ(csv[0], (std::vector<std::string>{"node", "rate", "low", "high"}));
    for (int i = 0; i < 4; ++i) {
        double weighted = 0.0;
        for (const auto& entry : json["classes"])
            weighted += entry["probability"].get<double>() * entry["rates"][i]["rate"].get<double>();
        EXPECT_NEAR(weighted, number(csv[i + 1][1]), 1e-9);
        EXPECT_EQ(json["rates"][i]["rate"].get<double>(), number(csv[i + 1][1]));
        EXPECT_LE(number(csv[i + 1][2]), number(csv[i + 1][1]));
        EXPECT_LE(number(csv[i + 1][3]) - number(csv[i + 1][2]), 1e-10);
    }

    const auto rows = csvFields(runCli({"rates", "--per-configuration", "--precision", "1e-10", path}).out);
    const int h = json["configurations"];
    ASSERT_EQ(rows.size(), 1u + 4 * h);
    EXPECT_EQ(rows[0], (std::vector<std::string>{"configuration", "node", "rate", "low", "high"}));
    std::vector<double> average(4, 0.0);
    for (size_t k = 1; k < rows.size(); ++k) average[std::stoi(rows[k][1])] += number(rows[k][2]) / h;
    for (int i = 0; i < 4; ++i) EXPECT_NEAR(average[i], number(csv[i + 1][1]), 2e-10);

    // Configuration 0 gives every node its lowest neighbour: (1,0,0,0).
    const auto one = csvFields(runCli({"rates", "--from", "1,0,0,0", "--precision", "1e-10", path}).out);
    for (int i = 0; i < 4; ++i) EXPECT_NEAR(number(one[i + 1][1]), number(rows[1 + i][2]), 2e-10);
}

TEST(RatesCli, RefusalsAreOneLine) {
    TestFolder folder;
    const std::string path = folder.write("k4.txt", networkBlock(certainComplete(4)));
    const std::string out = folder.file("out.csv");
    const struct {
        std::vector<std::string> args;
        int status;
        std::string part;
    } cases[] = {
        {{"--chain", "window"}, 2, "--chain window has no rates"},
        {{"--from", "1,0,0"}, 2, "has 3 entries; the network has 4 nodes"},
        {{"--from", "1,0,0,3"}, 2, "node 3's partner 3 is not one of its neighbours"},
        {{"--from", "1,x,0,0"}, 2, "\"x\" is not a node"},
        {{"--precision", "1e-13"}, 2, "--precision 1e-13 is outside [1e-12, 1)"},
        {{"--precision", "1"}, 2, "is outside [1e-12, 1)"},
        {{"--max-configurations", "10"}, 3, "simulate --summary estimates the rates at any size"},
        {{"--max-iterations", "1"}, 1, "no rates within the cap of 1 iterations"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"rates"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        args.insert(args.end(), {"-o", out, path});
        const CliOutcome outcome = runCli(args);
        EXPECT_EQ(outcome.status, c.status) << c.args[0];
        EXPECT_NE(outcome.err.find(c.part), std::string::npos) << outcome.err;
        EXPECT_EQ(outcome.err.find('\n'), outcome.err.size() - 1) << outcome.err;
        EXPECT_FALSE(folder.files().find("out.csv") != std::string::npos) << c.args[0];
    }
}
