#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "model/analysis.h"
#include "model/network_block.h"
#include "model/success_curves.h"
#include "network_generator.h"

namespace {

struct Outcome {
    int status = 0;
    std::string out;
    std::string err;
};

// Runs the command with standard output and error captured.
Outcome run(std::vector<std::string> args) {
    args.insert(args.begin(), "vorlask-cli");
    std::vector<char*> argv;
    for (auto& arg : args) argv.push_back(arg.data());
    std::ostringstream out;
    std::ostringstream err;
    std::streambuf* savedOut = std::cout.rdbuf(out.rdbuf());
    std::streambuf* savedErr = std::cerr.rdbuf(err.rdbuf());
    Outcome result;
    result.status = runCommandLine(static_cast<int>(argv.size()), argv.data());
    std::cout.rdbuf(savedOut);
    std::cerr.rdbuf(savedErr);
    std::cout.clear();
    result.out = out.str();
    result.err = err.str();
    return result;
}

class Folder {
public:
    Folder() {
        std::string pattern = testing::TempDir() + "vorlask-cli-XXXXXX";
        path_ = mkdtemp(pattern.data());
    }
    ~Folder() { std::system(("rm -rf '" + path_ + "'").c_str()); }
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    std::string write(const std::string& name, const std::string& text) const {
        std::ofstream(file(name)) << text;
        return file(name);
    }
    std::string files() const {
        std::string names;
        std::unique_ptr<FILE, int (*)(FILE*)> listing(popen(("ls -A '" + path_ + "'").c_str(), "r"), pclose);
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, listing.get())) names += buffer;
        return names;
    }
    static std::vector<std::string> lines(const std::string& text) {
        std::vector<std::string> result;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);) result.push_back(line);
        return result;
    }

private:
    std::string path_;
};

std::string read(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string blockOf(const NetworkModel& network) {
    std::ostringstream text;
    network.dumpData(text);
    return text.str();
}

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

std::vector<std::vector<std::string>> csvRows(const std::string& text) {
    std::vector<std::vector<std::string>> rows;
    for (const auto& line : Folder::lines(text)) {
        std::vector<std::string> fields;
        std::istringstream in(line);
        for (std::string field; std::getline(in, field, ',');) fields.push_back(field);
        rows.push_back(fields);
    }
    return rows;
}

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
}

