#include <array>
#include <algorithm>
#include <climits>
#include <cmath>
#include <iterator>
#include <memory>
#include <nlohmann/json.hpp>

#include "cli/chart_options.h"
#include "cli/cli_error.h"
#include "cli/commands.h"
#include "cli/long_run_options.h"
#include "cli/number_text.h"
#include "cli/option_values.h"
#include "cli/rates_sweep.h"
#include "cli/output.h"
#include "cli/simulate_summary.h"
#include "cli/svg_chart.h"
#include "cli/sweep_grid.h"
#include "cli/terminal_progress.h"
#include "model/long_run/success_curves.h"
#include "model/studies/simulation.h"
#include "model/support/parallel.h"
#include "model/support/work_progress.h"

namespace {

// ---- simulate

// The rows of one snapshot, in the chosen format; `first` for the first
// snapshot of all, whose first JSON row needs no separator.
void appendSnapshotRows(std::string& text, const SimulateOptions& options, int replicate, const RunSnapshot& snapshot,
                        bool first) {
    const unsigned seed = options.seed + static_cast<unsigned>(replicate);
    for (size_t node = 0; node < snapshot.successes.size(); ++node) {
        const double chance = static_cast<double>(snapshot.successes[node]) / snapshot.step;
        if (options.format == "json") {
            nlohmann::ordered_json row;
            row["replicate"] = replicate;
            row["seed"] = seed;
            row["step"] = snapshot.step;
            row["node"] = node;
            row["successes"] = snapshot.successes[node];
            row["chance"] = chance;
            text += (first && node == 0 ? "" : ",") + row.dump();
            continue;
        }
        text += std::to_string(replicate) + "," + std::to_string(seed) + "," + std::to_string(snapshot.step) + "," +
                std::to_string(node) + "," + std::to_string(snapshot.successes[node]) + ",";
        appendNumber(text, chance);
        text += "\n";
    }
}

// Rows kept in memory for a batch of replicates run side by side; beyond
// that, replicates run one by one and their rows go out as they are taken.
constexpr unsigned long long RowsPerBatch = 1 << 22;

void runSimulate(const SimulateOptions& options) {
    if (options.summary) return runSimulateSummary(options);
    checkReplicateSeeds(options.seed, options.replicates, "--seed");
    OutputSet outputs;
    Output& out = outputs.add("--output", options.output);
    const NetworkInput input = readNetworkInput(options.network);
    const RunStart start = parseRunStart(options.from, input.network);
    const bool json = options.format == "json";
    if (json) {
        nlohmann::ordered_json head;
        head["nodes"] = input.network.nodeCount;
        head["steps"] = options.steps;
        head["every"] = options.every;
        head["seed"] = options.seed;
        head["replicates"] = options.replicates;
        head["from"] = startJson(start);
        std::string text = head.dump();
        text.pop_back();
        out.stream() << text << ",\"rows\":[";
    } else {
        out.stream() << "replicate,seed,step,node,successes,chance\n";
    }

    // Replicates run a batch at a time and are written in order, so memory
    // stays bounded whatever their number.
    WorkProgress progress;
    progress.begin("simulating", static_cast<long long>(options.replicates) * options.steps);
    TerminalProgress display(progress);
    const unsigned long long rowsPerReplicate =
        static_cast<unsigned long long>(snapshotCount(options.steps, options.every)) * input.network.nodeCount;
    const int batch = replicateBatch(rowsPerReplicate, options.jobs, RowsPerBatch);
    std::vector<std::string> texts(static_cast<size_t>(batch));
    std::vector<char> started(static_cast<size_t>(batch), 0);
    simulateReplicates(
        input.network, start, options.seed, options.replicates, options.steps, options.every, batch, options.jobs,
        [&](int replicate, const RunSnapshot& snapshot) {
            const size_t slot = static_cast<size_t>(replicate % batch);
            appendSnapshotRows(texts[slot], options, replicate, snapshot, replicate == 0 && !started[slot]);
            started[slot] = 1;
            if (batch == 1) out.writeWhenLarge(texts[slot]);
        },
        [&](int, int count) {
            for (int k = 0; k < count; ++k) {
                out.stream() << texts[k];
                texts[k] = std::string();
                started[k] = 0;
            }
            out.check();
        },
        &progress);
    if (json) out.stream() << "]}\n";
    outputs.commit();
}

// ---- sweep

struct SweepOptions {
    std::string network;
    std::vector<std::string> vary;
    int horizon = 16;
    std::string shard = "1/1";
    std::string format;
    std::string output;
    std::string plot;
    std::string measure = "curve";
    LongRunTextOptions longRun;
    ChainOptions chain;
    ChartOptions chart;
    // The options given, to refuse those its measure does not take.
    std::vector<std::string> given;
};

// An option given for a measure it does not apply to is a bad command line,
// not something to ignore.
void checkOptionsApply(const SweepOptions& options) {
    struct Applies {
        const char* option;
        std::vector<std::string> measures;
        const char* said;
    };
    const Applies options_[] = {
        {"--horizon", {"curve"}, "curve"},
        {"--precision", {"limit", "mean-steps", "rates"}, "limit, mean-steps or rates"},
        {"--max-iterations", {"limit", "mean-steps", "rates"}, "limit, mean-steps or rates"},
        {"--direct", {"limit", "mean-steps"}, "limit or mean-steps"},
    };
    for (const Applies& rule : options_) {
        const bool given = std::find(options.given.begin(), options.given.end(), rule.option) != options.given.end();
        const bool applies =
            std::find(rule.measures.begin(), rule.measures.end(), options.measure) != rule.measures.end();
        if (given && !applies)
            throw CliError(ExitBadInput, std::string(rule.option) + " applies to --measure " + rule.said + " only");
    }
}

void writeSweepCsv(Output& out, const SweepGrid& grid, const Shard& shard, long long first,
                   const std::vector<std::vector<double>>& curves) {
    std::string text;
    if (shard.index == 1) {
        for (const auto& axis : grid.axes()) text += axis.name + ",";
        text += "step,success\n";
    }
    for (size_t k = 0; k < curves.size(); ++k) {
        std::string values;
        for (const double value : grid.valuesAt(first + static_cast<long long>(k))) {
            appendNumber(values, value);
            values += ",";
        }
        for (size_t p = 0; p < curves[k].size(); ++p) {
            text += values + std::to_string(p) + ",";
            appendNumber(text, curves[k][p]);
            text += "\n";
        }
        out.writeWhenLarge(text);
    }
    out.stream() << text;
}

void writeSweepJson(Output& out, const NetworkInput& input, int configurations, const SweepOptions& options,
                    const SweepGrid& grid, long long first, const std::vector<std::vector<double>>& curves) {
    nlohmann::ordered_json document;
    document["chain"] = chainRulesName(options.chain.rules);
    document["nodes"] = input.network.nodeCount;
    document["configurations"] = configurations;
    document["horizon"] = options.horizon;
    document["parameters"] = nlohmann::json::array();
    for (const auto& axis : grid.axes()) document["parameters"].push_back(axis.name);
    document["points"] = nlohmann::json::array();
    if (options.shard != "1/1") document["shard"] = options.shard;
    std::string text = document.dump();
    const size_t points = text.rfind("\"points\":[]");
    out.stream() << text.substr(0, points) << "\"points\":[";
    for (size_t k = 0; k < curves.size(); ++k) {
        nlohmann::ordered_json point;
        const std::vector<double> values = grid.valuesAt(first + static_cast<long long>(k));
        for (size_t a = 0; a < values.size(); ++a) point[grid.axes()[a].name] = values[a];
        point["success"] = curves[k];
        out.stream() << (k ? "," : "") << point.dump();
    }
    out.stream() << text.substr(points + std::string("\"points\":[").size()) << "\n";
}

// The chart's curve of a point: one per value of the second varied parameter,
// started when that value first comes, or the network's one curve.
ChartSeries& seriesOfPoint(LineChart& chart, std::vector<double>& seriesValues, const std::vector<SweepAxis>& axes,
                           const std::vector<double>& values, const std::string& network) {
    const double key = values.size() > 1 ? values[1] : 0.0;
    auto found = std::find(seriesValues.begin(), seriesValues.end(), key);
    if (found == seriesValues.end()) {
        seriesValues.push_back(key);
        chart.series.push_back(ChartSeries{axes.size() > 1 ? axes[1].name + " = " + numberText(key) : network, {}, {}});
        found = seriesValues.end() - 1;
    }
    return chart.series[static_cast<size_t>(found - seriesValues.begin())];
}

// Success after the last step against the first axis, a curve per value of
// the second.
LineChart sweepChart(const NetworkInput& input, const SweepOptions& options, const SweepGrid& grid, long long first,
                     const std::vector<std::vector<double>>& curves) {
    const auto& axes = grid.axes();
    const std::string network = legendLabels({input.path})[0];
    LineChart chart{"Weight in S configurations after step " + std::to_string(options.horizon) + ", " + network,
                    axes[0].name, "weight in S configurations", {}};
    std::vector<double> seriesValues;
    for (size_t k = 0; k < curves.size(); ++k) {
        const std::vector<double> values = grid.valuesAt(first + static_cast<long long>(k));
        ChartSeries& series = seriesOfPoint(chart, seriesValues, axes, values, network);
        series.x.push_back(values[0]);
        series.y.push_back(curves[k].back());
    }
    return chart;
}

std::vector<double> lastSteps(const std::vector<std::vector<double>>& curves) {
    std::vector<double> values;
    for (const auto& curve : curves) values.push_back(curve.back());
    return values;
}

std::array<double, LongRunColumnCount> longRunValues(const LongRunFigures& figures) {
    return longRunColumnValues(figures.limit, figures.meanSteps, figures.meanStepsIfReached);
}

void writeLongRunCsv(Output& out, const SweepGrid& grid, const Shard& shard, long long first,
                     const std::vector<LongRunFigures>& figures) {
    std::string text;
    if (shard.index == 1) {
        for (const auto& axis : grid.axes()) text += axis.name + ",";
        for (const char* column : LongRunColumns)
            text += std::string(column) + (column == LongRunColumns[LongRunColumnCount - 1] ? "\n" : ",");
    }
    for (size_t k = 0; k < figures.size(); ++k) {
        for (const double value : grid.valuesAt(first + static_cast<long long>(k))) {
            appendNumber(text, value);
            text += ",";
        }
        const auto values = longRunValues(figures[k]);
        for (size_t c = 0; c < values.size(); ++c) {
            appendNumber(text, values[c]);
            text += c + 1 < values.size() ? "," : "\n";
        }
        out.writeWhenLarge(text);
    }
    out.stream() << text;
}

void writeLongRunJson(Output& out, const NetworkInput& input, int configurations, const SweepOptions& options,
                      double precision, const SweepGrid& grid, long long first,
                      const std::vector<LongRunFigures>& figures) {
    nlohmann::ordered_json document;
    document["chain"] = chainRulesName(options.chain.rules);
    document["nodes"] = input.network.nodeCount;
    document["configurations"] = configurations;
    document["measure"] = options.measure;
    document["precision"] = precision;
    document["parameters"] = nlohmann::json::array();
    for (const auto& axis : grid.axes()) document["parameters"].push_back(axis.name);
    if (options.shard != "1/1") document["shard"] = options.shard;
    document["points"] = nlohmann::json::array();
    // The points go out one by one: a document of them all would take
    // several times their memory.
    const std::string text = document.dump();
    const size_t points = text.rfind("\"points\":[]");
    out.stream() << text.substr(0, points) << "\"points\":[";
    for (size_t k = 0; k < figures.size(); ++k) {
        nlohmann::ordered_json point;
        const std::vector<double> values = grid.valuesAt(first + static_cast<long long>(k));
        for (size_t a = 0; a < values.size(); ++a) point[grid.axes()[a].name] = values[a];
        const auto figureValues = longRunValues(figures[k]);
        for (size_t c = 0; c < figureValues.size(); ++c) point[LongRunColumns[c]] = numberJson(figureValues[c]);
        out.stream() << (k ? "," : "") << point.dump();
    }
    out.stream() << text.substr(points + std::string("\"points\":[").size()) << "\n";
}

// The figure a chart of the measure draws; where S is never reached, the
// mean steps are no time at all: none.
const BoundedFigure* drawnFigure(const SweepOptions& options, const LongRunFigures& figures) {
    if (options.measure == "limit") return &figures.limit;
    return figures.limit.value > 0.0 ? &figures.meanSteps : nullptr;
}

std::vector<double> drawnValues(const SweepOptions& options, const std::vector<LongRunFigures>& figures) {
    std::vector<double> values;
    for (const auto& point : figures) {
        const BoundedFigure* figure = drawnFigure(options, point);
        values.push_back(figure ? figure->value : NAN);
    }
    return values;
}

// The measure against the first axis, a curve per value of the second, its
// interval as a band.
LineChart longRunChart(const NetworkInput& input, const SweepOptions& options, const SweepGrid& grid, long long first,
                       const std::vector<LongRunFigures>& figures) {
    const bool limit = options.measure == "limit";
    const auto& axes = grid.axes();
    const std::string network = legendLabels({input.path})[0];
    LineChart chart{(limit ? "Limit of the weight in S configurations, " : "Mean steps until S, ") + network,
                    axes[0].name, limit ? "limit" : "mean steps", {}};
    std::vector<double> seriesValues;
    std::vector<bool> gaps;
    for (size_t k = 0; k < figures.size(); ++k) {
        const std::vector<double> values = grid.valuesAt(first + static_cast<long long>(k));
        ChartSeries& series = seriesOfPoint(chart, seriesValues, axes, values, network);
        gaps.resize(chart.series.size());
        const BoundedFigure* figure = drawnFigure(options, figures[k]);
        const size_t index = static_cast<size_t>(&series - chart.series.data());
        gaps[index] = gaps[index] || !figure;
        series.x.push_back(values[0]);
        series.y.push_back(figure ? figure->value : NAN);
        series.low.push_back(figure ? figure->low : NAN);
        series.high.push_back(figure ? figure->high : NAN);
    }
    for (size_t s = 0; s < chart.series.size(); ++s)
        if (gaps[s]) chart.series[s].label += " (gaps: S never reached)";
    return chart;
}

// What a plot takes for each point: its `values` in the chart's series and
// their coordinates in the picture's text. Tables go out as they are
// written, a megabyte at a time.
double plotBytesPerPoint(const Output* plot, int values) {
    constexpr double CoordinateBytes = 24;
    return plot ? values * (sizeof(double) + CoordinateBytes) : 0.0;
}

void runLongRunSweep(const SweepOptions& options, const SweepGrid& grid, const Shard& shard, const NetworkInput& input,
                     int configurations, OutputSet& outputs, Output& out, Output* plot) {
    const LongRunOptions longRun = parseLongRunOptions(options.longRun, options.chain.jobs);
    const long long first = shard.begin(grid.pointCount());
    const long long count = shard.end(grid.pointCount()) - first;
    WorkProgress progress;
    progress.begin("sweeping", count);
    std::vector<LongRunFigures> figures;
    {
        TerminalProgress display(progress);
        try {
            figures = sweepLongRun(options.chain.rules, input.network, grid, first, count, configurations, longRun,
                                   &progress, chainLimits(input, options.chain), plotBytesPerPoint(plot, 4));
        } catch (const LongRunCapReached& e) {
            throw CliError(ExitFailure, locationOf(input.name) + e.what());
        }
    }
    if (options.format == "json")
        writeLongRunJson(out, input, configurations, options, longRun.precision, grid, first, figures);
    else
        writeLongRunCsv(out, grid, shard, first, figures);
    if (plot)
        plot->stream() << sweepChartSvg(options.chart, longRunChart(input, options, grid, first, figures), grid, first,
                                        drawnValues(options, figures), "S never reached");
    outputs.commit();
}

void runSweep(const SweepOptions& options) {
    if (options.vary.empty()) throw CliError(ExitBadInput, "--vary is needed at least once");
    checkOptionsApply(options);
    std::vector<SweepAxis> axes;
    for (const auto& text : options.vary) axes.push_back(parseSweepAxis(text));
    const SweepGrid grid(std::move(axes));
    const Shard shard = parseShard(options.shard);
    checkSweepChart(options.chart, grid.axes().size(), options.measure);
    if (!options.plot.empty() && grid.axes().size() > 2)
        throw CliError(ExitBadInput, "--plot draws sweeps of one or two --vary options");
    if (options.measure != "curve" && options.measure != "rates") parseLongRunOptions(options.longRun, options.chain.jobs);
    OutputSet outputs;
    Output& out = outputs.add("--output", options.output);
    Output* plot = options.plot.empty() ? nullptr : &outputs.add("--plot", options.plot);
    const NetworkInput input = readNetworkInput(options.network);
    checkSweepNodes(grid, input.network.nodeCount);
    const int configurations = configurationCountWithin(input, options.chain.maxConfigurations);
    if (options.measure == "rates") {
        runRatesSweep({input, grid, shard, configurations, options.chain, precisionNumber(options.longRun),
                       options.longRun.maxIterations, options.format, options.chart},
                      out, plot);
        return outputs.commit();
    }
    if (options.measure != "curve")
        return runLongRunSweep(options, grid, shard, input, configurations, outputs, out, plot);
    checkKeptValues(static_cast<unsigned long long>(shard.end(grid.pointCount()) - shard.begin(grid.pointCount())) *
                        (options.horizon + 1),
                    "the sweep's " + std::to_string(grid.pointCount()) + " points");

    const long long first = shard.begin(grid.pointCount());
    const long long count = shard.end(grid.pointCount()) - first;
    WorkProgress progress;
    progress.begin("sweeping", count);
    std::vector<std::vector<double>> curves;
    {
        TerminalProgress display(progress);
        curves = sweepCurves(options.chain.rules, input.network, grid, first, count, configurations, options.horizon,
                             options.chain.jobs, &progress, chainLimits(input, options.chain), plotBytesPerPoint(plot, 2));
    }
    if (options.format == "json")
        writeSweepJson(out, input, configurations, options, grid, first, curves);
    else
        writeSweepCsv(out, grid, shard, first, curves);
    if (plot)
        plot->stream() << sweepChartSvg(options.chart, sweepChart(input, options, grid, first, curves), grid, first,
                                        lastSteps(curves), "");
    outputs.commit();
}

}  // namespace

