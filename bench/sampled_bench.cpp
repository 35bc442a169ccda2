#include <benchmark/benchmark.h>

#include "model/network/configurations.h"
#include "model/studies/replicate_summary.h"
#include "model/studies/run_start.h"
#include "model/studies/simulation.h"

// simulate --summary on the network its issue names: 64 replicates of
// 100000 steps from uniform starts on a ring of 21 nodes with uneven
// probabilities, beside the same replicates from the start state without a
// summary as the baseline. The argument is the number of jobs. Run with
// --benchmark_repetitions=3 for medians.

namespace {

NetworkModel unevenRing(int nodes) {
    const double alpha[] = {0.7, 0.85, 0.6, 0.9, 0.75, 0.65, 0.8};
    const double beta[] = {0.8, 0.65, 0.9, 0.7, 0.55, 0.95, 0.6};
    const double gamma[] = {0.3, 0.7, 0.45, 0.2, 0.9, 0.35, 0.6};
    NetworkModel network;
    network.resize(nodes);
    for (int i = 0; i < nodes; ++i) {
        network.links[i][(i + 1) % nodes] = network.links[(i + 1) % nodes][i] = 1;
        network.params[NetworkModel::Alpha][i] = alpha[i % 7];
        network.params[NetworkModel::Beta][i] = beta[i % 7];
        network.params[NetworkModel::Gamma][i] = gamma[i % 7];
    }
    return network;
}

constexpr int Replicates = 64;
constexpr uint32_t Steps = 100000;

void BM_SummaryRing21Uniform(benchmark::State& state) {
    const NetworkModel ring = unevenRing(21);
    const RunStart uniform{RunStart::Uniform, {}};
    for (auto _ : state)
        benchmark::DoNotOptimize(
            summarizeReplicates(ring, uniform, 1, Replicates, Steps, static_cast<int>(state.range(0)), 0.95));
}

void BM_ReplicatesRing21Start(benchmark::State& state) {
    const NetworkModel ring = unevenRing(21);
    const int jobs = static_cast<int>(state.range(0));
    for (auto _ : state) {
        uint64_t successes = 0;
        simulateReplicates(
            ring, RunStart{}, 1, Replicates, Steps, 0, 4 * jobs, jobs, [](int, const RunSnapshot&) {},
            [&](int, int count) { successes += static_cast<uint64_t>(count); });
        benchmark::DoNotOptimize(successes);
    }
}

void BM_UniformStartsComplete21(benchmark::State& state) {
    NetworkModel complete;
    complete.resize(21);
    for (int i = 0; i < 21; ++i)
        for (int j = 0; j < 21; ++j) complete.links[i][j] = i != j;
    const NeighbourLists neighbours = neighbourLists(complete);
    unsigned seed = 1;
    for (auto _ : state) benchmark::DoNotOptimize(uniformConfiguration(neighbours, seed++));
}

}  // namespace

BENCHMARK(BM_ReplicatesRing21Start)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_SummaryRing21Uniform)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_UniformStartsComplete21)->Unit(benchmark::kNanosecond);
