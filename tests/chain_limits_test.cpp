#include <gtest/gtest.h>
#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iostream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "cli_run.h"
#include "model/chain/chain_estimate.h"
#include "model/rules/window_outcomes.h"
#include "model/studies/sweep.h"
#include "model/support/engine_error.h"
#include "model/support/parallel.h"
#include "model/support/system_memory.h"
#include "model/support/work_progress.h"
#include "network_generator.h"

namespace {

NetworkModel ringOf(int count) {
    NetworkModel network;
    network.resize(count);
    const double alpha[] = {0.7, 0.85, 0.6, 0.9, 0.75, 0.65, 0.8};
    for (int i = 0; i < count; ++i) {
        network.links[i][(i + 1) % count] = network.links[(i + 1) % count][i] = 1;
        network.params[NetworkModel::Alpha][i] = alpha[i % 7];
        network.params[NetworkModel::Gamma][i] = alpha[(i + 3) % 7];
    }
    return network;
}

std::string ringBlock(int count) {
    std::string block = "DATA:\n";
    for (int i = 0; i < count; ++i) {
        std::string row(static_cast<size_t>(count), '0');
        row[static_cast<size_t>((i + 1) % count)] = row[static_cast<size_t>((i + count - 1) % count)] = '1';
        block += row + " 0.700 0.800 0.300\n";
    }
    return block;
}

uint64_t bitsOf(double value) {
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

void expectSameRows(const SparseRows& a, const SparseRows& b) {
    ASSERT_EQ(a.rowCount(), b.rowCount());
    ASSERT_EQ(a.entryCount(), b.entryCount());
    for (int l = 0; l <= a.rowCount(); ++l) ASSERT_EQ(a.begin(l), b.begin(l));
    for (size_t k = 0; k < a.entryCount(); ++k) {
        ASSERT_EQ(a.column(k), b.column(k));
        ASSERT_EQ(bitsOf(a.weight(k)), bitsOf(b.weight(k)));
    }
}

}  // namespace

// Small networks are counted row by row, so the estimate is the chain's own
// count; a sampled one comes within a few percent.
TEST(ChainEstimate, CountsSmallNetworksExactlyAndSamplesLargeOnesClosely) {
    NetworkGenerator generator(41);
    for (int trial = 0; trial < 40; ++trial) {
        NetworkModel network;
        generator.fill(network, 2 + trial % 6);
        const NeighbourLists neighbours = neighbourLists(network);
        const int h = static_cast<int>(configurationCount(neighbours, 1 << 20));
        const ChainEstimate estimate = estimateChain(ChainRules::Window, network, neighbours, h, ChainLimits{}, 0.0);
        ASSERT_TRUE(estimate.exact);
        const MarkovChain chain = buildMarkovChain(ChainRules::Window, network, neighbours, h, 1);
        ASSERT_EQ(estimate.transitions, static_cast<double>(chain.transitions.entryCount())) << "trial " << trial;
        EXPECT_LE(estimate.transitions, outcomePathBound(ChainRules::Window, network, neighbours));
    }
    const NetworkModel ring = ringOf(15);
    const NeighbourLists neighbours = neighbourLists(ring);
    ChainLimits tight;
    tight.maxBytes = 1.0;  // leaves the bound in doubt: the large sample
    const ChainEstimate estimate = estimateChain(ChainRules::Window, ring, neighbours, 1 << 15, tight, 0.0);
    EXPECT_FALSE(estimate.exact);
    const double actual = static_cast<double>(buildMarkovChain(ChainRules::Window, ring, neighbours, 1 << 15, 2).transitions.entryCount());
    EXPECT_NEAR(estimate.transitions / actual, 1.0, 0.05);
    EXPECT_FALSE(estimate.keepValues && ring.params[0][0] == 0.5);
}

// Whether the weights will outgrow the table of distinct values is judged
// from the new values the whole sample's later rows still bring, as the
// built rows then find: the ring of 11 repeats its weights across rows,
// though each row's own weights are all distinct.
TEST(ChainEstimate, TheWholeSampleJudgesWhetherWeightsOutgrowTheTable) {
    const NetworkModel ring = ringOf(11);
    const NeighbourLists neighbours = neighbourLists(ring);
    const int h = static_cast<int>(configurationCount(neighbours, 1 << 20));
    ChainLimits tight;
    tight.maxBytes = 1.0;  // the large sample, every row of it
    const ChainEstimate estimate = estimateChain(ChainRules::Window, ring, neighbours, h, tight, 0.0);
    const MarkovChain chain = buildMarkovChain(ChainRules::Window, ring, neighbours, h, 2);
    EXPECT_FALSE(chain.transitions.keepsValues());
    EXPECT_EQ(estimate.keepValues, chain.transitions.keepsValues());
}

// The large sample goes on while its estimate is near the limit, and stops
// early, still close and keeping weights as the rows will, when the estimate
// is far below it: on a ring whose weights overflow the table and on one
// whose few weights fit it.
TEST(ChainEstimate, TheLargeSampleStopsEarlyOnlyFarFromTheLimit) {
    NetworkModel even = ringOf(14);
    for (auto& values : even.params) std::fill(values.begin(), values.end(), 0.5);
    for (const NetworkModel& ring : {ringOf(14), even}) {
        const NeighbourLists neighbours = neighbourLists(ring);
        const int h = 1 << 14;
        const MarkovChain chain = buildMarkovChain(ChainRules::Window, ring, neighbours, h, 2);
        const double actual = static_cast<double>(chain.transitions.entryCount());
        ChainLimits near;
        near.maxBytes = 1.0;
        WorkProgress nearProgress;
        estimateChain(ChainRules::Window, ring, neighbours, h, near, 0.0, &nearProgress);
        ChainLimits far;
        far.maxBytes = 20 * actual * SparseRows::ValueEntryBytes;
        ASSERT_LT(far.maxBytes, outcomePathBound(ChainRules::Window, ring, neighbours) * SparseRows::ValueEntryBytes);
        WorkProgress farProgress;
        const ChainEstimate estimate = estimateChain(ChainRules::Window, ring, neighbours, h, far, 0.0, &farProgress);
        EXPECT_STREQ(farProgress.phase(), "estimating memory");
        EXPECT_LT(farProgress.done() * 8, nearProgress.done());
        EXPECT_FALSE(estimate.exact);
        EXPECT_NEAR(estimate.transitions / actual, 1.0, 0.1);
        EXPECT_EQ(estimate.keepValues, chain.transitions.keepsValues());
    }
}

// The half ring of 18 has few distinct weights, but new ones still come
// often among the first million paths: an early stop must not take that
// rate for the rows' and keep every weight as a value.
TEST(ChainEstimate, AnEarlyStopKeepsWeightsAsTheWholeSampleWould) {
    NetworkModel ring = ringOf(18);
    for (auto& values : ring.params) std::fill(values.begin(), values.end(), 0.5);
    const NeighbourLists neighbours = neighbourLists(ring);
    const int h = 1 << 18;
    ChainLimits near;
    near.maxBytes = 1.0;
    const ChainEstimate whole = estimateChain(ChainRules::Window, ring, neighbours, h, near, 0.0);
    EXPECT_FALSE(whole.keepValues);
    ChainLimits far;
    far.maxBytes = 20 * whole.transitions * SparseRows::ValueEntryBytes;
    WorkProgress progress;
    const ChainEstimate early = estimateChain(ChainRules::Window, ring, neighbours, h, far, 0.0, &progress);
    EXPECT_LT(progress.done(), progress.total());
    EXPECT_EQ(early.keepValues, whole.keepValues);
}

// Chunks sized for any density of rows, a hint to keep values, and a budget
// the rows fit in change no bit; a budget they outgrow stops the build.
TEST(ChainEstimate, BudgetsChangeNoBitUntilTheRowsOutgrowThem) {
    const NetworkModel ring = ringOf(13);
    const NeighbourLists neighbours = neighbourLists(ring);
    const ConfigurationList configurations = listConfigurations(neighbours, 1 << 13);
    const SparseRows plain = computeTransitions(ChainRules::Window, ring, neighbours, configurations, 1).transitions;
    for (const double entriesPerRow : {0.5, 3.0, 300.0, 1e6}) {
        for (const bool keepValues : {false, true}) {
            TransitionBudget budget;
            budget.entriesPerRow = entriesPerRow;
            budget.keepValues = keepValues;
            budget.maxRowBytes = plain.entryCount() * 16 + (1 << 24);
            expectSameRows(plain, computeTransitions(ChainRules::Window, ring, neighbours, configurations, 3, nullptr,
                                                     budget)
                                      .transitions);
        }
    }
    TransitionBudget small;
    small.entriesPerRow = 100;
    small.maxRowBytes = plain.entryCount() * 2;
    try {
        computeTransitions(ChainRules::Window, ring, neighbours, configurations, 2, nullptr, small);
        FAIL() << "rows past their budget were built";
    } catch (const TransitionsPastMemory& e) {
        EXPECT_GT(e.rowsDone(), 0);
        EXPECT_LT(e.rowsDone(), 1 << 13);
        EXPECT_GT(e.bytes(), small.maxRowBytes);
    }
}

// jobsWithin, checkEstimate and the budget worked by hand.
TEST(ChainEstimate, WorkersAndRefusalsFollowTheLimit) {
    ChainEstimate estimate;
    estimate.configurations = 10;
    estimate.transitions = 5.1e9;
    estimate.rowBytes = 100;
    estimate.chainBytes = 50;
    estimate.markingBytes = 20;
    estimate.workerBytes = 10;
    ChainLimits limits;
    limits.name = "ring20.txt: ";
    limits.limitName = "--max-memory";
    limits.maxBytes = 185;  // room for 3.5 workers beside rows and chain
    EXPECT_EQ(jobsWithin(estimate, limits, 8), 3);
    EXPECT_EQ(jobsWithin(estimate, limits, 2), 2);
    EXPECT_EQ(transitionBudget(estimate, limits, 3).maxRowBytes, 185u - 50 - 30);
    EXPECT_NO_THROW(checkEstimate(estimate, limits));
    limits.maxBytes = 175;
    EXPECT_EQ(jobsWithin(estimate, limits, 8), 2);
    EXPECT_EQ(transitionBudget(estimate, limits, 1).maxRowBytes, 175u - 50 - 20);
    EXPECT_NO_THROW(checkEstimate(estimate, limits));
    limits.maxBytes = 170;  // 100 + 50 + max(20, 10) with one worker
    EXPECT_NO_THROW(checkEstimate(estimate, limits));
    limits.maxBytes = 169;
    EXPECT_EQ(jobsWithin(estimate, limits, 8), 1);
    try {
        checkEstimate(estimate, limits);
        FAIL() << "an estimate past the limit passed";
    } catch (const EngineError& e) {
        EXPECT_EQ(e.kind(), EngineError::BeyondLimit);
        EXPECT_EQ(std::string(e.what()), "ring20.txt: needs about 170 bytes for 5.1e9 transitions; --max-memory is 169 bytes");
    }
}

TEST(ChainEstimate, SizesAndCountsReadAsWritten) {
    EXPECT_EQ(byteText(1023), "1023 bytes");
    EXPECT_EQ(byteText(1024), "1.0 KB");
    EXPECT_EQ(byteText(61.2 * 1024 * 1024 * 1024), "61.2 GB");
    EXPECT_EQ(byteText(1536.0 * 1024 * 1024 * 1024), "1.5 TB");
    EXPECT_EQ(countText(99999), "99999");
    EXPECT_EQ(countText(5.1e9), "5.1e9");
    EXPECT_EQ(countText(9.96e6), "1.0e7");
    EXPECT_EQ(countText(123456), "1.2e5");

    double bytes = 0;
    EXPECT_TRUE(parseByteSize("1K", bytes));
    EXPECT_EQ(bytes, 1024);
    EXPECT_TRUE(parseByteSize("1.5m", bytes));
    EXPECT_EQ(bytes, 1572864);
    EXPECT_TRUE(parseByteSize("2G", bytes));
    EXPECT_EQ(bytes, 2147483648.0);
    EXPECT_TRUE(parseByteSize("700", bytes));
    EXPECT_EQ(bytes, 700);
    EXPECT_TRUE(parseByteSize(".5K", bytes));
    EXPECT_EQ(bytes, 512);
    EXPECT_TRUE(parseByteSize("1", bytes));
    EXPECT_EQ(bytes, 1);
    for (const char* bad : {"", "0", "K", "1KB", "1.5.2G", "-1G", "1 G", "12X", "0.0M"}) EXPECT_FALSE(parseByteSize(bad, bytes)) << bad;

    // The kernel counts in kibibytes, whatever lines come before or after.
    std::istringstream meminfo("MemTotal:       24576000 kB\nMemFree:          1000 kB\n"
                               "MemAvailable:       2048 kB\nBuffers:            10 kB\n");
    EXPECT_EQ(memAvailableIn(meminfo), 2097152.0);
    std::istringstream without("MemTotal: 100 kB\nMemFree: 50 kB\n");
    EXPECT_EQ(memAvailableIn(without), HUGE_VAL);
    // Other processes change what is available between two readings: the
    // estimate stays within the larger of a reading before and one after.
    std::ifstream before("/proc/meminfo");
    const double availableBefore = memAvailableIn(before);
    const double estimate = availableMemory();
    std::ifstream after("/proc/meminfo");
    EXPECT_LE(estimate, std::max(availableBefore, memAvailableIn(after)));
}

// The default number of jobs is the CPUs the process may run on.
TEST(ChainEstimate, DefaultJobsFollowTheAffinity) {
    cpu_set_t saved;
    ASSERT_EQ(sched_getaffinity(0, sizeof saved, &saved), 0);
    cpu_set_t one;
    CPU_ZERO(&one);
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
        if (!CPU_ISSET(cpu, &saved)) continue;
        CPU_SET(cpu, &one);
        break;
    }
    ASSERT_EQ(sched_setaffinity(0, sizeof one, &one), 0);
    EXPECT_EQ(availableJobs(), 1);
    ASSERT_EQ(sched_setaffinity(0, sizeof saved, &saved), 0);
    EXPECT_EQ(availableJobs(), CPU_COUNT(&saved));
}

