#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <nlohmann/json.hpp>

#include "cli_run.h"

namespace {

// Every node linked to every other, certain moves, gammas from 1/8 to 7/8:
// S exists and settling takes a while.
NetworkModel settlingGraph(int count) {
    NetworkModel network;
    network.resize(count);
    for (int i = 0; i < count; ++i) {
        for (int j = 0; j < count; ++j) network.links[i][j] = i != j;
        network.params[NetworkModel::Gamma][i] = (1 + i % 7) / 8.0;
    }
    return network;
}

double number(const std::string& text) {
    size_t used = 0;
    const double value = std::stod(text, &used);
    EXPECT_EQ(used, text.size()) << text;
    return value;
}

// The figure rows of the averaged CSV by measure: value, low, high.
std::map<std::string, std::vector<std::string>> figureRows(const std::string& csv) {
    const auto rows = csvFields(csv);
    EXPECT_EQ(rows.at(0), (std::vector<std::string>{"measure", "value", "low", "high"}));
    std::map<std::string, std::vector<std::string>> figures;
    for (size_t k = 1; k < rows.size(); ++k) {
        EXPECT_EQ(rows[k].size(), 4u);
        figures[rows[k][0]] = {rows[k][1], rows[k][2], rows[k][3]};
    }
    return figures;
}

void expectBoundedFigure(const std::vector<std::string>& fields, double precision) {
    const double value = number(fields[0]);
    const double low = number(fields[1]);
    const double high = number(fields[2]);
    EXPECT_LE(low, value);
    EXPECT_LE(value, high);
    EXPECT_LE(high - low, precision * std::max(1.0, std::fabs(value)));
}

}  // namespace

// The averaged CSV, the JSON and the per-configuration table tell the same
// figures, whatever the number of jobs; networks of one block and of two.
TEST(SettleCli, FiguresAgreeAcrossFormatsAndJobs) {
    TestFolder folder;
    for (const int nodes : {5, 6}) {
        const std::string path = folder.write("k.txt", networkBlock(settlingGraph(nodes)));
        const CliOutcome csv = runCli({"settle", "--precision", "1e-10", "-j", "1", path});
        ASSERT_EQ(csv.status, 0) << csv.err;
        auto figures = figureRows(csv.out);
        ASSERT_EQ(figures.size(), 6u);
        expectBoundedFigure(figures["limit"], 1e-10);
        expectBoundedFigure(figures["mean_steps"], 1e-10);
        // Given that S is reached: the averaged mean steps over the averaged limit.
        EXPECT_EQ(number(figures["mean_steps_if_reached"][0]),
                  number(figures["mean_steps"][0]) / number(figures["limit"][0]));
        EXPECT_LE(number(figures["mean_steps_if_reached"][1]),
                  number(figures["mean_steps"][1]) / number(figures["limit"][2]));
        EXPECT_GE(number(figures["mean_steps_if_reached"][2]),
                  number(figures["mean_steps"][2]) / number(figures["limit"][1]));
        for (const char* quantile : {"steps_to_0.5", "steps_to_0.9", "steps_to_0.99"}) {
            const auto& steps = figures.at(quantile);
            EXPECT_LE(std::stoll(steps[1]), std::stoll(steps[0]));
            EXPECT_LE(std::stoll(steps[0]), std::stoll(steps[2]));
        }

        const CliOutcome json = runCli({"settle", "--precision", "1e-10", "--format", "json", "-j", "1", path});
        ASSERT_EQ(json.status, 0) << json.err;
        const auto document = nlohmann::json::parse(json.out);
        EXPECT_EQ(document["nodes"], nodes);
        EXPECT_EQ(document["precision"], 1e-10);
        EXPECT_GT(document["iterations"].get<long long>(), 0);
        ASSERT_EQ(document["figures"].size(), 6u);
        for (const auto& figure : document["figures"]) {
            const auto& fields = figures.at(figure["measure"].get<std::string>());
            for (const auto& [key, column] : {std::pair<const char*, int>{"value", 0}, {"low", 1}, {"high", 2}}) {
                if (figure[key].is_number_integer())
                    EXPECT_EQ(figure[key].get<long long>(), std::stoll(fields[column]));
                else
                    EXPECT_EQ(figure[key].get<double>(), number(fields[column]));
            }
        }

        const CliOutcome table = runCli({"settle", "--precision", "1e-10", "--per-configuration", "-j", "1", path});
        ASSERT_EQ(table.status, 0) << table.err;
        const auto rows = csvFields(table.out);
        const int configurations = document["configurations"];
        ASSERT_EQ(rows.size(), static_cast<size_t>(configurations) + 1);
        EXPECT_EQ(rows[0][nodes + 7], "mean_steps_high");
        EXPECT_EQ(rows[0].back(), "mean_steps_if_reached_high");
        EXPECT_EQ(rows[0][nodes + 1], "mark");
        double sum = 0.0;
        for (size_t k = 1; k < rows.size(); ++k) {
            const double mean = number(rows[k][nodes + 5]);
            EXPECT_LE(number(rows[k][nodes + 6]), mean);
            EXPECT_LE(mean, number(rows[k][nodes + 7]));
            if (rows[k][nodes + 1] == "S") {
                EXPECT_EQ(rows[k][nodes + 2], "1");
                EXPECT_EQ(rows[k][nodes + 5], "0");
            }
            const double limit = number(rows[k][nodes + 2]);
            if (limit > 0)
                EXPECT_EQ(number(rows[k][nodes + 8]), mean / limit);
            else
                EXPECT_EQ(rows[k][nodes + 8], "inf");
            sum += mean;
        }
        EXPECT_NEAR(sum / configurations, number(figures["mean_steps"][0]), 1e-9);

        // JSON with every configuration holds every figure; two blocks of
        // configurations share them out among the jobs.
        if (configurations > 8192) {
            const std::vector<std::string> all = {"settle", "--format", "json", "--per-configuration",
                                                  "--precision", "1e-10", path};
            std::vector<std::string> one = all, two = all;
            one.insert(one.begin() + 1, {"-j", "1"});
            two.insert(two.begin() + 1, {"-j", "2"});
            EXPECT_EQ(runCli(one).out, runCli(two).out);
        }
    }
}

