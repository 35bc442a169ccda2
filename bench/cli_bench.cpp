#include <benchmark/benchmark.h>

#include "bench_networks.h"

#include <algorithm>
#include <cstdlib>

#include "cli/sweep_grid.h"
#include "model/analysis.h"
#include "model/chain/chain_estimate.h"
#include "model/chain/marks.h"
#include "model/long_run/success_curves.h"
#include "model/network/seeded_random.h"
#include "model/studies/simulation.h"

// The engine of vorlask-cli on the networks its issue names: complete graphs
// and a ring with uneven probabilities and with every probability 1.0 (many
// certain transitions, long successor chains to mark). The argument is the
// number of jobs where the work is shared out.

namespace {

enum Probabilities { Uneven, Certain, CertainUnevenGamma, Half };

void setProbabilities(NetworkModel& network, Probabilities kind) {
    const double alpha[] = {0.7, 0.85, 0.6, 0.9, 0.75, 0.65, 0.8};
    const double beta[] = {0.8, 0.65, 0.9, 0.7, 0.55, 0.95, 0.6};
    const double gamma[] = {0.3, 0.7, 0.45, 0.2, 0.9, 0.35, 0.6};
    for (int i = 0; i < network.nodeCount; ++i) {
        network.params[NetworkModel::Alpha][i] = kind == Half ? 0.5 : kind == Uneven ? alpha[i % 7] : 1.0;
        network.params[NetworkModel::Beta][i] = kind == Half ? 0.5 : kind == Uneven ? beta[i % 7] : 1.0;
        network.params[NetworkModel::Gamma][i] = kind == Half ? 0.5 : kind == Certain ? 1.0 : gamma[i % 7];
    }
}

NetworkModel complete(int nodes, Probabilities kind) {
    NetworkModel network = completeLinks(nodes);
    setProbabilities(network, kind);
    return network;
}

NetworkModel ring(int nodes, Probabilities kind) {
    NetworkModel network = ringLinks(nodes);
    setProbabilities(network, kind);
    return network;
}

// What `vorlask-cli steps` computes: the chain, then the success curve.
void runSteps(benchmark::State& state, const NetworkModel& network, int horizon) {
    const int jobs = static_cast<int>(state.range(0));
    const NeighbourLists neighbours = neighbourLists(network);
    const int h = static_cast<int>(configurationCount(neighbours, 1LL << 30));
    size_t transitions = 0;
    for (auto _ : state) {
        const MarkovChain chain = buildMarkovChain(ChainRules::Window, network, neighbours, h, jobs);
        const SuccessCurves curves = computeSuccessCurves(chain.transitions, chain.marked, horizon, false, jobs);
        benchmark::DoNotOptimize(curves.average.data());
        transitions = chain.transitions.entryCount();
    }
    state.counters["configurations"] = h;
    state.counters["transitions"] = static_cast<double>(transitions);
    state.counters["transitions/s"] =
        benchmark::Counter(static_cast<double>(transitions), benchmark::Counter::kIsIterationInvariantRate);
}

void BM_StepsComplete5Uneven1000(benchmark::State& state) { runSteps(state, complete(5, Uneven), 1000); }
void BM_StepsComplete7Uneven100(benchmark::State& state) { runSteps(state, complete(7, Uneven), 100); }
void BM_StepsComplete7Certain100(benchmark::State& state) { runSteps(state, complete(7, Certain), 100); }
void BM_StepsComplete7UnevenGamma100(benchmark::State& state) { runSteps(state, complete(7, CertainUnevenGamma), 100); }
void BM_StepsRing16Uneven100(benchmark::State& state) { runSteps(state, ring(16, Uneven), 100); }
void BM_StepsRing16Certain100(benchmark::State& state) { runSteps(state, ring(16, Certain), 100); }
void BM_StepsComplete8Uneven100(benchmark::State& state) { runSteps(state, complete(8, Uneven), 100); }
void BM_StepsComplete8Certain100(benchmark::State& state) { runSteps(state, complete(8, Certain), 100); }

// The chain alone, as `export` builds it before writing and as the Python
// module's Network.chain() builds it before handing it to scipy.
void BM_ChainComplete8Certain(benchmark::State& state) {
    const NetworkModel network = complete(8, Certain);
    const NeighbourLists neighbours = neighbourLists(network);
    for (auto _ : state) {
        const MarkovChain chain = buildMarkovChain(ChainRules::Window, network, neighbours, 5764801, static_cast<int>(state.range(0)));
        benchmark::DoNotOptimize(chain.transitions.entryCount());
    }
}

// The marks alone, on the network with the most certain transitions.
void BM_MarksComplete8Certain(benchmark::State& state) {
    const NetworkModel network = complete(8, Certain);
    const NeighbourLists neighbours = neighbourLists(network);
    const MarkovChain chain = buildMarkovChain(ChainRules::Window, network, neighbours, 5764801, 2);
    const std::vector<int> successor = findSuccessors(chain.transitions);
    for (auto _ : state) benchmark::DoNotOptimize(markConfigurations(chain.configurations, successor));
}

// Every parameter 0.5: few distinct weights, kept as indices into their table.
void BM_StepsRing16Half100(benchmark::State& state) { runSteps(state, ring(16, Half), 100); }

// The curves alone on a chain built once: the kernel reads every row per step.
void BM_CurvesComplete8Certain100(benchmark::State& state) {
    const NetworkModel network = complete(8, CertainUnevenGamma);
    const NeighbourLists neighbours = neighbourLists(network);
    const MarkovChain chain = buildMarkovChain(ChainRules::Window, network, neighbours, 5764801, 2);
    for (auto _ : state)
        benchmark::DoNotOptimize(computeSuccessCurves(chain.transitions, chain.marked, 100, false, 1).average.data());
}

// The estimate a refusal rests on: the large sample of a ring of 20, whose
// chain would take tens of gigabytes, and the row of 20 linked pairs that
// passes the path limit.
void BM_EstimateRing20(benchmark::State& state) {
    const NetworkModel network = ring(20, Uneven);
    const NeighbourLists neighbours = neighbourLists(network);
    ChainLimits limits;
    limits.maxBytes = 1e9;
    for (auto _ : state) benchmark::DoNotOptimize(estimateChain(ChainRules::Window, network, neighbours, 1 << 20, limits, 0.0).transitions);
}

void BM_RefusePairs20(benchmark::State& state) {
    NetworkModel network;
    network.resize(40);
    for (int i = 0; i < 40; i += 2) network.links[i][i + 1] = network.links[i + 1][i] = 1;
    for (auto& values : network.params) std::fill(values.begin(), values.end(), 0.5);
    const NeighbourLists neighbours = neighbourLists(network);
    for (auto _ : state) {
        try {
            estimateChain(ChainRules::Window, network, neighbours, 1, ChainLimits{}, 0.0);
            state.SkipWithError("not refused");
        } catch (const TooManyOutcomePaths&) {
        }
    }
}

// A 41-point sweep of alpha on the five-node complete graph at horizon 16.
void BM_SweepAlphaComplete5(benchmark::State& state) {
    const NetworkModel network = complete(5, CertainUnevenGamma);
    const SweepGrid grid({parseSweepAxis("alpha=0:1:0.025")});
    for (auto _ : state)
        benchmark::DoNotOptimize(sweepCurves(ChainRules::Window, network, grid, 0, grid.pointCount(), 1024, 16, static_cast<int>(state.range(0))));
}

// A million sampled steps of the five-node complete graph on a generator of
// its own.
void BM_SimulateComplete5Million(benchmark::State& state) {
    const NetworkModel network = complete(5, Uneven);
    for (auto _ : state) benchmark::DoNotOptimize(simulateRun(network, 1, 1000000, 0));
}

// What the Return key does on the largest network the window shows, drawing
// from the C library's rand() as the window does, and from a generator of
// its own with the same sequence.
void BM_TenThousandStepsComplete21Rand(benchmark::State& state) {
    NetworkModel network = complete(21, Uneven);
    std::srand(1);
    for (auto _ : state) {
        for (int k = 0; k < 10000; ++k) network.step();
        benchmark::DoNotOptimize(network.stepCount);
    }
}

void BM_TenThousandStepsComplete21Private(benchmark::State& state) {
    NetworkModel network = complete(21, Uneven);
    SeededRandom random(1);
    for (auto _ : state) {
        for (int k = 0; k < 10000; ++k) network.step(random);
        benchmark::DoNotOptimize(network.stepCount);
    }
}

}  // namespace

BENCHMARK(BM_StepsComplete5Uneven1000)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StepsComplete7Uneven100)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StepsComplete7Certain100)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StepsComplete7UnevenGamma100)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StepsRing16Uneven100)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_StepsRing16Certain100)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StepsComplete8Uneven100)->Arg(2)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_StepsComplete8Certain100)->Arg(2)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_StepsRing16Half100)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_CurvesComplete8Certain100)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_EstimateRing20)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_RefusePairs20)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_ChainComplete8Certain)->Arg(2)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_MarksComplete8Certain)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_SweepAlphaComplete5)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SimulateComplete5Million)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TenThousandStepsComplete21Rand)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TenThousandStepsComplete21Private)->Unit(benchmark::kMillisecond);