// Refusals are one line on standard error and status 3, with nothing on
// standard output and an earlier output file untouched.
TEST(ChainEstimate, CommandsRefuseNetworksBeyondTheirLimitsInOneLine) {
    TestFolder folder;
    const std::string ring = folder.write("ring12.txt", ringBlock(12));
    const std::string kept = folder.write("kept.csv", "earlier\n");
    const std::string keptChart = folder.write("kept.svg", "earlier\n");
    const std::regex memoryLine(
        "vorlask-cli: .*ring12.txt: needs about [0-9.]+ MB for [0-9.]+e[56] transitions; --max-memory is 1.0 MB\n");
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"steps", "--max-memory", "1M", "-o", kept, ring},
             {"plot", "--max-memory", "1M", "-o", keptChart, ring},
             {"sweep", "--max-memory", "1M", "--vary", "gamma=0:1:0.5", "-o", kept, ring}}) {
        const CliOutcome outcome = runCli(args);
        EXPECT_EQ(outcome.status, 3) << args[0];
        EXPECT_TRUE(std::regex_match(outcome.err, memoryLine)) << outcome.err;
        EXPECT_EQ(outcome.out, "");
    }
    EXPECT_EQ(readFile(folder.file("kept.csv")), "earlier\n");
    EXPECT_EQ(readFile(folder.file("kept.svg")), "earlier\n");
    const CliOutcome junk = runCli({"steps", "--max-memory", "12X", ring});
    EXPECT_EQ(junk.status, 2);
    EXPECT_NE(junk.err.find("--max-memory"), std::string::npos);
    // Within the limit, nothing changes.
    const CliOutcome roomy = runCli({"steps", "--max-memory", "1G", ring});
    const CliOutcome unlimited = runCli({"steps", ring});
    EXPECT_EQ(roomy.status, 0);
    EXPECT_EQ(roomy.out, unlimited.out);
}

