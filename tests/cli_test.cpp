#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <regex>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <SDL_ttf.h>
#include <nlohmann/json.hpp>

#include "analysis_oracle.h"
#include "cli/chart_text.h"
#include "cli/command_line.h"
#include "cli/svg_chart.h"
#include "cli/terminal_progress.h"
#include "cli_run.h"
#include "model/chain/markov_chain.h"
#include "model/long_run/success_curves.h"
#include "network_generator.h"
#include "svg_reading.h"

namespace {

using Outcome = CliOutcome;
using Folder = TestFolder;

Outcome run(std::vector<std::string> args) { return runCli(std::move(args)); }
std::string read(const std::string& path) { return readFile(path); }
std::string blockOf(const NetworkModel& network) { return networkBlock(network); }
std::vector<std::vector<std::string>> csvRows(const std::string& text) { return csvFields(text); }

// Every node linked to every other, uneven probabilities on the sliders' grid.
NetworkModel completeGraph(int count, bool certain = false) {
    NetworkModel network;
    network.resize(count);
    for (int i = 0; i < count; ++i) {
        for (int j = 0; j < count; ++j) network.links[i][j] = i != j;
        network.params[NetworkModel::Alpha][i] = certain ? 1.0 : (40 + 5 * i) / 64.0;
        network.params[NetworkModel::Beta][i] = certain ? 1.0 : (60 - 3 * i) / 64.0;
        network.params[NetworkModel::Gamma][i] = (i % 4) / 4.0;
    }
    return network;
}

NetworkModel ringOf(int count) {
    NetworkModel ring;
    ring.resize(count);
    for (int i = 0; i < count; ++i) ring.links[i][(i + 1) % count] = ring.links[(i + 1) % count][i] = 1;
    return ring;
}

double number(const std::string& text) { return std::strtod(text.c_str(), nullptr); }

size_t count(const std::string& text, const std::string& part) {
    size_t found = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++found;
    return found;
}

// The chain of the literal transcription of the window's analysis, and its
// success curves the plain way: the dense one-step table applied step after
// step to the marks, each row summed in column order, then averaged.
struct LiteralCurves {
    explicit LiteralCurves(const NetworkModel& model, int horizon)
        : network(model), chain(oracle::buildChain(network, [](int, int) {})) {
        const int h = chain.configurationCount;
        std::vector<double> weights(static_cast<size_t>(h));
        for (int l = 0; l < h; ++l) weights[l] = chain.marked[l] ? 1.0 : 0.0;
        for (int p = 0; p <= horizon; ++p) {
            perConfiguration.push_back(weights);
            double total = 0.0;
            for (const double weight : weights) total += weight;
            average.push_back(total / h);
            std::vector<double> next(static_cast<size_t>(h), 0.0);
            for (int l = 0; l < h; ++l)
                for (int m = 0; m < h; ++m)
                    if (chain.transitions[l][m] != 0.0) next[l] += chain.transitions[l][m] * weights[m];
            weights.swap(next);
        }
    }

    NetworkModel network;
    oracle::Context chain;
    std::vector<double> average;
    std::vector<std::vector<double>> perConfiguration;  // [step][configuration]
};

}  // namespace

