#pragma once

#include <string>

#include "cli/chart_options.h"
#include "cli/command_support.h"
#include "cli/sweep_grid.h"

class Output;

// What `sweep --measure rates` takes beside the grid.
struct RatesSweep {
    const NetworkInput& input;
    const SweepGrid& grid;
    Shard shard;
    int configurations = 0;
    ChainOptions chain;
    double precision = 1e-9;
    long long maxIterations = 1000000;
    std::string format;
    ChartOptions chart = {};
};

// Every node's long-run rates from a uniform start at each point of the
// shard: CSV rows of the axes' values, then node,rate,low,high; JSON points
// with a rates array. `plot`, when given, gets every node's rate against the
// first varied parameter, a curve per node (and per value of a second one),
// its interval as a band, drawn as `sweep.chart` says.
void runRatesSweep(const RatesSweep& sweep, Output& out, Output* plot);