// A sweep keeps every point's results until it writes them: they count
// against the limit with their vectors' own words, and when they take the
// larger part the refusal names them, before anything is held. Half a
// million points of a curve to step 0 keep 8 bytes each as numbers but
// about 48 as vectors; the long run's figures take some 300 bytes a point.
TEST(ChainEstimate, SweepsCountTheirResultsAgainstTheLimit) {
    const NetworkModel triangle = ringOf(3);
    const SweepGrid grid({sweepAxis("alpha", std::vector<double>(500000, 0.5))});
    ChainLimits limits;
    limits.maxBytes = 16e6;
    limits.name = "triangle.txt: ";
    limits.limitName = "--max-memory";
    const std::regex pointsLine(
        "triangle.txt: needs about [0-9.]+ MB for the results of 500000 sweep points; --max-memory is 15.3 MB");
    for (const bool longRun : {false, true}) {
        try {
            if (longRun)
                sweepLongRun(ChainRules::Window, triangle, grid, 0, grid.pointCount(), 8, LongRunOptions(), nullptr,
                             limits);
            else
                sweepCurves(ChainRules::Window, triangle, grid, 0, grid.pointCount(), 8, 0, 1, nullptr, limits);
            ADD_FAILURE() << "a sweep whose results pass the limit";
        } catch (const EngineError& e) {
            EXPECT_EQ(e.kind(), EngineError::BeyondLimit);
            EXPECT_TRUE(std::regex_match(e.what(), pointsLine)) << e.what();
        }
    }
    // Output that the caller holds per point counts too.
    limits.maxBytes = 64e6;
    EXPECT_EQ(sweepCurves(ChainRules::Window, triangle, grid, 0, 1000, 8, 0, 1, nullptr, limits, 0.0).size(), 1000u);
    EXPECT_THROW(sweepCurves(ChainRules::Window, triangle, grid, 0, grid.pointCount(), 8, 0, 1, nullptr, limits, 100.0),
                 EngineError);
}

