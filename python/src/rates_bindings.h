#pragma once

#include <pybind11/pybind11.h>

#include "model/rates/rates.h"
#include "model/studies/sweep.h"
#include "python_network.h"

// The long-run rates as `vorlask-cli rates` gives them, as a dict of numpy
// columns node, rate, low and high; with perConfiguration configuration,
// node, rate, low and high, a row per configuration and node. `start` is
// "uniform" or a sequence of the partners of every node.
pybind11::dict ratesOf(const PythonNetwork& network, const pybind11::object& start, double precision,
                       bool perConfiguration, long long maxIterations, long long jobs, long long maxConfigurations,
                       const pybind11::object& progress);

// The rates at points first .. first + count - 1 of a grid: columns node,
// rate, low and high after the axes' columns, a row per point and node.
void addRateColumns(pybind11::dict& columns, const std::vector<RateFigures>& figures);
std::vector<RateFigures> sweepRatesOf(const PythonNetwork& network, const SweepGrid& grid, long long first,
                                      long long count, double precision, long long maxIterations, int jobs,
                                      int configurations, const pybind11::object& progress);
