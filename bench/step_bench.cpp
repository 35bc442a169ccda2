#include <benchmark/benchmark.h>

#include "test_support.h"

namespace {

// What the Return key does: 10000 steps in a row, here on the largest
// network the window shows, every node linked to every other.
void BM_TenThousandStepsComplete21(benchmark::State& state) {
    NetworkFixture f;
    Network& network = f.network;
    network.resize(21);
    for (int i = 0; i < 21; ++i)
        for (int j = 0; j < 21; ++j) network.links[i][j] = i != j;
    for (int i = 0; i < 21; ++i) {
        network.params[Network::Alpha][i] = 0.5 + i / 50.0;
        network.params[Network::Beta][i] = 0.9 - i / 50.0;
        network.params[Network::Gamma][i] = (i % 4) / 3.0;
    }
    for (auto _ : state) {
        for (int k = 0; k < 10000; ++k) network.step();
        benchmark::DoNotOptimize(network.stepCount);
    }
}

}  // namespace

BENCHMARK(BM_TenThousandStepsComplete21)->Unit(benchmark::kMillisecond);
