#pragma once

#include <pybind11/pybind11.h>

#include <optional>
#include <string>
#include <utility>

#include "long_run_bindings.h"
#include "python_network.h"

// Sampled runs as a dict of numpy columns: replicate, seed, step, node,
// successes and chance, one row per node and snapshot, replicates in order;
// with `summary`, node, chance, low, high and replicates, one row per node.
// `start` is "start", "uniform" or a sequence of partner values.
pybind11::dict simulateRuns(const PythonNetwork& network, long long steps, std::optional<long long> every,
                            long long seed, long long replicates, const pybind11::object& start, bool summary,
                            double confidence, long long jobs, const pybind11::object& progress);

// At every point of the grid `vary` spans, the first parameter varying
// slowest, as a dict of numpy columns, one per varied parameter named as
// given, then for the measure "curve" step and success, a row per point and
// step, and for "limit" or "mean-steps" the nine long-run columns, a row per
// point. Only the points of `shard`, the K-th of N contiguous blocks (K, N),
// as vorlask-cli sweep --shard K/N takes them; every argument is checked
// before any work, also for a shard without points.
pybind11::dict sweepTable(const PythonNetwork& network, ChainRules rules, const pybind11::dict& vary,
                          long long horizon, const std::string& measure, const LongRunArguments& longRun, long long jobs,
                          long long maxConfigurations, std::pair<long long, long long> shard,
                          const pybind11::object& progress);