// The quantile steps are where the curve that steps prints crosses the
// share of the limit.
TEST(SettleCli, QuantileStepsAreWhereTheStepsCurveCrosses) {
    TestFolder folder;
    const std::string path = folder.write("k5.txt", networkBlock(settlingGraph(5)));
    const CliOutcome settle = runCli({"settle", "--quantiles", "0.3,0.9,0.999", path});
    ASSERT_EQ(settle.status, 0) << settle.err;
    auto figures = figureRows(settle.out);
    const double limit = number(figures["limit"][0]);
    const auto curve = csvFields(runCli({"steps", "--horizon", "200", path}).out);
    for (const double q : {0.3, 0.9, 0.999}) {
        std::ostringstream name;
        name << "steps_to_" << q;
        const long long step = std::stoll(figures.at(name.str())[0]);
        ASSERT_LT(step, 200);
        EXPECT_GE(number(curve[step + 1][1]), q * limit) << q;
        if (step > 0) {
            EXPECT_LT(number(curve[step][1]), q * limit) << q;
        }
    }

    // A share too close to 1 for the default precision to bracket is
    // unresolved, in both formats, and the other figures still count.
    const CliOutcome close = runCli({"settle", "--quantiles", "0.99999999999999", path});
    ASSERT_EQ(close.status, 0) << close.err;
    figures = figureRows(close.out);
    EXPECT_EQ(figures.at("steps_to_0.99999999999999")[0], "nan");
    EXPECT_EQ(figures.at("steps_to_0.99999999999999")[2], "inf");
    const auto json = nlohmann::json::parse(
        runCli({"settle", "--quantiles", "0.99999999999999", "--format", "json", path}).out);
    EXPECT_EQ(json["figures"].back()["measure"], "steps_to_0.99999999999999");
    EXPECT_EQ(json["figures"].back()["value"], "nan");
}

