#pragma once

#include <pybind11/pybind11.h>

#include <optional>

#include "python_network.h"

// Sampled runs as a dict of numpy columns: replicate, seed, step, node,
// successes and chance, one row per node and snapshot, replicates in order.
pybind11::dict simulateRuns(const PythonNetwork& network, long long steps, std::optional<long long> every,
                            long long seed, long long replicates, long long jobs, const pybind11::object& progress);

// The success curve at every point of the grid `vary` spans, as a dict of
// numpy columns: one per varied parameter, named as given, then step and
// success, one row per point and step, the first parameter varying slowest.
pybind11::dict sweepTable(const PythonNetwork& network, const pybind11::dict& vary, long long horizon,
                          long long jobs, long long maxConfigurations, const pybind11::object& progress);