TEST(Cli, HelpAndVersionGoToStandardOutput) {
    const Outcome help = run({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Examples:"), std::string::npos);
    EXPECT_EQ(help.err, "");
    const Outcome version = run({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, std::string("vorlask-cli ") + VORLASK_VERSION + "\n");
    for (const char* command : {"report", "steps", "export", "plot", "simulate", "sweep"}) {
        const Outcome sub = run({command, "--help"});
        EXPECT_EQ(sub.status, 0) << command;
        EXPECT_NE(sub.out.find("Example"), std::string::npos) << command;
    }
    EXPECT_EQ(run({"-z"}).err.find("unknown command"), std::string::npos);
    EXPECT_EQ(run({"simulate", "--steps", "0", "k3.txt"}).status, 2);
    EXPECT_EQ(run({"simulate", "--steps", "1", "--every", "0", "k3.txt"}).status, 2);
    const Outcome unknown = run({"x", "k3.txt"});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_EQ(unknown.err, "vorlask-cli: unknown command \"x\" (see vorlask-cli --help)\n");
}

// The command removes its temporary files on the signals that end it, but
// a signal it inherits as ignored stays ignored (nohup, a script's
// background job); a closed pipe shows as a failed write.
TEST(Cli, SignalsInheritedAsIgnoredStayIgnored) {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    struct sigaction savedHangUp {}, savedAlarm {};
    sigaction(SIGHUP, &ignore, &savedHangUp);
    sigaction(SIGALRM, &fallback, &savedAlarm);
    run({"--version"});
    struct sigaction now {};
    sigaction(SIGHUP, nullptr, &now);
    EXPECT_TRUE(!(now.sa_flags & SA_SIGINFO) && now.sa_handler == SIG_IGN);
    sigaction(SIGALRM, nullptr, &now);
    EXPECT_TRUE(now.sa_flags & SA_SIGINFO);
    sigaction(SIGPIPE, nullptr, &now);
    EXPECT_TRUE(!(now.sa_flags & SA_SIGINFO) && now.sa_handler == SIG_IGN);
    sigaction(SIGHUP, &savedHangUp, nullptr);
    sigaction(SIGALRM, &savedAlarm, nullptr);
}

// Each fault: one line on standard error naming the file and line, nothing
// on standard output, the status of its kind, and no output file: neither a
// new one nor a change to an existing one. Text from the input or the
// command line comes back quoted, escaped and cut.
TEST(Cli, BadInputFailsWithOneLineAndLeavesOutputAlone) {
    Folder folder;
    const std::string good = folder.write("good.txt", blockOf(completeGraph(3)));
    const std::string hugeNumber = "DATA:\n01 1" + std::string(50000, '1') + " 1 1\n10 1 1 1\n";
    struct Case {
        std::vector<std::string> args;
        std::string input;  // empty: the good network
        int status;
        const char* says;
    };
    const Case cases[] = {
        {{"steps"}, "no block\n", 2, "in.txt: no \"DATA:\""},
        {{"steps"}, "DATA:\n01 1 1 1\n10 1 1 2\n", 2, "in.txt:3: gamma \"2\" is outside [0, 1]"},
        {{"steps"}, "DATA:\n01 2\n10 1 1 1\n", 2, "in.txt:2: alpha \"2\" is outside [0, 1]"},
        {{"steps"}, "DATA:\n01 1 1 1\n00 1 1 1\n", 2, "in.txt:3: the link between nodes 0 and 1"},
        {{"steps"}, "DATA:\n0\0331 1 1 1\n10 1 1 1\n", 2, "in.txt:2: the link row \"0\\x1b1\" holds \"\\x1b\""},
        {{"steps"}, hugeNumber, 2, "in.txt:2: alpha \"1111"},
        {{"steps", "--bogus"}, "", 2, "--bogus"},
        {{"steps", "--horizon", "100001"}, "", 2, "--horizon"},
        {{"steps", "--horizon", "0x10"}, "", 2, "--horizon: \"0x10\" is not a whole number"},
        {{"steps", "--horizon", "+5"}, "", 2, "--horizon: \"+5\" is not a whole number"},
        {{"steps", "-j", "1e3"}, "", 2, "--jobs: \"1e3\" is not a whole number"},
        {{"simulate", "--steps", "-5"}, "", 2, "--steps: \"-5\" is below 0"},
        {{"steps", "-j", "0"}, "", 2, "--jobs"},
        {{"steps", "--max-configurations", "99999999999999999999"}, "", 2, "is out of range"},
        {{"steps", "--format", "xml"}, "", 2, "--format"},
        {{"steps", "--max-configurations", "7"}, "", 3, "in.txt: the network has 8 configurations"},
        {{"export", "--matrix", "-", "--configurations", "-"}, "", 2, "both go to standard output"},
        {{"report", "--horizon", "33"}, "", 2, "--horizon 33 is outside 1 to 32"},
        {{"report", "--columns", "0"}, "", 2, "--columns must be at least 1"},
        {{"steps", "-o", "/nonexistent/folder/out.csv"}, "", 1, "cannot write /nonexistent/folder/out.csv"},
        {{"steps", "-o", ""}, "", 2, "--output: the file name is empty"},
        {{"sweep", "--vary", "alpha=0,1\n\033[2J"}, "", 2, "--vary \"alpha=0,1\\n\\x1b[2J\": \"1\\n\\x1b[2J\""},
    };
    for (const Case& c : cases) {
        const std::string input = folder.write("in.txt", c.input.empty() ? read(good) : c.input);
        std::vector<std::string> args = c.args;
        const bool namesOutput = std::find(args.begin(), args.end(), "-o") != args.end();
        if (!namesOutput && args[0] != "report" && args[0] != "export")
            args.insert(args.end(), {"-o", folder.file("out.csv")});
        args.push_back(input);
        for (const bool existing : {false, true}) {
            if (existing) folder.write("out.csv", "precious\n");
            const Outcome result = run(args);
            EXPECT_EQ(result.status, c.status) << c.says;
            EXPECT_EQ(result.out, "");
            ASSERT_EQ(textLines(result.err).size(), 1u) << result.err;
            EXPECT_EQ(result.err.rfind("vorlask-cli: ", 0), 0u) << result.err;
            EXPECT_NE(result.err.find(c.says), std::string::npos) << result.err;
            EXPECT_LT(result.err.size(), 400u) << c.says;
            for (const char byte : result.err.substr(0, result.err.size() - 1))
                EXPECT_GE(static_cast<unsigned char>(byte), 0x20) << result.err;
            EXPECT_EQ(folder.files(), existing ? "good.txt\nin.txt\nout.csv\n" : "good.txt\nin.txt\n") << c.says;
            if (existing) {
                EXPECT_EQ(read(folder.file("out.csv")), "precious\n");
            }
            std::remove(folder.file("out.csv").c_str());
        }
    }
    const Outcome missing = run({"steps", folder.file("absent.txt")});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("cannot read " + folder.file("absent.txt")), std::string::npos);
}

// A folder, or a line without end (/dev/zero), cannot be read; a byte-order
// mark before the block is skipped.
TEST(Cli, InputThatIsNotABlockOfTextCannotBeRead) {
    Folder folder;
    for (const std::string& path : {folder.path(), std::string("/dev/zero")}) {
        const Outcome result = run({"steps", path});
        EXPECT_EQ(result.status, 1) << path;
        EXPECT_EQ(result.err.rfind("vorlask-cli: cannot read " + path + ": ", 0), 0u) << result.err;
    }
    const std::string block = blockOf(completeGraph(3));
    const Outcome plain = run({"steps", folder.write("plain.txt", block)});
    const Outcome marked = run({"steps", folder.write("marked.txt", "\xef\xbb\xbf" + block)});
    EXPECT_EQ(marked.status, 0) << marked.err;
    EXPECT_EQ(marked.out, plain.out);
}

// Runs the command with `path` opened as its standard input.
Outcome runOnStandardInput(const std::string& path, const std::vector<std::string>& args) {
    const int input = open(path.c_str(), O_RDONLY);
    const int saved = dup(STDIN_FILENO);
    dup2(input, STDIN_FILENO);
    close(input);
    const Outcome result = run(args);
    dup2(saved, STDIN_FILENO);
    close(saved);
    std::cin.clear();
    std::clearerr(stdin);
    return result;
}

// "-" reads standard input as it would a file, and a folder there cannot be
// read either.
TEST(Cli, StandardInputIsReadLikeAFile) {
    Folder folder;
    const std::string path = folder.write("k3.txt", "a session\n" + blockOf(completeGraph(3)));
    const Outcome piped = runOnStandardInput(path, {"steps", "-"});
    EXPECT_EQ(piped.status, 0) << piped.err;
    EXPECT_EQ(piped.out, run({"steps", path}).out);
    const Outcome folderInput = runOnStandardInput(folder.path(), {"steps", "-"});
    EXPECT_EQ(folderInput.status, 1);
    EXPECT_EQ(folderInput.err, "vorlask-cli: cannot read standard input: Is a directory\n");
}

// Integers are decimal whatever their leading zeros, and a minus sign on a
// count is refused rather than wrapped round.
TEST(Cli, IntegerOptionsAreReadAsWritten) {
    Folder folder;
    const std::string path = folder.write("k3.txt", blockOf(completeGraph(3)));
    EXPECT_EQ(textLines(run({"steps", "--horizon", "010", path}).out).size(), 12u);
    EXPECT_EQ(textLines(run({"steps", "--horizon", "08", path}).out).size(), 10u);
    EXPECT_EQ(run({"steps", "--horizon", "0", path}).out.substr(0, 15), "step,success\n0,");
    EXPECT_EQ(textLines(run({"steps", "--horizon", "100000", path}).out).size(), 100002u);
    EXPECT_EQ(run({"plot", "--horizon", "0", "-o", "-", path}).status, 2);
    EXPECT_EQ(run({"simulate", "--steps", "0100", "--seed", "0012", path}).out,
              run({"simulate", "--steps", "100", "--seed", "12", path}).out);
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--steps", "-1"},
                                                {"--steps", "10", "--seed", "-1"},
                                                {"--steps", "10", "--every", "-0"},
                                                {"--steps", "10", "--replicates", "-2"}}) {
        std::vector<std::string> all = {"simulate"};
        all.insert(all.end(), args.begin(), args.end());
        all.push_back(path);
        const Outcome result = run(all);
        EXPECT_EQ(result.status, 2) << args[args.size() - 1];
        EXPECT_EQ(result.out, "");
    }
}

// The report is the window's A-key output, taken here from the literal
// transcription of the window's analysis; what the window refuses is refused
// with one line on standard error and nothing else.
TEST(Cli, ReportIsWhatTheWindowWrites) {
    Folder folder;
    NetworkGenerator generator(23);
    for (int trial = 0; trial < 20; ++trial) {
        NetworkModel network;
        generator.fillAsTheWindowLeavesIt(network, 2 + trial % 4);
        const std::string path = folder.write("net.txt", "earlier output\n" + blockOf(network));
        std::ostringstream window;
        std::streambuf* saved = std::cout.rdbuf(window.rdbuf());
        oracle::analyze(network, std::cout, 31, 16, 16);
        std::cout.rdbuf(saved);
        const Outcome report = run({"report", path});
        EXPECT_EQ(report.status, 0);
        EXPECT_EQ(report.out, window.str());
    }
    const Outcome refused = run({"report", folder.write("wide.txt", blockOf(ringOf(15)))});
    EXPECT_EQ(refused.status, 3);
    EXPECT_EQ(refused.out, "");
    EXPECT_NE(refused.err.find("wide.txt: the network has 32768 configurations"), std::string::npos);
    EXPECT_EQ(run({"report", "--horizon", "32", "--options", "8", folder.write("k3.txt", blockOf(completeGraph(3)))})
                  .status,
              0);
}