// Each point of a long-run sweep is settle's figures on the edited network.
TEST(SettleCli, SweepPointsAreSettleOfTheEditedNetwork) {
    TestFolder folder;
    const NetworkModel network = settlingGraph(4);
    const std::string path = folder.write("k4.txt", networkBlock(network));
    const std::vector<std::string> sweep = {"sweep", "--measure", "mean-steps", "--vary", "gamma[0]=0.25,0.75",
                                            "--vary", "beta[2]=0.5,1"};
    auto args = [&](std::vector<std::string> extra) {
        std::vector<std::string> all = sweep;
        all.insert(all.end(), extra.begin(), extra.end());
        all.push_back(path);
        return all;
    };
    const CliOutcome whole = runCli(args({"-j", "2", "--plot", folder.file("sweep.svg")}));
    ASSERT_EQ(whole.status, 0) << whole.err;
    const auto rows = csvFields(whole.out);
    auto json = nlohmann::json::parse(runCli(args({"--format", "json", "--precision", "1e-8"})).out);
    EXPECT_EQ(json["nodes"], 4);
    EXPECT_EQ(json["configurations"], 81);
    EXPECT_EQ(json["measure"], "mean-steps");
    EXPECT_EQ(json["precision"], 1e-8);
    EXPECT_EQ(json["parameters"], nlohmann::json::array({"gamma[0]", "beta[2]"}));
    ASSERT_EQ(json["points"].size(), 4u);
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows[0], (std::vector<std::string>{"gamma[0]", "beta[2]", "limit", "limit_low", "limit_high",
                                                 "mean_steps", "mean_steps_low", "mean_steps_high",
                                                 "mean_steps_if_reached", "mean_steps_if_reached_low",
                                                 "mean_steps_if_reached_high"}));
    size_t row = 1;
    for (const double gamma : {0.25, 0.75}) {
        for (const double beta : {0.5, 1.0}) {
            NetworkModel edited = network;
            edited.params[NetworkModel::Gamma][0] = gamma;
            edited.params[NetworkModel::Beta][2] = beta;
            auto figures = figureRows(runCli({"settle", folder.write("edited.txt", networkBlock(edited))}).out);
            std::vector<std::string> expected;
            for (const char* measure : {"limit", "mean_steps", "mean_steps_if_reached"})
                expected.insert(expected.end(), figures[measure].begin(), figures[measure].end());
            EXPECT_EQ(number(rows[row][0]), gamma);
            EXPECT_EQ(number(rows[row][1]), beta);
            EXPECT_EQ(std::vector<std::string>(rows[row].begin() + 2, rows[row].end()), expected);
            ++row;
        }
    }
    EXPECT_EQ(runCli(args({"-j", "1"})).out, whole.out);
    std::string shards;
    for (int k = 1; k <= 3; ++k) shards += runCli(args({"--shard", std::to_string(k) + "/3"})).out;
    EXPECT_EQ(shards, whole.out);
    const std::string svg = readFile(folder.file("sweep.svg"));
    EXPECT_NE(svg.find(">mean steps<"), std::string::npos);
    // S is never reached with beta[2] = 0.5: that curve is all gap, and says so.
    EXPECT_NE(svg.find("beta[2] = 0.5 (gaps: S never reached)"), std::string::npos);
    EXPECT_EQ(svg.find("beta[2] = 1 (gaps"), std::string::npos);
}

TEST(SettleCli, PlotMarksEachLimitAndMeanSteps) {
    TestFolder folder;
    const std::string a = folder.write("k3.txt", networkBlock(settlingGraph(3)));
    const std::string b = folder.write("k4.txt", networkBlock(settlingGraph(4)));
    ASSERT_EQ(runCli({"plot", "--limit", "--horizon", "20", "-o", folder.file("p.svg"), a, b}).status, 0);
    const std::string svg = readFile(folder.file("p.svg"));
    size_t levels = 0;
    for (size_t at = svg.find("stroke-dasharray"); at != std::string::npos; at = svg.find("stroke-dasharray", at + 1))
        ++levels;
    EXPECT_EQ(levels, 2u);
    EXPECT_NE(svg.find(">k4.txt (mean steps "), std::string::npos);
}