// Each fault: one line on standard error naming the file and line, nothing
// on standard output, the status of its kind, and no output file: neither a
// new one nor a change to an existing one.
TEST(Cli, BadInputFailsWithOneLineAndLeavesOutputAlone) {
    Folder folder;
    const std::string good = folder.write("good.txt", blockOf(completeGraph(3)));
    struct Case {
        std::vector<std::string> args;
        const char* input;
        int status;
        const char* says;
    };
    const Case cases[] = {
        {{"steps"}, "no block\n", 2, "in.txt: no \"DATA:\""},
        {{"steps"}, "DATA:\n01 1 1 1\n10 1 1 2\n", 2, "in.txt:3: gamma \"2\" is outside [0, 1]"},
        {{"steps"}, "DATA:\n01 1 1 1\n00 1 1 1\n", 2, "in.txt:3: the link between nodes 0 and 1"},
        {{"steps", "--bogus"}, nullptr, 2, "--bogus"},
        {{"steps", "--horizon", "100001"}, nullptr, 2, "--horizon"},
        {{"steps", "--format", "xml"}, nullptr, 2, "--format"},
        {{"steps", "--max-configurations", "7"}, nullptr, 3, "in.txt: the network has 8 configurations"},
        {{"export", "--matrix", "-", "--configurations", "-"}, nullptr, 2, "both go to standard output"},
        {{"steps", "-o", "/nonexistent/folder/out.csv"}, nullptr, 1, "cannot write /nonexistent/folder/out.csv"},
    };
    for (const Case& c : cases) {
        const std::string input = c.input ? folder.write("in.txt", c.input) : folder.write("in.txt", read(good));
        std::vector<std::string> args = c.args;
        const bool namesOutput = std::find(args.begin(), args.end(), "-o") != args.end();
        if (!namesOutput && args[0] == "steps") args.insert(args.end(), {"-o", folder.file("out.csv")});
        args.push_back(input);
        for (const bool existing : {false, true}) {
            if (existing) folder.write("out.csv", "precious\n");
            const Outcome result = run(args);
            EXPECT_EQ(result.status, c.status) << c.says;
            EXPECT_EQ(result.out, "");
            ASSERT_EQ(Folder::lines(result.err).size(), 1u) << result.err;
            EXPECT_EQ(result.err.rfind("vorlask-cli: ", 0), 0u) << result.err;
            EXPECT_NE(result.err.find(c.says), std::string::npos) << result.err;
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

// The report is the bytes the window writes for the A key; what the window
// refuses is refused with one line on standard error and nothing else.
TEST(Cli, ReportIsWhatTheWindowWrites) {
    Folder folder;
    NetworkGenerator generator(23);
    for (int trial = 0; trial < 20; ++trial) {
        NetworkModel network;
        generator.fillAsTheWindowLeavesIt(network, 2 + trial % 4);
        const std::string path = folder.write("net.txt", "earlier output\n" + blockOf(network));
        std::ostringstream window;
        std::streambuf* saved = std::cout.rdbuf(window.rdbuf());
        network.analyze(std::cout, 31, 16, 16);
        std::cout.rdbuf(saved);
        const Outcome report = run({"report", path});
        EXPECT_EQ(report.status, 0);
        EXPECT_EQ(report.out, window.str());
    }
    NetworkModel wide;
    wide.resize(15);
    for (int i = 0; i < 15; ++i) wide.links[i][(i + 1) % 15] = wide.links[(i + 1) % 15][i] = 1;
    const Outcome refused = run({"report", folder.write("wide.txt", blockOf(wide))});
    EXPECT_EQ(refused.status, 3);
    EXPECT_EQ(refused.out, "");
    EXPECT_NE(refused.err.find("wide.txt: the network has 32768 configurations"), std::string::npos);
}

// The data files hold the engine's numbers, read back exactly.
TEST(Cli, StepsAndExportWriteTheChainsNumbers) {
    Folder folder;
    const NetworkModel network = completeGraph(4, true);
    const std::string path = folder.write("k4.txt", blockOf(network));
    const NeighbourLists neighbours = neighbourLists(network);
    const MarkovChain chain = buildMarkovChain(network, neighbours, 81, 1);
    const SuccessCurves curves = computeSuccessCurves(chain.transitions, chain.marked, 40, true, 1);

    const auto summary = csvRows(run({"steps", "--horizon", "40", path}).out);
    ASSERT_EQ(summary.size(), 42u);
    EXPECT_EQ(summary[0], (std::vector<std::string>{"step", "success"}));
    for (int p = 0; p <= 40; ++p) EXPECT_EQ(std::strtod(summary[p + 1][1].c_str(), nullptr), curves.average[p]);

    const auto rows = csvRows(run({"steps", "--per-configuration", "--horizon", "40", "-j", "2", path}).out);
    ASSERT_EQ(rows.size(), 82u);
    EXPECT_EQ(rows[0][5], "mark");
    for (int l = 0; l < 81; ++l) {
        EXPECT_EQ(rows[l + 1][5], chain.marked[l] ? "S" : "C");
        for (int i = 0; i < 4; ++i) EXPECT_EQ(std::stoi(rows[l + 1][1 + i]), chain.configurations[l][i]);
        for (int p = 0; p <= 40; ++p) EXPECT_EQ(std::strtod(rows[l + 1][6 + p].c_str(), nullptr), curves.value(p, l));
    }

    ASSERT_EQ(run({"export", "--matrix", folder.file("t.mtx"), "--configurations", folder.file("c.csv"), path}).status, 0);
    const auto matrix = Folder::lines(read(folder.file("t.mtx")));
    EXPECT_EQ(matrix[0], "%%MatrixMarket matrix coordinate real general");
    size_t line = 1;
    while (matrix[line][0] == '%') ++line;
    size_t nonZero = 0;
    for (size_t k = 0; k < chain.transitions.entryCount(); ++k) nonZero += chain.transitions.weight(k) != 0.0;
    EXPECT_EQ(matrix[line++], "81 81 " + std::to_string(nonZero));
    for (int l = 0; l < 81; ++l) {
        for (size_t k = chain.transitions.begin(l); k < chain.transitions.end(l); ++k) {
            if (chain.transitions.weight(k) == 0.0) continue;
            std::istringstream entry(matrix[line++]);
            int row, column;
            double value;
            entry >> row >> column >> value;
            EXPECT_EQ(row, l + 1);
            EXPECT_EQ(column, chain.transitions.column(k) + 1);
            EXPECT_EQ(value, chain.transitions.weight(k));
        }
    }
    EXPECT_EQ(line, matrix.size());
    const auto configurations = csvRows(read(folder.file("c.csv")));
    EXPECT_EQ(configurations[0], (std::vector<std::string>{"index", "node0", "node1", "node2", "node3", "mark"}));
    EXPECT_EQ(configurations.size(), 82u);
}

// Replicates on any number of threads are the lone runs of their seeds, and
// an unseeded run is seed 1's.
TEST(Cli, SimulateRepeatsLoneRunsOnAnyNumberOfThreads) {
    Folder folder;
    const std::string path = folder.write("k5.txt", blockOf(completeGraph(5)));
    const std::string together =
        run({"simulate", "--steps", "3000", "--every", "1000", "--seed", "41", "--replicates", "6", "-j", "3", path}).out;
    EXPECT_EQ(together, run({"simulate", "--steps", "3000", "--every", "1000", "--seed", "41", "--replicates", "6",
                              "-j", "1", path})
                            .out);
    std::string alone = "replicate,seed,step,node,successes,chance\n";
    for (int r = 0; r < 6; ++r) {
        const auto rows = Folder::lines(
            run({"simulate", "--steps", "3000", "--every", "1000", "--seed", std::to_string(41 + r), path}).out);
        for (size_t k = 1; k < rows.size(); ++k) alone += std::to_string(r) + rows[k].substr(rows[k].find(',')) + "\n";
    }
    EXPECT_EQ(together, alone);
    EXPECT_EQ(run({"simulate", "--steps", "777", path}).out, run({"simulate", "--steps", "777", "--seed", "1", path}).out);
}

// Every point of a sweep is `steps` of the network with the point's values,
// in grid order, and shards concatenate to the whole.
TEST(Cli, SweepPointsAreStepsOfTheEditedNetwork) {
    Folder folder;
    const NetworkModel network = completeGraph(4, true);
    const std::string path = folder.write("k4.txt", blockOf(network));
    const std::vector<std::string> sweep = {"sweep", "--vary", "alpha[1]=0.5:1:0.25", "--vary", "gamma=0,0.75",
                                            "--horizon", "5"};
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
            const auto steps = csvRows(run({"steps", "--horizon", "5", folder.write("edited.txt", blockOf(edited))}).out);
            for (int p = 0; p <= 5; ++p, ++row) {
                EXPECT_EQ(std::strtod(rows[row][0].c_str(), nullptr), alpha);
                EXPECT_EQ(std::strtod(rows[row][1].c_str(), nullptr), gamma);
                EXPECT_EQ(rows[row][2], std::to_string(p));
                EXPECT_EQ(rows[row][3], steps[p + 1][1]);
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
        {{"--vary", "alpha=0.5", "--vary", "beta=1", "--vary", "gamma=1", "--plot", "x.svg"}, "one or two"},
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
    // A range meant to end on TO keeps its last point despite rounding.
    const auto rows = csvRows(run({"sweep", "--vary", "alpha=0:0.3:0.1", "--horizon", "0", path}).out);
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows[4][0], "0.29999999999999999");
}

TEST(Cli, PlotDrawsALabelledCurvePerNetwork) {
    Folder folder;
    const std::string a = folder.write("ring.txt", blockOf(completeGraph(3, true)));
    const std::string b = folder.write("complete.txt", blockOf(completeGraph(4, true)));
    ASSERT_EQ(run({"plot", "--horizon", "12", "--title", "A & B", "-o", folder.file("p.svg"), a, b}).status, 0);
    const std::string svg = read(folder.file("p.svg"));
    size_t curves = 0;
    for (size_t at = svg.find("<polyline"); at != std::string::npos; at = svg.find("<polyline", at + 1)) ++curves;
    EXPECT_EQ(curves, 2u);
    EXPECT_NE(svg.find(">ring.txt<"), std::string::npos);
    EXPECT_NE(svg.find(">complete.txt<"), std::string::npos);
    EXPECT_NE(svg.find(">A &amp; B<"), std::string::npos);
}

// A device is written in place: renaming a temporary file over /dev/null
// would replace the device with a file.
TEST(Cli, DevicesAreWrittenInPlace) {
    Folder folder;
    const std::string path = folder.write("k3.txt", blockOf(completeGraph(3)));
    EXPECT_EQ(run({"steps", "-o", "/dev/null", path}).status, 0);
    struct stat device;
    ASSERT_EQ(stat("/dev/null", &device), 0);
    EXPECT_TRUE(S_ISCHR(device.st_mode));
    EXPECT_EQ(folder.files(), "k3.txt\n");
}