// Every row is checked: on networks whose busiest row is not the first,
// the check passes at that row's paths and names it one path below.
TEST(ChainEstimate, PathCheckFindsTheRowPastTheLimit) {
    NetworkGenerator generator(23);
    int checked = 0;
    for (int trial = 0; trial < 200 && checked < 10; ++trial) {
        NetworkModel network;
        generator.fill(network, 4 + trial % 5);
        const NeighbourLists neighbours = neighbourLists(network);
        const int h = static_cast<int>(configurationCount(neighbours, 4000));
        if (h < 0) continue;
        WindowOutcomes enumerator(network, neighbours, h);
        std::vector<int> entries(static_cast<size_t>(network.nodeCount));
        SparseRows rows;
        long long most = 0;
        int busiest = 0;
        for (int source = 0; source < h; ++source) {
            configurationEntries(neighbours, source, entries.data());
            enumerator.enumerateRow(source, entries.data(), rows);
            if (enumerator.pathCount() > most) {
                most = enumerator.pathCount();
                busiest = source;
            }
        }
        if (busiest == 0) continue;
        ++checked;
        EXPECT_NO_THROW(checkOutcomePaths(ChainRules::Window, network, neighbours, h, most));
        try {
            checkOutcomePaths(ChainRules::Window, network, neighbours, h, most - 1);
            ADD_FAILURE() << "a row past the limit passed, trial " << trial;
        } catch (const TooManyOutcomePaths& e) {
            EXPECT_EQ(e.source(), busiest);
            EXPECT_EQ(e.limit(), most - 1);
        }
    }
    EXPECT_EQ(checked, 10);
}