CommandRun addSimulateCommand(CLI::App& app) {
    auto options = std::make_shared<SimulateOptions>();
    CLI::App* command = app.add_subcommand(
        "simulate", "sampled runs of the pairing step, from the start state by default: the window's own trajectory");
    command->add_option("--steps", options->steps, "steps to run")->required()->check(CLI::Range(1u, UINT32_MAX));
    command->add_option("--every", options->every, "write the counters every E steps (default: after the last)")
        ->check(CLI::Range(1u, UINT32_MAX));
    command->add_option("--seed", options->seed,
                        "the C library's rand() sequence for this seed; 1, the default, is the window's")
        ->capture_default_str();
    command->add_option("--replicates", options->replicates, "runs with seeds S, S+1, ... on their own generators")
        ->check(CLI::Range(1, MaxReplicates))
        ->capture_default_str();
    addStartAndSummaryOptions(*command, *options);
    addJobsOption(*command, options->jobs);
    addFormatOption(*command, options->format);
    addOutputOption(*command, options->output, "the data file");
    addNetworkArgument(*command, options->network);
    command->footer(
        "Examples:\n"
        "  vorlask-cli simulate --steps 10000 session.txt            # what Return does in a fresh window\n"
        "  vorlask-cli simulate --steps 1000000 --every 1000 --replicates 16 --seed 100 -o runs.csv session.txt\n"
        "  vorlask-cli simulate --steps 100000 --replicates 64 --from uniform --summary ring21.txt");
    return [options] { runSimulate(*options); };
}

