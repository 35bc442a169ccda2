#pragma once

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <cstdint>
#include <string>

#include "model/studies/run_start.h"

class NetworkModel;

// What `simulate` is asked for.
struct SimulateOptions {
    std::string network;
    uint32_t steps = 0;
    uint32_t every = 0;
    unsigned seed = 1;
    int replicates = 1;
    int jobs = 1;
    std::string format;
    std::string output;
    std::string from = "start";
    bool summary = false;
    double confidence = 0.95;
};

// --from, --summary and --confidence.
void addStartAndSummaryOptions(CLI::App& command, SimulateOptions& options);

// CliError (a bad command line) when the summary is asked for with fewer
// than 2 replicates or a confidence outside (0, 1).
void checkSummaryOptions(const SimulateOptions& options);

// --from read against the network: start, uniform or one partner value per
// node; CliError (a bad command line) naming the fault and, for a value that
// is not a neighbour, the node.
RunStart parseRunStart(const std::string& text, const NetworkModel& network);

// The start as the JSON heads record it: "start", "uniform" or the partner values.
nlohmann::ordered_json startJson(const RunStart& start);
