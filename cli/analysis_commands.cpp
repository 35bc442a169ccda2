#include <cstdio>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>

#include "cli/chart_options.h"
#include "cli/cli_error.h"
#include "cli/commands.h"
#include "cli/long_run_options.h"
#include "cli/number_text.h"
#include "cli/option_values.h"
#include "cli/output.h"
#include "cli/svg_chart.h"
#include "cli/terminal_progress.h"
#include "model/long_run/success_curves.h"
#include "model/support/work_progress.h"

namespace {

// ---- report

struct ReportOptions {
    std::string network;
    unsigned bits = ReportProgress | ReportTransitions | ReportStepTable | ReportSummary | ReportData;
    int horizon = 16;
    int columns = 16;
};

// What the window refuses, the command refuses too, before it writes
// anything: one line on standard error and a status that says why.
void runReport(const ReportOptions& options) {
    const NetworkInput input = readNetworkInput(options.network);
    checkWindowAnalysis(input.network, input.name, options.horizon, options.columns,
                        {"--horizon", "--columns", "steps and export"});
    checkOutcomePathsOf(input);
    OutputSet outputs;
    outputs.add("--output", "-");
    input.network.analyze(std::cout, options.bits, options.horizon, options.columns);
    outputs.commit();
}

// ---- steps

struct StepsOptions {
    std::string network;
    int horizon = 16;
    bool perConfiguration = false;
    std::string format;
    std::string output;
    ChainOptions chain;
};

void writeStepsCsv(Output& out, const SuccessCurves& curves) {
    std::string text = "step,success\n";
    for (int p = 0; p <= curves.horizon; ++p) {
        text += std::to_string(p) + ",";
        appendNumber(text, curves.average[p]);
        text += "\n";
    }
    out.stream() << text;
}

void writePerConfigurationCsv(Output& out, const MarkovChain& chain, const SuccessCurves& curves) {
    const ConfigurationList& configurations = chain.configurations;
    std::string text = "configuration";
    for (int i = 0; i < configurations.nodeCount; ++i) text += ",node" + std::to_string(i);
    text += ",mark";
    for (int p = 0; p <= curves.horizon; ++p) text += ",p" + std::to_string(p);
    text += "\n";
    for (int l = 0; l < configurations.count; ++l) {
        text += std::to_string(l);
        for (int i = 0; i < configurations.nodeCount; ++i) text += "," + std::to_string(configurations[l][i]);
        text += ",";
        text += markText(chain.marked[l]);
        for (int p = 0; p <= curves.horizon; ++p) {
            text += ",";
            appendNumber(text, curves.value(p, l));
        }
        text += "\n";
        out.writeWhenLarge(text);
    }
    out.stream() << text;
}

void writeStepsJson(Output& out, const MarkovChain& chain, const SuccessCurves& curves, bool perConfiguration) {
    nlohmann::ordered_json head;
    head["chain"] = chainRulesName(chain.rules);
    head["nodes"] = chain.configurations.nodeCount;
    head["configurations"] = chain.configurations.count;
    head["marked"] = chain.markedCount;
    head["horizon"] = curves.horizon;
    head["success"] = curves.average;
    if (!perConfiguration) {
        out.stream() << head.dump() << "\n";
        return;
    }
    writeJsonWithRows(out, head, chain, [&curves](int l, nlohmann::ordered_json& row) {
        for (int p = 0; p <= curves.horizon; ++p) row["p" + std::to_string(p)] = curves.value(p, l);
    });
}

void runSteps(const StepsOptions& options) {
    OutputSet outputs;
    Output& out = outputs.add("--output", options.output);
    const NetworkInput input = readNetworkInput(options.network);
    const int configurations = configurationCountWithin(input, options.chain.maxConfigurations);
    if (options.perConfiguration)
        checkKeptValues(static_cast<unsigned long long>(configurations) * (options.horizon + 1),
                        "--per-configuration with " + std::to_string(configurations) + " configurations");
    WorkProgress progress;
    MarkovChain chain;
    SuccessCurves curves;
    {
        TerminalProgress display(progress);
        const double keptBytes =
            options.perConfiguration ? static_cast<double>(configurations) * (options.horizon + 1) * sizeof(double) : 0.0;
        chain = buildChain(input, options.chain, progress, keptBytes);
        curves = followWithinMemory(input, options.chain, chain.transitions.entryCount(), [&] {
            return computeSuccessCurves(chain.transitions, chain.marked, options.horizon, options.perConfiguration,
                                        options.chain.jobs, &progress);
        });
    }
    if (options.format == "json")
        writeStepsJson(out, chain, curves, options.perConfiguration);
    else if (options.perConfiguration)
        writePerConfigurationCsv(out, chain, curves);
    else
        writeStepsCsv(out, curves);
    outputs.commit();
}

// ---- export

struct ExportOptions {
    std::string network;
    std::string matrix;
    std::string configurations;
    bool matrixGiven = false;
    bool configurationsGiven = false;
    ChainOptions chain;
};

void writeMatrixMarket(Output& out, const NetworkInput& input, const MarkovChain& chain) {
    const SparseRows& rows = chain.transitions;
    const int h = rows.rowCount();
    size_t nonZero = 0;
    for (int l = 0; l < h; ++l) rows.forEachEntry(l, [&](int, double weight) { nonZero += weight != 0.0; });
    std::string text = "%%MatrixMarket matrix coordinate real general\n";
    text += std::string("% one-step transition weights of the ") + chainRulesName(chain.rules) +
            " chain of the network in " + input.name +
            ": row = from, column = to, configurations numbered from 1 in the order of export --configurations\n";
    text += std::to_string(h) + " " + std::to_string(h) + " " + std::to_string(nonZero) + "\n";
    for (int l = 0; l < h; ++l) {
        rows.forEachEntry(l, [&](int column, double weight) {
            if (weight == 0.0) return;
            text += std::to_string(l + 1) + " " + std::to_string(column + 1) + " ";
            appendNumber(text, weight);
            text += "\n";
        });
        out.writeWhenLarge(text);
    }
    out.stream() << text;
}

void writeConfigurationsCsv(Output& out, const MarkovChain& chain) {
    const ConfigurationList& configurations = chain.configurations;
    std::string text = "index";
    for (int i = 0; i < configurations.nodeCount; ++i) text += ",node" + std::to_string(i);
    text += ",mark\n";
    for (int l = 0; l < configurations.count; ++l) {
        text += std::to_string(l);
        for (int i = 0; i < configurations.nodeCount; ++i) text += "," + std::to_string(configurations[l][i]);
        text += ",";
        text += markText(chain.marked[l]);
        text += "\n";
        out.writeWhenLarge(text);
    }
    out.stream() << text;
}

void runExport(ExportOptions options) {
    if (!options.matrixGiven && !options.configurationsGiven) {
        options.matrix = "-";
        options.matrixGiven = true;
    }
    OutputSet outputs;
    Output* matrix = options.matrixGiven ? &outputs.add("--matrix", options.matrix) : nullptr;
    Output* configurations =
        options.configurationsGiven ? &outputs.add("--configurations", options.configurations) : nullptr;
    const NetworkInput input = readNetworkInput(options.network);
    WorkProgress progress;
    MarkovChain chain;
    {
        TerminalProgress display(progress);
        chain = buildChain(input, options.chain, progress);
    }
    if (matrix) writeMatrixMarket(*matrix, input, chain);
    if (configurations) writeConfigurationsCsv(*configurations, chain);
    outputs.commit();
}

// ---- plot

struct PlotOptions {
    std::vector<std::string> networks;
    int horizon = 16;
    std::string title = "Weight in S configurations after each step";
    std::string output;
    bool limit = false;
    LongRunTextOptions longRun;
    ChainOptions chain;
    ChartOptions look;
};

// "ring.txt (mean steps 29.85)": four digits say how fast at a glance.
std::string labelWithMeanSteps(const std::string& label, const LongRunFigures& figures) {
    char digits[32];
    std::snprintf(digits, sizeof digits, "%.4g", figures.meanSteps.value);
    return label + " (mean steps " + digits + ")";
}

void runPlot(const PlotOptions& options) {
    int fromStandardInput = 0;
    for (const auto& path : options.networks) fromStandardInput += path == "-";
    if (fromStandardInput > 1) throw CliError(ExitBadInput, "standard input (-) can be read only once");
    const LongRunOptions longRun = parseLongRunOptions(options.longRun, options.chain.jobs);
    OutputSet outputs;
    Output& out = outputs.add("--output", options.output);
    std::vector<NetworkInput> inputs;
    for (const auto& path : options.networks) inputs.push_back(readNetworkInput(path));

    LineChart chart{options.title, "step", "weight in S configurations", {}};
    const std::vector<std::string> labels = legendLabels(options.networks);
    WorkProgress progress;
    {
        TerminalProgress display(progress);
        for (size_t k = 0; k < inputs.size(); ++k) {
            const MarkovChain chain = buildChain(inputs[k], options.chain, progress);
            const SuccessCurves curves = followWithinMemory(inputs[k], options.chain, chain.transitions.entryCount(), [&] {
                return computeSuccessCurves(chain.transitions, chain.marked, options.horizon, false, options.chain.jobs,
                                            &progress);
            });
            ChartSeries series{labels[k], {}, curves.average};
            for (int p = 0; p <= options.horizon; ++p) series.x.push_back(p);
            if (options.limit) {
                const LongRunFigures figures = computeLongRunOf(
                    inputs[k], chain, withDirectSolveRoom(longRun, chain, options.chain.maxMemory), progress);
                series.level = figures.limit.value;
                series.label = labelWithMeanSteps(series.label, figures);
            }
            chart.series.push_back(std::move(series));
        }
    }
    out.stream() << renderSvg(styledChart(std::move(chart), options.look));
    outputs.commit();
}

}  // namespace