// The data files hold the numbers of the literal analysis, read back
// exactly: the curve from the marks at step 0 on, the transition weights
// with rows and columns numbered from 1, configurations and marks.
TEST(Cli, StepsAndExportWriteTheChainsNumbers) {
    Folder folder;
    const LiteralCurves literal(completeGraph(4, true), 40);
    const oracle::Context& chain = literal.chain;
    const int h = chain.configurationCount;
    ASSERT_EQ(h, 81);
    const std::string path = folder.write("k4.txt", blockOf(literal.network));

    const auto summary = csvRows(run({"steps", "--chain", "window", "--horizon", "40", path}).out);
    ASSERT_EQ(summary.size(), 42u);
    EXPECT_EQ(summary[0], (std::vector<std::string>{"step", "success"}));
    int marked = 0;
    for (int l = 0; l < h; ++l) marked += chain.marked[l];
    ASSERT_EQ(summary[1].size(), 2u);
    EXPECT_EQ(number(summary[1][1]), static_cast<double>(marked) / h);
    for (int p = 0; p <= 40; ++p) {
        ASSERT_EQ(summary[p + 1].size(), 2u);
        EXPECT_EQ(summary[p + 1][0], std::to_string(p));
        EXPECT_EQ(number(summary[p + 1][1]), literal.average[p]) << p;
    }

    const auto rows =
        csvRows(run({"steps", "--chain", "window", "--per-configuration", "--horizon", "40", "-j", "2", path}).out);
    ASSERT_EQ(rows.size(), 82u);
    ASSERT_EQ(rows[0].size(), 47u);
    EXPECT_EQ(rows[0][0], "configuration");
    EXPECT_EQ(rows[0][5], "mark");
    EXPECT_EQ(rows[0][6], "p0");
    for (int l = 0; l < h; ++l) {
        ASSERT_EQ(rows[l + 1].size(), 47u);
        EXPECT_EQ(rows[l + 1][0], std::to_string(l));
        EXPECT_EQ(rows[l + 1][5], chain.marked[l] ? "S" : "C");
        for (int i = 0; i < 4; ++i) EXPECT_EQ(std::stoi(rows[l + 1][1 + i]), chain.configurations[l][i]);
        for (int p = 0; p <= 40; ++p) EXPECT_EQ(number(rows[l + 1][6 + p]), literal.perConfiguration[p][l]);
    }

    ASSERT_EQ(run({"export", "--chain", "window", "--matrix", folder.file("t.mtx"), "--configurations",
                   folder.file("c.csv"), path})
                  .status,
              0);
    const auto matrix = textLines(read(folder.file("t.mtx")));
    ASSERT_GE(matrix.size(), 3u);
    EXPECT_EQ(matrix[0], "%%MatrixMarket matrix coordinate real general");
    EXPECT_EQ(matrix[1].rfind("% one-step transition weights of the window chain of the network in " + path + ": ", 0),
              0u);
    size_t nonZero = 0;
    for (const auto& row : chain.transitions)
        for (const double weight : row) nonZero += weight != 0.0;
    ASSERT_EQ(matrix.size(), 3 + nonZero);
    EXPECT_EQ(matrix[2], "81 81 " + std::to_string(nonZero));
    size_t line = 3;
    for (int l = 0; l < h; ++l) {
        for (int m = 0; m < h; ++m) {
            if (chain.transitions[l][m] == 0.0) continue;
            std::istringstream entry(matrix[line++]);
            int row = 0, column = 0;
            double value = 0;
            entry >> row >> column >> value;
            EXPECT_EQ(row, l + 1);
            EXPECT_EQ(column, m + 1);
            EXPECT_EQ(value, chain.transitions[l][m]);
        }
    }
    const auto configurations = csvRows(read(folder.file("c.csv")));
    ASSERT_EQ(configurations.size(), 82u);
    EXPECT_EQ(configurations[0], (std::vector<std::string>{"index", "node0", "node1", "node2", "node3", "mark"}));
    for (int l = 0; l < h; ++l) {
        std::vector<std::string> expected = {std::to_string(l)};
        for (int i = 0; i < 4; ++i) expected.push_back(std::to_string(chain.configurations[l][i]));
        expected.push_back(chain.marked[l] ? "S" : "C");
        EXPECT_EQ(configurations[l + 1], expected);
    }
    // Without a file named, the matrix goes to standard output.
    EXPECT_EQ(run({"export", "--chain", "window", path}).out, read(folder.file("t.mtx")));
}

// The research commands analyse the step's own chain unless --chain window
// asks for the window's: the default curve is the process chain's, JSON
// heads and Matrix Market comments name the chain, and a rule that is
// neither is refused in one line with nothing written, as --chain on report.
TEST(Cli, ResearchCommandsAnalyseTheProcessUnlessToldTheWindow) {
    Folder folder;
    NetworkModel triangle = ringOf(3);
    triangle.params[NetworkModel::Gamma] = {1.0, 0.5, 0.25};
    const std::string path = folder.write("triangle.txt", blockOf(triangle));
    const NeighbourLists neighbours = neighbourLists(triangle);
    for (const ChainRules rules : {ChainRules::Process, ChainRules::Window}) {
        const MarkovChain chain = buildMarkovChain(rules, triangle, neighbours, 8, 1);
        const SuccessCurves curves = computeSuccessCurves(chain.transitions, chain.marked, 4, false, 1);
        std::vector<std::string> args = {"steps", "--horizon", "4", path};
        if (rules == ChainRules::Window) args.insert(args.begin() + 1, {"--chain", "window"});
        const auto rows = csvRows(run(args).out);
        ASSERT_EQ(rows.size(), 6u);
        for (int p = 0; p <= 4; ++p) EXPECT_EQ(number(rows[p + 1][1]), curves.average[p]) << p;
        args.insert(args.begin() + 1, {"--format", "json"});
        EXPECT_EQ(nlohmann::json::parse(run(args).out)["chain"], chainRulesName(rules));
    }
    EXPECT_NE(run({"export", path}).out.find("% one-step transition weights of the process chain of the network in"),
              std::string::npos);
    const Outcome wrong = run({"steps", "--chain", "windows", "-o", folder.file("never.csv"), path});
    EXPECT_EQ(wrong.status, 2);
    EXPECT_EQ(wrong.out, "");
    EXPECT_EQ(count(wrong.err, "\n"), 1u);
    EXPECT_NE(wrong.err.find("process"), std::string::npos);
    EXPECT_NE(wrong.err.find("window"), std::string::npos);
    EXPECT_FALSE(std::ifstream(folder.file("never.csv")).good());
    EXPECT_EQ(run({"report", "--chain", "window", path}).status, 2);
}