CommandRun addSweepCommand(CLI::App& app) {
    auto options = std::make_shared<SweepOptions>();
    CLI::App* command =
        app.add_subcommand("sweep", "the exact success curve at every point of a grid of parameter values");
    command
        ->add_option("--vary", options->vary,
                     "NAME=FROM:TO:STEP or NAME=V1,V2,...; NAME is alpha, beta or gamma of every node, or alpha[i] "
                     "of node i; two give their cross product, the first varying slowest")
        ->required();
    command->add_option("--horizon", options->horizon, "the last step")->check(CLI::Range(0, MaxCurveHorizon))->capture_default_str();
    command->add_option("--shard", options->shard,
                        "compute only the K-th of N blocks of points; the shards' outputs concatenated in order "
                        "are the whole sweep's")
        ->capture_default_str();
    addFormatOption(*command, options->format);
    addOutputOption(*command, options->output, "the data file");
    CLI::Option* plot =
        command
            ->add_option("--plot", options->plot,
                         "SVG chart of the success after the last step, or of the long-run measure")
            ->check(svgFileName(false));
    addPlotKindOption(*command, options->chart, plot);
    addChartOptions(*command, options->chart, plot);
    command
        ->add_option("--measure", options->measure,
                     "curve: the success curve at each point; limit or mean-steps: one row of long-run figures "
                     "with their intervals per point, the chart showing the one named; rates: every node's "
                     "long-run success rate per point from a uniform start")
        ->check(CLI::IsMember({"curve", "limit", "mean-steps", "rates"}))
        ->capture_default_str();
    addLongRunOptions(*command, options->longRun);
    addChainOptions(*command, options->chain);
    addNetworkArgument(*command, options->network);
    command->footer(
        "Examples:\n"
        "  vorlask-cli sweep --vary alpha=0:1:0.025 --plot alpha.svg session.txt\n"
        "  vorlask-cli sweep --vary 'beta[2]=0.25,0.5,1' --vary gamma=0:1:0.1 -o grid.csv session.txt\n"
        "  vorlask-cli sweep --measure mean-steps --vary 'gamma[0]=0.125:0.875:0.025' --plot settling.svg ring12.txt\n"
        "  vorlask-cli sweep --measure limit --vary alpha=0:1:0.05 --vary beta=0:1:0.05 --plot-kind heatmap \\\n"
        "      --plot limit.svg session.txt\n"
        "  vorlask-cli sweep --vary alpha=0:1:0.001 --shard $SLURM_ARRAY_TASK_ID/64 -o part$SLURM_ARRAY_TASK_ID.csv session.txt");
    return [options, command] {
        for (const char* name : {"--horizon", "--precision", "--max-iterations", "--direct"})
            if (command->count(name) > 0) options->given.push_back(name);
        runSweep(*options);
    };
}