CommandRun addReportCommand(CLI::App& app) {
    auto options = std::make_shared<ReportOptions>();
    CLI::App* command = app.add_subcommand(
        "report", "the exact analysis report, byte for byte what the window writes for the A key");
    command->add_option("--options", options->bits,
                        "report pieces: 1 progress, 2 transitions, 4 step table, 8 summary, 16 DATA block")
        ->check(CLI::Range(0u, 31u))
        ->capture_default_str();
    command->add_option("--horizon", options->horizon, "steps the step table covers, 1 to 32")->capture_default_str();
    command->add_option("--columns", options->columns, "destination configurations per block of the transition table")
        ->capture_default_str();
    addNetworkArgument(*command, options->network);
    command->footer("Example:\n  vorlask-cli report --options 8 session.txt   # the summary line alone");
    return [options] { runReport(*options); };
}

CommandRun addStepsCommand(CLI::App& app) {
    auto options = std::make_shared<StepsOptions>();
    CLI::App* command = app.add_subcommand(
        "steps", "the weight of being in an S configuration after 0 to H steps, averaged over all configurations");
    command->add_option("--horizon", options->horizon, "the last step, up to 100000")
        ->check(CLI::Range(0, MaxCurveHorizon))
        ->capture_default_str();
    addTableOptions(*command, options->perConfiguration, options->format, options->output, options->chain,
                    options->network);
    command->footer(
        "Examples:\n"
        "  vorlask-cli steps --horizon 100 ring16.txt\n"
        "  vorlask-cli steps --per-configuration --format json -o steps.json session.txt");
    return [options] { runSteps(*options); };
}

