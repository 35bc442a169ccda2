#pragma once

#include <string>
#include <vector>

#include "model/studies/sweep.h"

// NAME=FROM:TO:STEP (FROM + k x STEP for k = 0, 1, ... while not above TO) or
// NAME=V1,V2,... Throws CliError when it is malformed.
SweepAxis parseSweepAxis(const std::string& vary);

// Throws CliError when an axis names a node the network does not have.
void checkSweepNodes(const SweepGrid& grid, int nodeCount);

// The K-th of N contiguous blocks of a sweep's points, from "K/N".
struct Shard {
    long long index = 1;
    long long count = 1;

    long long begin(long long points) const { return points * (index - 1) / count; }
    long long end(long long points) const { return points * index / count; }
};

// Throws CliError for anything but K/N with 1 <= K <= N.
Shard parseShard(const std::string& text);