// The JSON documents hold what the CSV tables hold, under the names the
// tables use.
TEST(Cli, JsonHoldsWhatTheTablesHold) {
    Folder folder;
    const LiteralCurves literal(completeGraph(3), 6);
    const std::string path = folder.write("k3.txt", blockOf(literal.network));
    auto steps = nlohmann::json::parse(
        run({"steps", "--per-configuration", "--format", "json", "--horizon", "6", path}).out);
    const int h = literal.chain.configurationCount;
    int marked = 0;
    for (int l = 0; l < h; ++l) marked += literal.chain.marked[l];
    EXPECT_EQ(steps["nodes"], 3);
    EXPECT_EQ(steps["configurations"], h);
    EXPECT_EQ(steps["marked"], marked);
    EXPECT_EQ(steps["horizon"], 6);
    EXPECT_EQ(steps["success"].get<std::vector<double>>(), literal.average);
    ASSERT_EQ(steps["rows"].size(), static_cast<size_t>(h));
    for (int l = 0; l < h; ++l) {
        auto& row = steps["rows"][l];
        EXPECT_EQ(row["configuration"], l);
        for (int i = 0; i < 3; ++i) EXPECT_EQ(row["node" + std::to_string(i)], literal.chain.configurations[l][i]);
        EXPECT_EQ(row.size(), 1u + 3 + 1 + 7);
        EXPECT_EQ(row["mark"], literal.chain.marked[l] ? "S" : "C");
        for (int p = 0; p <= 6; ++p) EXPECT_EQ(row["p" + std::to_string(p)], literal.perConfiguration[p][l]);
    }

    auto sweep = nlohmann::json::parse(
        run({"sweep", "--vary", "beta=0.25,1", "--format", "json", "--horizon", "6", "--shard", "2/2", path}).out);
    EXPECT_EQ(sweep["nodes"], 3);
    EXPECT_EQ(sweep["configurations"], h);
    EXPECT_EQ(sweep["horizon"], 6);
    EXPECT_EQ(sweep["parameters"], nlohmann::json::array({"beta"}));
    EXPECT_EQ(sweep["shard"], "2/2");
    ASSERT_EQ(sweep["points"].size(), 1u);
    EXPECT_EQ(sweep["points"][0]["beta"], 1.0);
    EXPECT_EQ(sweep["points"][0]["success"].get<std::vector<double>>(), literal.average);

    const std::vector<std::string> simulate = {"simulate", "--steps", "40", "--every", "20", "--replicates", "2"};
    auto with = [&](std::vector<std::string> extra) {
        std::vector<std::string> all = simulate;
        all.insert(all.end(), extra.begin(), extra.end());
        all.push_back(path);
        return all;
    };
    auto runs = nlohmann::json::parse(run(with({"--format", "json"})).out);
    EXPECT_EQ(runs["seed"], 1);
    EXPECT_EQ(runs["replicates"], 2);
    const auto table = csvRows(run(with({})).out);
    ASSERT_EQ(runs["rows"].size() + 1, table.size());
    for (size_t k = 0; k < runs["rows"].size(); ++k) {
        auto& row = runs["rows"][k];
        const std::vector<std::string>& fields = table[k + 1];
        EXPECT_EQ(std::to_string(row["replicate"].get<int>()) + "," + std::to_string(row["seed"].get<int>()) + "," +
                      std::to_string(row["step"].get<int>()) + "," + std::to_string(row["node"].get<int>()) + "," +
                      std::to_string(row["successes"].get<int>()),
                  fields[0] + "," + fields[1] + "," + fields[2] + "," + fields[3] + "," + fields[4]);
        EXPECT_EQ(row["chance"].get<double>(), number(fields[5]));
    }
}

// The defaults the help and the README name: 16 steps, standard output, and
// a limit of 10,000,000 configurations.
TEST(Cli, DefaultsAreTheDocumentedOnes) {
    Folder folder;
    const std::string path = folder.write("k3.txt", blockOf(completeGraph(3)));
    EXPECT_EQ(textLines(run({"steps", path}).out).size(), 18u);
    EXPECT_EQ(textLines(run({"sweep", "--vary", "alpha=1", path}).out).size(), 18u);
    const std::string plot = run({"plot", "-o", "-", path}).out;
    const size_t points = plot.find("points=\"");
    ASSERT_NE(points, std::string::npos);
    EXPECT_EQ(std::count(plot.begin() + points, plot.begin() + plot.find('"', points + 8), ' '), 16);
    const std::string ring = folder.write("ring24.txt", blockOf(ringOf(24)));
    const Outcome big = run({"steps", ring});
    EXPECT_EQ(big.status, 3);
    EXPECT_NE(big.err.find("16777216 configurations, more than the limit of 10000000 (--max-configurations)"),
              std::string::npos)
        << big.err;
}

// The unseeded run is what the window does when Return is pressed in a fresh
// window: its own step on the C library's sequence from seed 1. Replicates
// on any number of threads are the lone runs of their seeds.
TEST(Cli, SimulateRepeatsLoneRunsOnAnyNumberOfThreads) {
    Folder folder;
    const NetworkModel network = completeGraph(5);
    const std::string path = folder.write("k5.txt", blockOf(network));
    NetworkModel window = network;
    std::srand(1);
    std::string expected = "replicate,seed,step,node,successes,chance\n";
    for (uint32_t step = 1; step <= 1000; ++step) {
        window.step();
        if (step % 500) continue;
        for (int node = 0; node < 5; ++node) {
            char chance[32];
            std::snprintf(chance, sizeof chance, "%.17g", static_cast<double>(window.successCount[node]) / step);
            expected += "0,1," + std::to_string(step) + "," + std::to_string(node) + "," +
                        std::to_string(window.successCount[node]) + "," + chance + "\n";
        }
    }
    EXPECT_EQ(run({"simulate", "--steps", "1000", "--every", "500", path}).out, expected);

    const std::string together =
        run({"simulate", "--steps", "3000", "--every", "1000", "--seed", "41", "--replicates", "6", "-j", "3", path}).out;
    EXPECT_EQ(together, run({"simulate", "--steps", "3000", "--every", "1000", "--seed", "41", "--replicates", "6",
                              "-j", "1", path})
                            .out);
    std::string alone = "replicate,seed,step,node,successes,chance\n";
    for (int r = 0; r < 6; ++r) {
        const auto rows = textLines(
            run({"simulate", "--steps", "3000", "--every", "1000", "--seed", std::to_string(41 + r), path}).out);
        ASSERT_EQ(rows.size(), 16u);
        for (size_t k = 1; k < rows.size(); ++k) alone += std::to_string(r) + rows[k].substr(rows[k].find(',')) + "\n";
    }
    EXPECT_EQ(together, alone);
}

// Every point of a sweep is the literal analysis of the network with the
// point's values, in grid order, the first axis slowest, and shards
// concatenate to the whole.
TEST(Cli, SweepPointsAreTheEditedNetworksCurves) {
    Folder folder;
    const NetworkModel network = completeGraph(4, true);
    const std::string path = folder.write("k4.txt", blockOf(network));
    const std::vector<std::string> sweep = {"sweep", "--chain", "window", "--vary", "alpha[1]=0.5:1:0.25",
                                            "--vary", "gamma=0,0.75", "--horizon", "5"};
    auto args = [&](std::vector<std::string> extra) {
        std::vector<std::string> all = sweep;
        all.insert(all.end(), extra.begin(), extra.end());
        all.push_back(path);
        return all;
    };
    const Outcome whole = run(args({"-j", "2", "--plot", folder.file("sweep.svg")}));
    ASSERT_EQ(whole.status, 0) << whole.err;
    const auto rows = csvRows(whole.out);
    ASSERT_EQ(rows.size(), 1u + 3 * 2 * 6);
    EXPECT_EQ(rows[0], (std::vector<std::string>{"alpha[1]", "gamma", "step", "success"}));
    size_t row = 1;
    for (const double alpha : {0.5, 0.75, 1.0}) {
        for (const double gamma : {0.0, 0.75}) {
            NetworkModel edited = network;
            edited.params[NetworkModel::Alpha][1] = alpha;
            std::fill(edited.params[NetworkModel::Gamma].begin(), edited.params[NetworkModel::Gamma].end(), gamma);
            const LiteralCurves literal(edited, 5);
            for (int p = 0; p <= 5; ++p, ++row) {
                ASSERT_EQ(rows[row].size(), 4u);
                EXPECT_EQ(number(rows[row][0]), alpha);
                EXPECT_EQ(number(rows[row][1]), gamma);
                EXPECT_EQ(rows[row][2], std::to_string(p));
                EXPECT_EQ(number(rows[row][3]), literal.average[p]) << alpha << " " << gamma << " " << p;
            }
        }
    }
    EXPECT_EQ(run(args({"-j", "1"})).out, whole.out);
    std::string shards;
    for (int k = 1; k <= 4; ++k) shards += run(args({"--shard", std::to_string(k) + "/4"})).out;
    EXPECT_EQ(shards, whole.out);
    const std::string svg = read(folder.file("sweep.svg"));
    EXPECT_EQ(svg.rfind("<?xml", 0), 0u);
    EXPECT_NE(svg.find("gamma = 0.75"), std::string::npos);
}