CommandRun addExportCommand(CLI::App& app) {
    auto options = std::make_shared<ExportOptions>();
    CLI::App* command = app.add_subcommand(
        "export", "the one-step transition weights as a Matrix Market file and the configurations as CSV");
    command
        ->add_option("--matrix", options->matrix,
                     "Matrix Market file of the weights (- for standard output, the default when neither "
                     "file is named)")
        ->check(FileName)
        ->each([options](const std::string&) { options->matrixGiven = true; });
    command
        ->add_option("--configurations", options->configurations,
                     "CSV file of the configurations: index, partner of each node, mark")
        ->check(FileName)
        ->each([options](const std::string&) { options->configurationsGiven = true; });
    addChainOptions(*command, options->chain);
    addNetworkArgument(*command, options->network);
    command->footer(
        "Example:\n"
        "  vorlask-cli export --matrix chain.mtx --configurations chain.csv session.txt\n"
        "  python3 -c 'import scipy.io; print(scipy.io.mmread(\"chain.mtx\").shape)'");
    return [options] { runExport(*options); };
}

CommandRun addPlotCommand(CLI::App& app) {
    auto options = std::make_shared<PlotOptions>();
    CLI::App* command = app.add_subcommand("plot", "an SVG chart of the success curves of one or more networks");
    command->add_option("--horizon", options->horizon, "the last step")
        ->check(CLI::Range(1, MaxCurveHorizon))
        ->capture_default_str();
    command->add_option("--title", options->title, "the chart's title")->capture_default_str();
    command->add_option("-o,--output", options->output, "the SVG file (- for standard output)")
        ->required()
        ->check(svgFileName(true));
    addChartOptions(*command, options->look);
    command->add_flag("--limit", options->limit,
                      "mark each network's limit as a dashed line and give its mean steps in the legend");
    addLongRunOptions(*command, options->longRun);
    addChainOptions(*command, options->chain);
    command->add_option("NETWORK", options->networks, "files with a \"DATA:\" network block (- for standard input)")
        ->required()
        ->check(FileName);
    command->footer(
        "Examples:\n"
        "  vorlask-cli plot --horizon 40 -o curves.svg ring.txt complete5.txt\n"
        "  vorlask-cli plot --limit --horizon 60 -o settling.svg ring.txt complete5.txt");
    return [options] { runPlot(*options); };
}
