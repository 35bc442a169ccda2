#include <benchmark/benchmark.h>

#include "bench_networks.h"

#include "model/network/configurations.h"
#include "model/network/network.h"
#include "model/rates/rates.h"

// `vorlask-cli rates` on the networks its issue names: uneven probabilities
// (every node's different, alpha and beta in (0, 1)) on the ring of 12, the
// complete graph of 6 and the ring of 14, and every alpha and beta 1.0 on
// the ring of 16; two jobs, precision 1e-9.
//
//   build/bench/rates_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true

namespace {

enum Probabilities { Uneven, CertainUnevenGamma };

NetworkModel network(int nodes, bool ring, Probabilities kind) {
    NetworkModel model = ring ? ringLinks(nodes) : completeLinks(nodes);
    for (int i = 0; i < nodes; ++i) {
        model.params[NetworkModel::Alpha][i] = kind == Uneven ? (8 + i % 5) / 16.0 + i / 1024.0 : 1.0;
        model.params[NetworkModel::Beta][i] = kind == Uneven ? (10 + i % 3) / 16.0 - i / 1024.0 : 1.0;
        model.params[NetworkModel::Gamma][i] = (1 + i % 7) / 8.0;
    }
    return model;
}

void runRates(benchmark::State& state, const NetworkModel& model) {
    const NeighbourLists neighbours = neighbourLists(model);
    const int h = static_cast<int>(configurationCount(neighbours, 1LL << 30));
    RateOptions options;
    options.jobs = 2;
    long long iterations = 0;
    for (auto _ : state) {
        const RateFigures figures = ratesWithin(model, neighbours, h, options, ChainLimits{});
        iterations = figures.iterations;
        benchmark::DoNotOptimize(figures.rates.data());
    }
    state.counters["configurations"] = h;
    state.counters["passes"] = static_cast<double>(iterations);
}

void BM_RatesRing12Uneven(benchmark::State& state) { runRates(state, network(12, true, Uneven)); }
void BM_RatesComplete6Uneven(benchmark::State& state) { runRates(state, network(6, false, Uneven)); }
void BM_RatesRing14Uneven(benchmark::State& state) { runRates(state, network(14, true, Uneven)); }
void BM_RatesRing16Certain(benchmark::State& state) { runRates(state, network(16, true, CertainUnevenGamma)); }

}  // namespace

BENCHMARK(BM_RatesRing12Uneven)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RatesComplete6Uneven)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RatesRing14Uneven)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RatesRing16Certain)->Unit(benchmark::kMillisecond)->UseRealTime();