TEST(Cli, MalformedVaryOptionsAreRefusedBeforeAnyWork) {
    Folder folder;
    const std::string path = folder.write("k3.txt", blockOf(completeGraph(3)));
    const std::pair<std::vector<std::string>, const char*> cases[] = {
        {{"--vary", "alpha=0:1:0"}, "step must be above 0"},
        {{"--vary", "alpha=0:1:-0.1"}, "step must be above 0"},
        {{"--vary", "beta=0.8:0.2:0.1"}, "FROM is above TO"},
        {{"--vary", "delta=0:1:0.1"}, "expected NAME="},
        {{"--vary", "gamma[3]=0.5"}, "nodes 0 to 2"},
        {{"--vary", "gamma=0.5,1.5"}, "outside [0, 1]"},
        {{"--vary", "alpha=0:2:0.5"}, "outside [0, 1]"},
        {{"--vary", "alpha=x"}, "\"x\" is not a number"},
        {{"--vary", "alpha=0:1"}, "FROM:TO:STEP"},
        {{"--vary", "alpha=0.5", "--shard", "3/2"}, "K/N"},
        {{"--vary", "alpha=0.5", "--shard", "1/1234567890"}, "K/N"},
        {{"--vary", "alpha=0.5", "--shard", "1/2x"}, "K/N"},
        {{"--vary", "alpha=0.5", "--horizon", "100001"}, "--horizon"},
        {{"--vary", "alpha=0.5", "--vary", "beta=1", "--vary", "gamma=1", "--plot", "x.svg"}, "one or two"},
        {{"--vary", "alpha=0,1", "--plot", folder.file("out.csv")}, "out.csv\" does not end in .svg"},
        {{"--vary", "alpha=0,1", "--plot", folder.file("out.svg.png")}, "does not end in .svg"},
        {{"--vary", "alpha=0,1", "--plot", "-"}, "--plot: \"-\" does not end in .svg"},
    };
    for (const auto& [options, says] : cases) {
        std::vector<std::string> args = {"sweep", "-o", folder.file("out.csv")};
        args.insert(args.end(), options.begin(), options.end());
        args.push_back(path);
        const Outcome result = run(args);
        EXPECT_EQ(result.status, 2) << says;
        EXPECT_NE(result.err.find(says), std::string::npos) << result.err;
        EXPECT_EQ(folder.files(), "k3.txt\n") << says;
    }
    const Outcome outside = run({"sweep", "--vary", "gamma=0.5,1.5", path});
    EXPECT_EQ(outside.err, "vorlask-cli: --vary \"gamma=0.5,1.5\": the value 1.5 is outside [0, 1]\n");
    EXPECT_EQ(run({"sweep", "--vary", "alpha=0.5", "--shard", "1/123456789", path}).out, "alpha,step,success\n");
    EXPECT_EQ(textLines(run({"sweep", "--vary", "alpha=0.5:0.5:0.1", "--horizon", "100000", path}).out).size(),
              100002u);
    // A range meant to end on TO keeps its last point despite rounding.
    const auto rows = csvRows(run({"sweep", "--vary", "alpha=0:0.3:0.1", "--horizon", "0", path}).out);
    ASSERT_EQ(rows.size(), 5u);
    ASSERT_FALSE(rows[4].empty());
    EXPECT_EQ(rows[4][0], "0.29999999999999999");
    // A list of thousands of values reads without recursion, and a range of
    // two values a denormal apart still draws.
    std::string values = "alpha=0";
    for (int k = 1; k <= 5000; ++k) values += "," + std::to_string(k / 5000.0);
    const Outcome many = run({"sweep", "--vary", values, "--horizon", "0", path});
    EXPECT_EQ(many.status, 0) << many.err;
    EXPECT_EQ(textLines(many.out).size(), 5002u);
    const Outcome narrow = run({"sweep", "--vary", "alpha=0,5e-324", "--plot", folder.file("narrow.svg"), path});
    EXPECT_EQ(narrow.status, 0) << narrow.err;
    EXPECT_NE(read(folder.file("narrow.svg")).find(">5e-324</text>"), std::string::npos);
}

// Every output of a command is written before any is put in place: the
// failure of a later one leaves the earlier ones' files as they were.
TEST(Cli, OutputsOfACommandCommitTogether) {
    Folder folder;
    const std::string path = folder.write("k3.txt", blockOf(completeGraph(3)));
    // The file kept whole, and the command whose other output fails.
    const std::vector<std::pair<std::string, std::vector<std::string>>> commands = {
        {"out.csv", {"export", "--matrix", folder.file("out.csv"), "--configurations", "/dev/full", path}},
        {"out.svg", {"sweep", "--vary", "alpha=0,1", "--plot", folder.file("out.svg"), "-o", "/dev/full", path}},
    };
    for (const auto& [kept, args] : commands) {
        for (const bool existing : {false, true}) {
            if (existing) folder.write(kept, "precious\n");
            const Outcome result = run(args);
            EXPECT_EQ(result.status, 1) << args[0];
            EXPECT_EQ(result.err, "vorlask-cli: cannot write /dev/full: No space left on device\n");
            EXPECT_EQ(folder.files(), existing ? "k3.txt\n" + kept + "\n" : "k3.txt\n");
            if (existing) {
                EXPECT_EQ(read(folder.file(kept)), "precious\n");
            }
        }
        std::remove(folder.file(kept).c_str());
    }
    folder.write("out.svg", "precious\n");
    const Outcome same = run({"sweep", "--vary", "alpha=1", "-o", folder.file("out.svg"), "--plot",
                              folder.path() + "/./out.svg", path});
    EXPECT_EQ(same.status, 2);
    EXPECT_NE(same.err.find("--output and --plot both name"), std::string::npos) << same.err;
    EXPECT_EQ(read(folder.file("out.svg")), "precious\n");
    // The null device may take both: nothing written there is lost.
    EXPECT_EQ(run({"export", "--matrix", "/dev/null", "--configurations", "/dev/null", path}).status, 0);
}

