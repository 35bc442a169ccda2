#include <benchmark/benchmark.h>

#include "bench_networks.h"

#include "model/chain/markov_chain.h"
#include "model/long_run/long_run.h"
#include "model/network/configurations.h"
#include "model/network/network.h"

// The process's chain beside the window's, built on the same networks in the
// same run: every alpha and beta 1.0 with gamma (1 + i mod 7) / 8 (the ring
// of 16, the complete graph of 8, and settle on the ring), and uneven
// probabilities, every node's different with alpha and beta in (0, 1), where
// the process's rows are denser (the ring of 12, the complete graph of 6).
// The counters give the transitions and the bytes the rows take for each.
//
//   build/bench/chain_rules_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true

namespace {

enum Probabilities { CertainUnevenGamma, Uneven };

void setProbabilities(NetworkModel& network, Probabilities kind) {
    for (int i = 0; i < network.nodeCount; ++i) {
        network.params[NetworkModel::Alpha][i] = kind == Uneven ? (3 + i % 7) / 10.0 + i / 1000.0 : 1.0;
        network.params[NetworkModel::Beta][i] = kind == Uneven ? (9 - i % 5) / 10.0 - i / 1000.0 : 1.0;
        network.params[NetworkModel::Gamma][i] = (1 + i % 7) / 8.0;
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

constexpr int Jobs = 2;

MarkovChain build(ChainRules rules, const NetworkModel& network) {
    const NeighbourLists neighbours = neighbourLists(network);
    const int h = static_cast<int>(configurationCount(neighbours, 1LL << 30));
    return buildMarkovChain(rules, network, neighbours, h, Jobs);
}

void runBuild(benchmark::State& state, const NetworkModel& network) {
    const ChainRules rules = state.range(0) == 0 ? ChainRules::Window : ChainRules::Process;
    size_t transitions = 0;
    size_t bytes = 0;
    for (auto _ : state) {
        const MarkovChain chain = build(rules, network);
        transitions = chain.transitions.entryCount();
        bytes = chain.transitions.memoryBytes();
        benchmark::DoNotOptimize(chain.markedCount);
    }
    state.SetLabel(chainRulesName(rules));
    state.counters["transitions"] = static_cast<double>(transitions);
    state.counters["row bytes"] = static_cast<double>(bytes);
    state.counters["bytes/transition"] = static_cast<double>(bytes) / static_cast<double>(transitions);
}

void BM_BuildRing16Certain(benchmark::State& state) { runBuild(state, ring(16, CertainUnevenGamma)); }
void BM_BuildComplete8Certain(benchmark::State& state) { runBuild(state, complete(8, CertainUnevenGamma)); }
void BM_BuildRing12Uneven(benchmark::State& state) { runBuild(state, ring(12, Uneven)); }
void BM_BuildComplete6Uneven(benchmark::State& state) { runBuild(state, complete(6, Uneven)); }

// What `vorlask-cli settle` computes on the ring of 16.
void BM_SettleRing16Certain(benchmark::State& state) {
    const ChainRules rules = state.range(0) == 0 ? ChainRules::Window : ChainRules::Process;
    const NetworkModel network = ring(16, CertainUnevenGamma);
    LongRunOptions options;
    options.quantiles = {0.5, 0.9, 0.99};
    options.jobs = Jobs;
    for (auto _ : state) {
        const MarkovChain chain = build(rules, network);
        benchmark::DoNotOptimize(computeLongRun(chain.transitions, chain.marked, options).meanSteps.value);
    }
    state.SetLabel(chainRulesName(rules));
}

}  // namespace

BENCHMARK(BM_BuildRing16Certain)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BuildComplete8Certain)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BuildRing12Uneven)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BuildComplete6Uneven)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SettleRing16Certain)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
