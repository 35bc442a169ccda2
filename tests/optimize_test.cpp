#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "cli_run.h"
#include "model/network/network.h"
#include "model/studies/optimize.h"
#include "model/support/engine_error.h"

// The optimiser against optima known by hand, and the command's contract:
// its file is a network the other commands read, its refusals one line.

namespace {

NetworkModel pairOf(double alpha0, double beta0, double alpha1, double beta1, double gamma1) {
    NetworkModel pair;
    pair.resize(2);
    pair.links[0][1] = pair.links[1][0] = 1;
    pair.params[NetworkModel::Alpha] = {alpha0, alpha1};
    pair.params[NetworkModel::Beta] = {beta0, beta1};
    pair.params[NetworkModel::Gamma] = {0.5, gamma1};
    return pair;
}

OptimizeOptions over(Objective objective, const std::string& name, double low, double high) {
    OptimizeOptions options;
    options.objective = objective;
    options.variables.push_back(sweepAxis(name, {low, high}));
    return options;
}

}  // namespace

// Two linked nodes succeed at g0 a0 b0 and (1 - g0) a1 b1, g0 = gamma0 /
// (gamma0 + gamma1): the fairest gamma0 makes the two equal, here 0.4; node
// 0's own rate only grows with gamma0, so its best is the bound, where the
// gradient points out of the box.
TEST(Optimize, TwoNodesFairestAndLargestByHand) {
    const NetworkModel pair = pairOf(1.0, 0.5, 0.5, 0.5, 0.8);
    const OptimizeResult fair =
        optimize(pair, over(Objective::MaximizeLeastRate, "gamma[0]", 0.05, 1.0), ChainLimits{});
    EXPECT_NEAR(fair.point[0], 0.4, 1e-5);
    EXPECT_NEAR(fair.figure.value, 1.0 / 6, 1e-7);
    EXPECT_LE(fair.figure.low, 1.0 / 6);

    OptimizeOptions own = over(Objective::MaximizeRate, "gamma[0]", 0.05, 0.9);
    own.starts = 3;
    const OptimizeResult largest = optimize(pair, own, ChainLimits{});
    EXPECT_EQ(largest.point[0], 0.9);
    EXPECT_EQ(largest.gradientNorm, 0.0);
    EXPECT_NEAR(largest.figure.value, 0.9 / 1.7 * 0.5, 1e-9);
}

// On a ring of six with certain attempts, the least mean steps over two
// gammas: the gradient vanishes there, or the point lies on a bound with
// the gradient pointing out; and no start found anything better.
TEST(Optimize, MeanStepsEndWhereTheProjectedGradientVanishes) {
    NetworkModel ring;
    ring.resize(6);
    for (int i = 0; i < 6; ++i) {
        ring.links[i][(i + 1) % 6] = ring.links[(i + 1) % 6][i] = 1;
        ring.params[NetworkModel::Gamma][i] = (1 + i % 3) / 4.0;
    }
    OptimizeOptions options = over(Objective::MinimizeMeanSteps, "gamma[0]", 0.05, 1.0);
    options.variables.push_back(sweepAxis("gamma[3]", {0.05, 1.0}));
    options.starts = 3;
    const OptimizeResult result = optimize(ring, options, ChainLimits{});
    EXPECT_LT(result.gradientNorm, 1e-5);
    for (const double g0 : {0.05, 0.3, 0.6, 1.0})
        for (const double g3 : {0.05, 0.5, 1.0}) {
            NetworkModel other = ring;
            other.params[NetworkModel::Gamma][0] = g0;
            other.params[NetworkModel::Gamma][3] = g3;
            OptimizeOptions stay = over(Objective::MinimizeMeanSteps, "gamma[0]", g0, g0);
            EXPECT_GE(optimize(other, stay, ChainLimits{}).figure.value, result.figure.value - 1e-9) << g0 << " " << g3;
        }
}

// The command's file is read by settle as it stands, with the figure it
// reports; bad requests are one line each.
TEST(Optimize, TheCommandsFileIsANetworkAndItsRefusalsOneLine) {
    TestFolder folder;
    const std::string path = folder.write("pair.txt", networkBlock(pairOf(1.0, 0.5, 0.5, 0.5, 0.8)));
    const std::string out = folder.file("best.txt");
    const CliOutcome run = runCli({"optimize", "--maximize", "min-rate", "--vary", "gamma[0]=0.05:1", "-o", out, path});
    ASSERT_EQ(run.status, 0) << run.err;
    const CliOutcome rates = runCli({"rates", out});
    ASSERT_EQ(rates.status, 0) << rates.err;
    const auto rows = csvFields(rates.out);
    EXPECT_NEAR(std::stod(rows[1][1]), 1.0 / 6, 1e-7);
    EXPECT_NEAR(std::stod(rows[2][1]), 1.0 / 6, 1e-7);

    const struct {
        std::vector<std::string> args;
        std::string part;
    } cases[] = {
        {{"--minimize", "rates", "--vary", "gamma=0:1"}, "--minimize \"rates\" is not mean-steps"},
        {{"--maximize", "rate[x]", "--vary", "gamma=0:1"}, "is not rate[i] or min-rate"},
        {{"--maximize", "rate[7]", "--vary", "gamma=0:1"}, "rate[7]: the network has nodes 0 to 1"},
        {{"--maximize", "min-rate", "--vary", "delta=0:1"}, "delta: the name is alpha, beta or gamma"},
        {{"--maximize", "min-rate", "--vary", "gamma[9]=0:1"}, "gamma[9]: the network has nodes 0 to 1"},
        {{"--maximize", "min-rate", "--vary", "gamma=0.8:0.2"}, "LOW is above HIGH"},
        {{"--maximize", "min-rate", "--vary", "gamma=0:1.5"}, "is outside [0, 1]"},
        {{"--maximize", "min-rate", "--vary", "gamma=0:1", "--starts", "0"}, "--starts"},
        {{"--maximize", "min-rate"}, "nothing to move"},
        {{"--vary", "gamma=0:1"}, "name one figure"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"optimize"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        args.insert(args.end(), {"-o", folder.file("never.txt"), path});
        const CliOutcome outcome = runCli(args);
        EXPECT_EQ(outcome.status, 2) << c.part;
        EXPECT_NE(outcome.err.find(c.part), std::string::npos) << outcome.err;
        EXPECT_EQ(outcome.err.find('\n'), outcome.err.size() - 1) << outcome.err;
    }
    EXPECT_EQ(folder.files().find("never.txt"), std::string::npos);

    // A refusal met inside the search reaches the user as it stands, not as
    // the optimiser's bare failure, naming the file once.
    const std::string split = folder.write("split.txt",
                                           "DATA:\n00011 0.015625 0.8645 0\n00100 0.999 0.015625 0.984375\n"
                                           "01000 0.984375 0 0.999\n10000 0.0713 0.25 0.8655\n10000 0.001 0 1\n\n");
    const CliOutcome refused = runCli({"optimize", "--maximize", "rate[0]", "--vary", "alpha[0]=0:1", split});
    EXPECT_EQ(refused.status, 2) << refused.err;
    EXPECT_NE(refused.err.find("split.txt: the chain ends in 2 classes"), std::string::npos) << refused.err;
    EXPECT_EQ(refused.err.find("split.txt", refused.err.find("split.txt") + 1), std::string::npos) << refused.err;
}