TEST(Cli, PlotDrawsALabelledCurvePerNetwork) {
    Folder folder;
    const LiteralCurves ring(ringOf(4), 12);
    const LiteralCurves complete(completeGraph(4), 12);
    const std::string a = folder.write("ring.txt", blockOf(ring.network));
    const std::string b = folder.write("complete.txt", blockOf(complete.network));
    ASSERT_EQ(
        run({"plot", "--chain", "window", "--horizon", "12", "--title", "A & <B>", "-o", folder.file("p.svg"), a, b})
            .status,
        0);
    const std::string svg = read(folder.file("p.svg"));
    std::vector<const LiteralCurves*> expected = {&ring, &complete};
    size_t curves = 0;
    for (size_t at = svg.find("<polyline"); at != std::string::npos; at = svg.find("<polyline", at + 1), ++curves) {
        ASSERT_LT(curves, expected.size());
        const size_t start = svg.find("points=\"", at) + 8;
        std::istringstream points(svg.substr(start, svg.find('"', start) - start));
        // Step p at x = 78 + p / 12 x 562, weight w where the y ticks put it.
        const std::vector<AxisTick> yTicks = yTicksOf(svg);
        ASSERT_GE(yTicks.size(), 2u);
        int p = 0;
        for (double x, y; points >> x && points.ignore() && points >> y; ++p) {
            ASSERT_LE(p, 12);
            EXPECT_NEAR(x, 78 + p / 12.0 * 562, 0.005);
            EXPECT_NEAR(y, pixelOnTicks(yTicks, expected[curves]->average[p]), 0.01) << p;
        }
        EXPECT_EQ(p, 13);
    }
    EXPECT_EQ(curves, 2u);
    EXPECT_NE(svg.find(">ring.txt<"), std::string::npos);
    EXPECT_NE(svg.find(">complete.txt<"), std::string::npos);
    EXPECT_NE(svg.find(">A &amp; &lt;B&gt;<"), std::string::npos);
    // Points are marked on short curves only.
    EXPECT_EQ(count(svg, "<circle"), 26u);
    EXPECT_EQ(count(run({"plot", "--horizon", "59", "-o", "-", a}).out, "<circle"), 60u);
    EXPECT_EQ(count(run({"plot", "--horizon", "60", "-o", "-", a}).out, "<circle"), 0u);
    // Two files of one name are told apart by their paths.
    mkdir(folder.file("again").c_str(), 0755);
    const std::string c = folder.write("again/ring.txt", blockOf(ring.network));
    ASSERT_EQ(run({"plot", "-o", folder.file("q.svg"), a, c}).status, 0);
    const std::string both = read(folder.file("q.svg"));
    EXPECT_NE(both.find(">" + a + "<"), std::string::npos);
    EXPECT_NE(both.find(">" + c + "<"), std::string::npos);
}

