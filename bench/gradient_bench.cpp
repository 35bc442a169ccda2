#include <benchmark/benchmark.h>

#include "bench_networks.h"

#include <vector>

#include "model/chain/markov_chain.h"
#include "model/long_run/long_run.h"
#include "model/network/configurations.h"
#include "model/network/network.h"
#include "model/sensitivity/gradient.h"
#include "model/studies/optimize.h"

// The parameter studies its issue names, in one run: the gradient of the
// mean steps with respect to all 48 parameters of the ring of 16 (every
// alpha and beta 1.0, gamma (1 + i mod 7) / 8) beside one settle and beside
// central differences of settle (two per gamma; alpha and beta sit at 1, where
// the differences are one-sided, two settles each as well); and optimize over
// every gamma of the ring of 12 in docs/examples with 4 starts.
//
//   build/bench/gradient_bench --benchmark_repetitions=3 --benchmark_report_aggregates_only=true

namespace {

NetworkModel ring(int nodes) {
    NetworkModel model = ringLinks(nodes);
    for (int i = 0; i < nodes; ++i) model.params[NetworkModel::Gamma][i] = (1 + i % 7) / 8.0;
    return model;
}

double settleMeanSteps(const NetworkModel& network, const std::vector<bool>* target) {
    const NeighbourLists neighbours = neighbourLists(network);
    const int h = static_cast<int>(configurationCount(neighbours, 1LL << 30));
    const MarkovChain chain = buildMarkovChain(ChainRules::Process, network, neighbours, h, 2);
    LongRunOptions options;
    options.jobs = 2;
    return computeLongRun(chain.transitions, target ? *target : chain.marked, options).meanSteps.value;
}

void BM_SettleRing16(benchmark::State& state) {
    const NetworkModel network = ring(16);
    for (auto _ : state) benchmark::DoNotOptimize(settleMeanSteps(network, nullptr));
}

void BM_GradientRing16(benchmark::State& state) {
    const NetworkModel network = ring(16);
    GradientOptions options;
    options.jobs = 2;
    for (auto _ : state) benchmark::DoNotOptimize(computeGradient(network, options, ChainLimits{}).derivative.data());
}

void BM_CentralDifferencesRing16(benchmark::State& state) {
    const NetworkModel network = ring(16);
    const NeighbourLists neighbours = neighbourLists(network);
    const std::vector<bool> target =
        buildMarkovChain(ChainRules::Process, network, neighbours, 1 << 16, 2).marked;
    for (auto _ : state) {
        double sum = 0.0;
        for (int p = 0; p < 48; ++p) {
            NetworkModel nearby = network;
            double& value = nearby.params[p / 16][p % 16];
            const double at = value;
            value = at < 1.0 ? at + 1e-6 : at - 1e-6;
            sum += settleMeanSteps(nearby, &target);
            value = at < 1.0 ? at - 1e-6 : at - 2e-6;
            sum += settleMeanSteps(nearby, &target);
        }
        benchmark::DoNotOptimize(sum);
    }
}

void BM_OptimizeRing12Gammas(benchmark::State& state) {
    NetworkModel network = ring(12);
    const double gamma[] = {0.125, 0.25, 0.375, 0.5, 0.625, 0.75, 0.875, 0.75, 0.625, 0.5, 0.375, 0.25};
    for (int i = 0; i < 12; ++i) network.params[NetworkModel::Gamma][i] = gamma[i];
    OptimizeOptions options;
    options.starts = 4;
    options.jobs = 2;
    for (int i = 0; i < 12; ++i) options.variables.push_back(sweepAxis("gamma[" + std::to_string(i) + "]", {0.05, 1.0}));
    for (auto _ : state) benchmark::DoNotOptimize(optimize(network, options, ChainLimits{}).figure.value);
}

}  // namespace

BENCHMARK(BM_SettleRing16)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_GradientRing16)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CentralDifferencesRing16)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_OptimizeRing12Gammas)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