// Rows that outgrow their share tell better than the sample how many there
// are: 1000 entries in the first 10 of 100 rows make about 10 000, and the
// refusal counts their bytes, at least 6 an entry, not the sample's 100.
TEST(ChainEstimate, ARefusalPastTheBudgetProjectsTheRowsBuilt) {
    ChainEstimate estimate;
    estimate.configurations = 100;
    estimate.transitions = 50;
    estimate.rowBytes = 100;
    ChainLimits limits;
    limits.name = "ring.txt: ";
    limits.limitName = "--max-memory";
    limits.maxBytes = 4096;
    try {
        try {
            throw TransitionsPastMemory(10, 1000, 9000);
        } catch (...) {
            refuseAsLimit(estimate, limits);
        }
        FAIL() << "no refusal";
    } catch (const EngineError& e) {
        const std::string message = e.what();
        EXPECT_EQ(e.kind(), EngineError::BeyondLimit);
        EXPECT_EQ(message.rfind("ring.txt: needs about ", 0), 0u) << message;
        EXPECT_NE(message.find(" for 10000 transitions; --max-memory is 4.0 KB"), std::string::npos) << message;
        const double kilobytes = std::stod(message.substr(std::strlen("ring.txt: needs about ")));
        EXPECT_NE(message.find(" KB for "), std::string::npos) << message;
        EXPECT_GE(kilobytes, 6 * 10000 / 1024.0) << message;
    }
}