// A device is written in place: renaming a temporary file over /dev/null
// would replace the device with a file. A file replaced keeps its mode; a
// new one gets what the umask allows.
TEST(Cli, DevicesAreWrittenInPlaceAndFilesKeepTheirMode) {
    Folder folder;
    const std::string path = folder.write("k3.txt", blockOf(completeGraph(3)));
    EXPECT_EQ(run({"steps", "-o", "/dev/null", path}).status, 0);
    struct stat status;
    ASSERT_EQ(stat("/dev/null", &status), 0);
    EXPECT_TRUE(S_ISCHR(status.st_mode));
    EXPECT_EQ(folder.files(), "k3.txt\n");
    const mode_t mask = umask(022);
    ASSERT_EQ(run({"steps", "-o", folder.file("new.csv"), path}).status, 0);
    ASSERT_EQ(stat(folder.file("new.csv").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0644u);
    ASSERT_EQ(chmod(folder.file("new.csv").c_str(), 0640), 0);
    ASSERT_EQ(run({"steps", "-o", folder.file("new.csv"), path}).status, 0);
    ASSERT_EQ(stat(folder.file("new.csv").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0640u);
    umask(mask);
}

// An output through a symbolic link writes the link's final target, as a
// shell's redirection does, however many links lead there and whether or
// not it exists yet; the links stay links. A file of two hard links keeps
// both names on the new contents.
TEST(Cli, OutputsWriteThroughLinks) {
    Folder folder;
    const std::string path = folder.write("k3.txt", blockOf(completeGraph(3)));
    const std::string expected = run({"steps", path}).out;
    ASSERT_EQ(mkdir(folder.file("data").c_str(), 0755), 0);
    folder.write("data/real.csv", "old\n");
    ASSERT_EQ(symlink("data/real.csv", folder.file("link.csv").c_str()), 0);
    ASSERT_EQ(symlink(folder.file("link.csv").c_str(), folder.file("again.csv").c_str()), 0);
    ASSERT_EQ(symlink("data/new.csv", folder.file("ahead.csv").c_str()), 0);
    ASSERT_EQ(link(folder.file("data/real.csv").c_str(), folder.file("hard.csv").c_str()), 0);
    for (const char* name : {"again.csv", "ahead.csv"}) {
        ASSERT_EQ(run({"steps", "-o", folder.file(name), path}).status, 0) << name;
        struct stat status;
        ASSERT_EQ(lstat(folder.file(name).c_str(), &status), 0);
        EXPECT_TRUE(S_ISLNK(status.st_mode)) << name;
    }
    EXPECT_EQ(readFile(folder.file("data/real.csv")), expected);
    EXPECT_EQ(readFile(folder.file("hard.csv")), expected);
    EXPECT_EQ(readFile(folder.file("data/new.csv")), expected);

    const std::string shorter = run({"steps", "--horizon", "1", path}).out;
    ASSERT_EQ(run({"steps", "--horizon", "1", "-o", folder.file("hard.csv"), path}).status, 0);
    EXPECT_EQ(readFile(folder.file("data/real.csv")), shorter);
    EXPECT_EQ(readFile(folder.file("hard.csv")), shorter);
    EXPECT_EQ(folder.files(), "again.csv\nahead.csv\ndata\nhard.csv\nk3.txt\nlink.csv\n");
}

// Standard error as a terminal for the life of the object: what is written
// there is read from the terminal's other end.
class TerminalStandardError {
public:
    TerminalStandardError() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) return;
        const int terminal = open(ptsname(master_), O_RDWR | O_NOCTTY);
        saved_ = dup(STDERR_FILENO);
        dup2(terminal, STDERR_FILENO);
        close(terminal);
    }
    ~TerminalStandardError() {
        restore();
        if (master_ >= 0) close(master_);
    }
    bool ready() const { return saved_ >= 0; }
    // Puts standard error back and returns what reached the terminal.
    std::string shown() {
        restore();
        std::string text;
        char buffer[4096];
        for (ssize_t n; (n = read(master_, buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<size_t>(n));
        return text;
    }

private:
    void restore() {
        if (saved_ < 0) return;
        dup2(saved_, STDERR_FILENO);
        close(saved_);
        saved_ = -1;
        fcntl(master_, F_SETFL, O_NONBLOCK);
    }
    int master_ = -1;
    int saved_ = -1;
};

// Work longer than a second shows one updating line on a terminal, erased
// at the end; shorter work shows nothing.
TEST(Cli, ProgressShowsOnATerminalAfterASecond) {
    WorkProgress progress;
    progress.begin("following the steps", 200);
    TerminalStandardError terminal;
    ASSERT_TRUE(terminal.ready());
    EXPECT_TRUE(TerminalProgress::wanted());
    { TerminalProgress quick(progress); }
    {
        TerminalProgress slow(progress);
        progress.add(100);
        std::this_thread::sleep_for(std::chrono::milliseconds(1300));
    }
    const std::string shown = terminal.shown();
    EXPECT_EQ(shown.rfind("\r\033[Kvorlask-cli: following the steps  50%", 0), 0u) << shown;
    ASSERT_GE(shown.size(), 4u);
    EXPECT_EQ(shown.substr(shown.size() - 4), "\r\033[K");
}

// Ticks are 1, 2 or 5 times a power of ten apart, inside the range, and
// never more than a few past the number wanted, however narrow or wide the
// range.
TEST(Chart, TicksAreRoundStepsInsideTheRange) {
    EXPECT_EQ(niceTicks(0, 16, 10), (std::vector<double>{0, 2, 4, 6, 8, 10, 12, 14, 16}));
    EXPECT_EQ(niceTicks(0.15, 0.62, 4), (std::vector<double>{0.2, 0.4, 0.6000000000000001}));
    EXPECT_EQ(niceTicks(0, 5e-324, 10), (std::vector<double>{0, 5e-324}));
    EXPECT_EQ(niceTicks(3, 3, 10), (std::vector<double>{3}));
    std::mt19937 random(17);
    for (int trial = 0; trial < 2000; ++trial) {
        const double low = std::ldexp(std::uniform_real_distribution<double>(-1, 1)(random), trial % 40 - 20);
        const double span = std::ldexp(1.0, -static_cast<int>(random() % 1100));
        const double high = low + span * std::uniform_real_distribution<double>(0.1, 1)(random);
        const int wanted = 1 + trial % 12;
        const std::vector<double> ticks = niceTicks(low, high, wanted);
        ASSERT_FALSE(ticks.empty());
        ASSERT_LE(ticks.size(), static_cast<size_t>(wanted) + 3) << low << " " << high;
        if (ticks.size() < 3 || high - low < std::abs(low) * 1e-6) continue;
        const double step = ticks[1] - ticks[0];
        const double mantissa = step / std::pow(10.0, std::floor(std::log10(step) + 1e-9));
        EXPECT_TRUE(std::abs(mantissa - 1) < 1e-6 || std::abs(mantissa - 2) < 1e-6 || std::abs(mantissa - 5) < 1e-6)
            << step;
        EXPECT_GE(ticks.front(), low - step * 1e-6);
        EXPECT_LE(ticks.back(), high + step * 1e-6);
        EXPECT_GE(static_cast<double>(ticks.size()), wanted / 2.5 - 1) << low << " " << high;
    }
}

// The widths are DejaVu Sans's own: at 2048 pixels an em, unhinted, its
// advances in pixels are its design units.
TEST(Chart, TextWidthsAreThoseOfDejaVuSans) {
    ASSERT_EQ(TTF_Init(), 0);
    for (const bool bold : {false, true}) {
        const char* file = bold ? "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf"
                                : "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
        std::unique_ptr<TTF_Font, void (*)(TTF_Font*)> face(TTF_OpenFont(file, 2048), TTF_CloseFont);
        ASSERT_TRUE(face) << file;
        TTF_SetFontHinting(face.get(), TTF_HINTING_NONE);
        std::string all;
        int total = 0;
        for (char c = ' '; c <= '~'; ++c) {
            int advance = 0;
            ASSERT_EQ(TTF_GlyphMetrics(face.get(), static_cast<Uint16>(c), nullptr, nullptr, nullptr, nullptr, &advance), 0);
            EXPECT_NEAR(textWidth(std::string(1, c), ChartFont{2048, bold}), advance * 1.05, 1e-9) << c << bold;
            all += c;
            total += advance;
        }
        EXPECT_NEAR(textWidth(all, ChartFont{13, bold}), total / 2048.0 * 13 * 1.05, 1e-9);
    }
}

// Whatever the title, the labels, the ranges and the size, every text lies
// inside the picture, tick labels tell their ticks apart and do not touch,
// and texts that fit stand where they are meant to.
TEST(Chart, EveryTextStaysInsideThePicture) {
    const std::string longName = "a network file with a name far too long for any legend, " + std::string(300, 'W');
    const std::pair<double, double> ranges[] = {{0, 16}, {0, 100000}, {0.5, 0.5 + 4e-10}, {0, 5e-324},
                                                {-1e6, 1e6}, {0.1, 0.10000000000000003}, {0.25, 0.25}};
    const std::pair<double, double> sizes[] = {{0, 520}, {400, 300}, {1000, 700}};
    for (const auto& [low, high] : ranges) {
        for (const auto& [askedWidth, height] : sizes) {
            for (const bool crowded : {false, true}) {
                LineChart chart{crowded ? std::string(150, 'W') : "Success", crowded ? longName : "alpha", "weight", {}};
                // The same range across the y axis: a range a few ulps wide
                // needs long tick labels.
                const double yHigh = low == high || high - low > 1 ? 0.75 : 0.5 + (high - low);
                chart.series.push_back(ChartSeries{crowded ? longName : "ring.txt", {low, high}, {0.5, yHigh}});
                if (crowded) chart.series.push_back(ChartSeries{"\xe4\xb8\xad" + longName, {low}, {3e12}});
                chart.yFromZero = crowded;  // mean steps may run to trillions
                chart.width = askedWidth;
                chart.height = height;
                const std::string svg = renderSvg(chart);
                const double width = pictureSize(svg).first;
                EXPECT_EQ(pictureSize(svg).second, height);
                const std::string where = std::to_string(low) + " " + std::to_string(high) + " " +
                                          std::to_string(askedWidth) + (crowded ? " crowded" : "");
                std::vector<ChartText> ticks;
                for (const ChartText& text : textsOf(svg)) {
                    if (text.rotated) {
                        EXPECT_LE(text.right - text.left, height - 124 + 1e-9);
                        continue;
                    }
                    // Six pixels of margin on either side, give or take the
                    // rounding of positions to hundredths.
                    EXPECT_GE(text.left, 6 - 0.01) << text.text << " " << where;
                    EXPECT_LE(text.right, width - 6 + 0.01) << text.text << " " << where;
                    if (text.y == height - 46) ticks.push_back(text);
                }
                ASSERT_FALSE(ticks.empty()) << where;
                for (size_t k = 1; k < ticks.size(); ++k) {
                    EXPECT_NE(ticks[k].text, ticks[k - 1].text) << where;
                    EXPECT_LE(ticks[k - 1].right, ticks[k].left) << where;
                }
                // The y tick labels clear the y axis label, which reaches x = 30.
                for (const AxisTick& tick : yTicksOf(svg)) EXPECT_GE(plotFrameOf(svg).left - 10, 30) << tick.value;
                const std::vector<AxisTick> yTicks = yTicksOf(svg);
                for (size_t k = 1; k < yTicks.size(); ++k) EXPECT_GT(yTicks[k].value, yTicks[k - 1].value) << where;
                EXPECT_EQ(width, askedWidth > 0 ? askedWidth : crowded ? 1400 : 860);
                if (crowded || askedWidth > 0 || yHigh != 0.75) continue;
                EXPECT_NE(svg.find("<text x=\"359.00\" y=\"32.00\" text-anchor=\"middle\" font-size=\"18\" "
                                   "font-weight=\"bold\">Success</text>"),
                          std::string::npos);
                EXPECT_NE(
                    svg.find("<text x=\"359.00\" y=\"498.00\" text-anchor=\"middle\" font-size=\"15\">alpha</text>"),
                    std::string::npos);
                // Labels that do not touch are all kept; a single value is drawn
                // on the axis from it to one above it.
                if (low == 0 && high == 16) {
                    EXPECT_EQ(ticks.size(), 9u);
                }
                if (low == 0 && high == 100000) {
                    EXPECT_EQ(ticks.size(), 11u);
                }
                if (low == high) {
                    EXPECT_EQ(ticks.front().text, "0.3");
                }
            }
        }
    }
}

// Text that does not fit is cut and marked with an ellipsis so that it
// does; text that fits stays as it is.
TEST(Chart, TextIsShortenedToFitItsBox) {
    const ChartFont font{13, false};
    EXPECT_NEAR(textWidth("ii", font), 2 * 569 / 2048.0 * 13 * 1.05, 1e-9);
    EXPECT_GT(textWidth("\xe4\xb8\xad", font), textWidth("W", font));
    std::mt19937 random(5);
    const std::string alphabet = "aWi. /-_0\xc3\xa9\xe4\xb8\xad";
    for (int trial = 0; trial < 500; ++trial) {
        std::string text;
        for (int k = static_cast<int>(random() % 80); k > 0; --k) {
            const size_t at = random() % 10;
            text += at < 8 ? alphabet.substr(at, 1) : at == 8 ? "\xc3\xa9" : "\xe4\xb8\xad";
        }
        const double width = 20 + static_cast<double>(random() % 300);
        for (const Shorten where : {Shorten::AtEnd, Shorten::InMiddle}) {
            const std::string fitted = fittedText(text, width, font, where);
            EXPECT_LE(textWidth(fitted, font), width + 1e-9);
            if (textWidth(text, font) <= width) {
                EXPECT_EQ(fitted, text);
                continue;
            }
            const size_t ellipsis = fitted.find("\xe2\x80\xa6");
            ASSERT_NE(ellipsis, std::string::npos);
            EXPECT_EQ(text.compare(0, ellipsis, fitted, 0, ellipsis), 0);
            const std::string tail = fitted.substr(ellipsis + 3);
            EXPECT_EQ(text.compare(text.size() - tail.size(), tail.size(), tail), 0);
            if (where != Shorten::AtEnd) continue;
            EXPECT_EQ(tail, "");
            // The text's next character would not have fitted.
            size_t next = ellipsis + 1;
            while (next < text.size() && (static_cast<unsigned char>(text[next]) & 0xc0) == 0x80) ++next;
            EXPECT_GT(textWidth(fitted, font) + textWidth(text.substr(ellipsis, next - ellipsis), font), width);
        }
    }
}

// Per-configuration steps keep at most 1e9 values: the complete graph of 7
// has 279936 configurations, and 3573 steps of them (horizon 3572) pass the
// limit where 3572 do not, which only the memory limit then refuses.
TEST(Cli, KeptValuesAreRefusedJustPastTheirLimit) {
    Folder folder;
    const std::string path = folder.write("k7.txt", blockOf(completeGraph(7, true)));
    const std::vector<std::string> steps = {"steps", "--per-configuration", "--max-memory", "1M", "--horizon"};
    auto at = [&](const std::string& horizon) {
        std::vector<std::string> args = steps;
        args.insert(args.end(), {horizon, path});
        return run(args);
    };
    const auto past = at("3572");
    EXPECT_EQ(past.status, 3) << past.err;
    EXPECT_NE(past.err.find("would take 1000211328 values, more than the limit of 1000000000"), std::string::npos)
        << past.err;
    const auto within = at("3571");
    EXPECT_EQ(within.status, 3);
    EXPECT_NE(within.err.find("needs about"), std::string::npos) << within.err;
    EXPECT_EQ(within.err.find("values"), std::string::npos) << within.err;
}

namespace {

size_t occurrences(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

// Whether `step` is 1, 2 or 5 times a power of ten, doubled a few times.
bool roundStepDoubled(double step) {
    for (int doubled = 0; doubled < 6; ++doubled, step /= 2) {
        const double mantissa = step / std::pow(10.0, std::floor(std::log10(step) + 1e-9));
        for (const double nice : {1.0, 2.0, 5.0, 10.0})
            if (std::fabs(mantissa - nice) < 1e-6) return true;
    }
    return false;
}

}  // namespace

// The plot spans x 78 to 640 and y 452 to 56; its y axis runs from 0 to 1
// in fifths, and on to 1.03, as a band reaches 1: every tick, grid line,
// band corner and legend entry is where that puts it.
TEST(Chart, AxesBandsAndLegendSitWhereTheScalesPutThem) {
    LineChart chart{"t", "x", "y", {}};
    chart.series.push_back(ChartSeries{"a", {0, 5, 10}, {0.2, 0.5, 0.9}, {0.1, 0.4, 0.8}, {0.3, 0.6, 1.0}});
    chart.series.push_back(ChartSeries{"b", {0, 10}, {0.1, 0.2}});
    const std::string svg = renderSvg(chart);
    const auto sx = [](double x) { return 78 + 562 * x / 10; };
    const auto sy = [](double y) { return 452 - 396 * y / 1.03; };
    const std::vector<SvgLine> lines = svgLines(svg);
    for (int k = 0; k <= 10; ++k) {
        EXPECT_TRUE(hasLine(lines, {sx(k), 56, sx(k), 452, "#e6e6e6"})) << k;
        EXPECT_TRUE(hasLine(lines, {sx(k), 452, sx(k), 458, "#333333"})) << k;
    }
    for (int k = 0; k <= 5; ++k) {
        EXPECT_TRUE(hasLine(lines, {78, sy(k / 5.0), 640, sy(k / 5.0), "#e6e6e6"})) << k;
        EXPECT_TRUE(hasLine(lines, {72, sy(k / 5.0), 78, sy(k / 5.0), "#333333"})) << k;
    }
    const size_t polygon = svg.find("<polygon");
    ASSERT_NE(polygon, std::string::npos);
    std::istringstream corners(attribute(svg.substr(polygon, svg.find('\n', polygon) - polygon), "points"));
    const double expected[][2] = {{0, 0.3}, {5, 0.6}, {10, 1.0}, {10, 0.8}, {5, 0.4}, {0, 0.1}};
    for (const auto& [x, y] : expected) {
        double cornerX = 0, cornerY = 0;
        ASSERT_TRUE(corners >> cornerX && corners.ignore() && corners >> cornerY);
        EXPECT_NEAR(cornerX, sx(x), 0.006);
        EXPECT_NEAR(cornerY, sy(y), 0.006);
    }
    const size_t legend = svg.find("<g font-size=\"13\" fill=\"#222222\">\n");
    ASSERT_NE(legend, std::string::npos);
    EXPECT_NE(svg.find("<line x1=\"660.00\" y1=\"66.00\" x2=\"686.00\" y2=\"66.00\" stroke=\"#0072b2\"", legend),
              std::string::npos);
    EXPECT_NE(svg.find("<text x=\"694.00\" y=\"94.50\" text-anchor=\"start\">b</text>\n</g>", legend),
              std::string::npos);
    EXPECT_EQ(occurrences(svg, "<g "), occurrences(svg, "</g>"));

    // Crowded tick labels are thinned to every other one: the step stays a
    // round one, doubled.
    for (const double high : {1.3e9, 1.3e-6, 123456.7, 1.23456789e15, 7.7e-7}) {
        const LineChart wide{"t", "x", "y", {ChartSeries{"a", {high * 1e-4, high}, {0.2, 0.5}}}};
        static const std::regex label(R"re(y="474.00" text-anchor="middle">([-0-9.e+]+)</text>)re");
        const std::string text = renderSvg(wide);
        std::vector<double> ticks;
        for (std::sregex_iterator m(text.begin(), text.end(), label), end; m != end; ++m)
            ticks.push_back(std::stod((*m)[1]));
        ASSERT_GE(ticks.size(), 2u) << high;
        const double step = ticks[1] - ticks[0];
        EXPECT_TRUE(roundStepDoubled(step)) << high << ": " << step;
        for (size_t k = 1; k < ticks.size(); ++k) EXPECT_NEAR(ticks[k] - ticks[k - 1], step, step * 1e-6) << high;
    }
}
