#include <benchmark/benchmark.h>

#include <algorithm>
#include <fstream>
#include <iostream>
#include <streambuf>

#include "analysis_oracle.h"
#include "test_support.h"

// Analyses of networks whose weights are not binary fractions, so that no
// table entry is accidentally exact. The report goes to /dev/null through a
// real file stream (every number is formatted and every line flushed), and
// the progress lines to a discarding std::cout.

namespace {

class NullBuffer : public std::streambuf {
protected:
    int overflow(int c) override { return c; }
    std::streamsize xsputn(const char*, std::streamsize count) override { return count; }
};

class QuietCout {
public:
    QuietCout() : saved_(std::cout.rdbuf(&sink_)) {}
    ~QuietCout() { std::cout.rdbuf(saved_); }

private:
    NullBuffer sink_;
    std::streambuf* saved_;
};

void setUneven(Network& network) {
    const double alpha[] = {0.7, 0.85, 0.6, 0.9, 0.75, 0.65, 0.8};
    const double beta[] = {0.8, 0.65, 0.9, 0.7, 0.55, 0.95, 0.6};
    const double gamma[] = {0.3, 0.7, 0.45, 0.2, 0.9, 0.35, 0.6};
    for (int i = 0; i < network.nodeCount; ++i) {
        network.params[Network::Alpha][i] = alpha[i % 7];
        network.params[Network::Beta][i] = beta[i % 7];
        network.params[Network::Gamma][i] = gamma[i % 7];
    }
}

void makeComplete(Network& network, int nodes) {
    network.resize(nodes);
    for (int i = 0; i < nodes; ++i)
        for (int j = 0; j < nodes; ++j) network.links[i][j] = i != j;
    setUneven(network);
}

void makeRing(Network& network, int nodes) {
    network.resize(nodes);
    for (int i = 0; i < nodes; ++i)
        for (int j = 0; j < nodes; ++j) network.links[i][j] = (j == (i + 1) % nodes || i == (j + 1) % nodes);
    setUneven(network);
}

// Every probability 1.0, the start-up values: many certain transitions,
// marked configurations, and power rows that must be followed.
void makeCompleteCertain(Network& network, int nodes) {
    makeComplete(network, nodes);
    for (auto& values : network.params) std::fill(values.begin(), values.end(), 1.0);
}

template <typename Run>
void analyse(benchmark::State& state, void (*make)(Network&, int), int nodes, unsigned options, Run run) {
    NetworkFixture f;
    make(f.network, nodes);
    QuietCout quiet;
    std::ofstream out("/dev/null");
    for (auto _ : state) run(f.network, out, options);
}

void product(const Network& network, std::ostream& out, unsigned options) { network.analyze(out, options, 16, 16); }
void literal(const Network& network, std::ostream& out, unsigned options) {
    oracle::analyze(network, out, options, 16, 16);
}

void BM_AnalyzeComplete5(benchmark::State& state) { analyse(state, makeComplete, 5, 31, product); }
void BM_LiteralComplete5(benchmark::State& state) { analyse(state, makeComplete, 5, 31, literal); }
void BM_AnalyzeComplete5Certain(benchmark::State& state) { analyse(state, makeCompleteCertain, 5, 31, product); }
void BM_LiteralComplete5Certain(benchmark::State& state) { analyse(state, makeCompleteCertain, 5, 31, literal); }
void BM_AnalyzeComplete6NoTransitionTable(benchmark::State& state) { analyse(state, makeComplete, 6, 29, product); }
void BM_AnalyzeRing14NoTransitionTable(benchmark::State& state) { analyse(state, makeRing, 14, 29, product); }

}  // namespace

BENCHMARK(BM_AnalyzeComplete5)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_LiteralComplete5)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_AnalyzeComplete5Certain)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LiteralComplete5Certain)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_AnalyzeComplete6NoTransitionTable)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_AnalyzeRing14NoTransitionTable)->Unit(benchmark::kMillisecond)->Iterations(1);