// One line on standard error, the status of its kind, no output file.
TEST(SettleCli, BadInputFailsWithOneLineAndNoFile) {
    TestFolder folder;
    const std::string path = folder.write("in.txt", networkBlock(settlingGraph(5)));
    struct Case {
        std::vector<std::string> args;
        int status;
        const char* says;
    };
    const Case cases[] = {
        {{"settle", "--precision", "abc"}, 2, "--precision"},
        {{"settle", "--precision", "0"}, 2, "--precision 0 is below 1e-13"},
        {{"settle", "--precision", "1e-14"}, 2, "--precision 1e-14 is below 1e-13"},
        {{"settle", "--precision", "1e-400"}, 2, "--precision 1e-400 is below 1e-13"},
        {{"settle", "--precision", ""}, 2, "--precision \"\" is not a number"},
        {{"settle", "--precision", "1e-9x"}, 2, "--precision \"1e-9x\" is not a number"},
        {{"settle", "--max-memory", ".5"}, 2, "--max-memory: \".5\" is below the least, 1M"},
        {{"settle", "--precision", "-1e-9"}, 2, "--precision"},
        {{"settle", "--precision", "1e-16"}, 2, "--precision"},
        {{"settle", "--precision", "nan"}, 2, "--precision"},
        {{"settle", "--quantiles", ""}, 2, "--quantiles"},
        {{"settle", "--quantiles", "0"}, 2, "0 is outside (0, 1]"},
        {{"settle", "--quantiles", "0.5,1.5"}, 2, "1.5 is outside (0, 1]"},
        {{"settle", "--quantiles", "0.5,,0.9"}, 2, "\"\" is not a number"},
        {{"settle", "--quantiles", "half"}, 2, "\"half\" is not a number"},
        {{"settle", "--format", "xml"}, 2, "--format"},
        {{"settle", "--max-configurations", "1000"}, 3, "the network has 1024 configurations"},
        {{"settle", "--max-iterations", "3"}, 1, "in.txt: no answer within the cap of 3 iterations: limit in ["},
        {{"settle", "--max-iterations", "1000000000001"}, 2, "--max-iterations"},
        {{"settle", "--max-iterations", "0"}, 2, "--max-iterations"},
        {{"settle", "--max-iterations", "1"}, 1, "in.txt: no answer within the cap of 1 iteration: limit in ["},
        {{"sweep", "--measure", "settling", "--vary", "gamma=0.5"}, 2, "--measure"},
        {{"sweep", "--precision", "1e-9", "--vary", "gamma=0.5"}, 2,
         "--precision applies to --measure limit, mean-steps or rates only"},
        {{"sweep", "--measure", "rates", "--direct", "--vary", "gamma=0.5"}, 2,
         "--direct applies to --measure limit or mean-steps only"},
        {{"sweep", "--measure", "limit", "--horizon", "4", "--vary", "gamma=0.5"}, 2,
         "--horizon applies to --measure curve only"},
        {{"sweep", "--measure", "limit", "--precision", "0", "--vary", "gamma=0.5"}, 2, "--precision"},
        {{"plot", "--limit", "--precision", "2e-16"}, 2, "--precision"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = c.args;
        args.insert(args.end(), {"-o", folder.file(args[0] == "plot" ? "out.svg" : "out.csv"), path});
        const CliOutcome result = runCli(args);
        EXPECT_EQ(result.status, c.status) << c.says;
        EXPECT_EQ(result.out, "");
        ASSERT_EQ(textLines(result.err).size(), 1u) << result.err;
        EXPECT_NE(result.err.find(c.says), std::string::npos) << result.err;
        EXPECT_EQ(folder.files(), "in.txt\n") << c.says;
    }
    const std::string large = folder.write("k7.txt", networkBlock(settlingGraph(7)));
    const CliOutcome direct = runCli({"settle", "--direct", large});
    EXPECT_EQ(direct.status, 3);
    EXPECT_NE(direct.err.find("k7.txt: a direct solve takes at most 20000 transient configurations"), std::string::npos)
        << direct.err;
}

TEST(SettleCli, HelpShowsExamples) {
    const CliOutcome help = runCli({"settle", "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--precision"), std::string::npos);
    EXPECT_NE(help.out.find("Examples:"), std::string::npos);
}
