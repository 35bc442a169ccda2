#include <benchmark/benchmark.h>

#include "bench_networks.h"

#include "cli/sweep_grid.h"
#include "model/analysis.h"
#include "model/long_run/long_run.h"
#include "model/long_run/success_curves.h"
#include "model/studies/sweep.h"

// The long-run analysis on the networks its issue names: every alpha and
// beta 1.0 and gammas from 1/8 to 7/8, where S exists and settling time is
// the question; beside it, in the same run, the success curve to step 1000
// that it replaces. Each benchmark builds the chain as the command does; the
// argument is the number of jobs.

namespace {

NetworkModel settlingNetwork(int nodes, bool ring) {
    NetworkModel network = ring ? ringLinks(nodes) : completeLinks(nodes);
    for (int i = 0; i < nodes; ++i) network.params[NetworkModel::Gamma][i] = (1 + i % 7) / 8.0;
    return network;
}

MarkovChain chainOf(const NetworkModel& network, int jobs) {
    const NeighbourLists neighbours = neighbourLists(network);
    return buildMarkovChain(ChainRules::Window, network, neighbours, static_cast<int>(configurationCount(neighbours, 1LL << 30)), jobs);
}

// What `vorlask-cli settle` computes, with its default precision and quantiles.
void runSettle(benchmark::State& state, const NetworkModel& network) {
    const int jobs = static_cast<int>(state.range(0));
    LongRunOptions options;
    options.quantiles = {0.5, 0.9, 0.99};
    options.jobs = jobs;
    LongRunFigures figures;
    for (auto _ : state) {
        const MarkovChain chain = chainOf(network, jobs);
        figures = computeLongRun(chain.transitions, chain.marked, options);
        benchmark::DoNotOptimize(figures.limit.value);
    }
    state.counters["configurations"] = figures.configurationCount;
    state.counters["iterations"] = static_cast<double>(figures.iterations);
    state.counters["limit_width"] = figures.limit.high - figures.limit.low;
    state.counters["mean_width"] = figures.meanSteps.high - figures.meanSteps.low;
    state.counters["mean_steps"] = figures.meanSteps.value;
    state.SetLabel(figures.method);
}

// What `vorlask-cli steps --horizon 1000` computes.
void runSteps(benchmark::State& state, const NetworkModel& network, int horizon) {
    const int jobs = static_cast<int>(state.range(0));
    for (auto _ : state) {
        const MarkovChain chain = chainOf(network, jobs);
        const SuccessCurves curves = computeSuccessCurves(chain.transitions, chain.marked, horizon, false, jobs);
        benchmark::DoNotOptimize(curves.average.data());
    }
}

void BM_SettleRing16(benchmark::State& state) { runSettle(state, settlingNetwork(16, true)); }
void BM_StepsRing16Horizon1000(benchmark::State& state) { runSteps(state, settlingNetwork(16, true), 1000); }
void BM_SettleComplete7(benchmark::State& state) { runSettle(state, settlingNetwork(7, false)); }
void BM_SettleComplete8(benchmark::State& state) { runSettle(state, settlingNetwork(8, false)); }

// `sweep --measure mean-steps` of 41 values of one node's gamma on the ring
// of 12.
void BM_SweepMeanStepsRing12(benchmark::State& state) {
    const NetworkModel network = settlingNetwork(12, true);
    const SweepGrid grid({parseSweepAxis("gamma[0]=0.125:0.875:0.01875")});
    LongRunOptions options;
    options.jobs = static_cast<int>(state.range(0));
    long long iterations = 0;
    for (auto _ : state) {
        const std::vector<LongRunFigures> figures =
            sweepLongRun(ChainRules::Window, network, grid, 0, grid.pointCount(), 4096, options);
        iterations = 0;
        for (const auto& point : figures) iterations += point.iterations;
    }
    state.counters["points"] = static_cast<double>(grid.pointCount());
    state.counters["iterations"] = static_cast<double>(iterations);
}

}  // namespace

BENCHMARK(BM_SettleRing16)->Arg(2)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_StepsRing16Horizon1000)->Arg(2)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_SettleComplete7)->Arg(2)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_SettleComplete8)->Arg(2)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_SweepMeanStepsRing12)->Arg(2)->Unit(benchmark::kMillisecond)->Iterations(1);
