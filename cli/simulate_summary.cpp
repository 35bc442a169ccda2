#include "cli/simulate_summary.h"

#include <vector>

#include "cli/number_text.h"
#include "cli/output.h"
#include "cli/terminal_progress.h"
#include "model/studies/replicate_summary.h"
#include "model/studies/simulation.h"
#include "model/support/work_progress.h"
#include "model/text/network_input.h"

namespace {

void writeSummaryCsv(Output& out, const SimulateOptions& options, const std::vector<ChanceInterval>& intervals) {
    std::string text = "node,chance,low,high,replicates\n";
    for (size_t node = 0; node < intervals.size(); ++node) {
        text += std::to_string(node);
        for (const double value : {intervals[node].chance, intervals[node].low, intervals[node].high}) {
            text += ",";
            appendNumber(text, value);
        }
        text += "," + std::to_string(options.replicates) + "\n";
        out.writeWhenLarge(text);
    }
    out.stream() << text;
}

void writeSummaryJson(Output& out, const SimulateOptions& options, const RunStart& start,
                      const std::vector<ChanceInterval>& intervals) {
    nlohmann::ordered_json document;
    document["nodes"] = intervals.size();
    document["steps"] = options.steps;
    document["seed"] = options.seed;
    document["replicates"] = options.replicates;
    document["from"] = startJson(start);
    document["confidence"] = options.confidence;
    document["rows"] = nlohmann::ordered_json::array();
    for (size_t node = 0; node < intervals.size(); ++node) {
        nlohmann::ordered_json row;
        row["node"] = node;
        row["chance"] = intervals[node].chance;
        row["low"] = intervals[node].low;
        row["high"] = intervals[node].high;
        row["replicates"] = options.replicates;
        document["rows"].push_back(row);
    }
    out.stream() << document.dump() << "\n";
}

}  // namespace

void runSimulateSummary(const SimulateOptions& options) {
    checkReplicateSeeds(options.seed, options.replicates, "--seed");
    checkSummaryOptions(options);
    OutputSet outputs;
    Output& out = outputs.add("--output", options.output);
    const NetworkInput input = readNetworkInput(options.network);
    const RunStart start = parseRunStart(options.from, input.network);

    WorkProgress progress;
    progress.begin("simulating", static_cast<long long>(options.replicates) * options.steps);
    std::vector<ChanceInterval> intervals;
    {
        TerminalProgress display(progress);
        intervals = summarizeReplicates(input.network, start, options.seed, options.replicates, options.steps,
                                        options.jobs, options.confidence, &progress);
    }
    if (options.format == "json")
        writeSummaryJson(out, options, start, intervals);
    else
        writeSummaryCsv(out, options, intervals);
    outputs.commit();
}
