#pragma once

#include <string>
#include <vector>

#include "model/network.h"

class WorkProgress;

// One varied parameter: alpha, beta or gamma of every node, or of one node
// ("alpha[2]"), over a list of values.
struct SweepAxis {
    std::string name;  // as written
    int parameter = 0;
    int node = -1;  // -1 for every node
    std::vector<double> values;
};

// NAME=FROM:TO:STEP (FROM + k x STEP for k = 0, 1, ... while not above TO) or
// NAME=V1,V2,... Throws CliError when it is malformed.
SweepAxis parseSweepAxis(const std::string& vary);

// The cross product of the axes, the first varying slowest.
class SweepGrid {
public:
    explicit SweepGrid(std::vector<SweepAxis> axes);

    const std::vector<SweepAxis>& axes() const { return axes_; }
    long long pointCount() const { return pointCount_; }
    // The value of each axis at a point.
    std::vector<double> valuesAt(long long point) const;
    // The network with the point's values set, later axes over earlier ones.
    void apply(long long point, NetworkModel& network) const;
    // Throws CliError when an axis names a node the network does not have.
    void checkNodes(int nodeCount) const;

private:
    std::vector<SweepAxis> axes_;
    long long pointCount_ = 1;
};

// The K-th of N contiguous blocks of a sweep's points, from "K/N".
struct Shard {
    long long index = 1;
    long long count = 1;

    long long begin(long long points) const { return points * (index - 1) / count; }
    long long end(long long points) const { return points * index / count; }
};

// Throws CliError for anything but K/N with 1 <= K <= N.
Shard parseShard(const std::string& text);

// The success curves of points first .. first + count - 1 of the grid, for
// a network of `configurations` configurations: points side by side on the
// jobs when they are small, each point on all jobs when they are large. The
// curves are the same for any number of jobs.
std::vector<std::vector<double>> sweepCurves(const NetworkModel& network, const SweepGrid& grid, long long first,
                                             long long count, int configurations, int horizon, int jobs,
                                             WorkProgress* progress = nullptr);

// The most points a sweep may have.
constexpr long long MaxSweepPoints = 10000000;
