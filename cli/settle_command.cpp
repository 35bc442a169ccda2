#include <array>
#include <charconv>
#include <cmath>
#include <iterator>
#include <memory>
#include <nlohmann/json.hpp>

#include "cli/cli_error.h"
#include "cli/commands.h"
#include "cli/long_run_options.h"
#include "cli/number_text.h"
#include "cli/output.h"
#include "cli/terminal_progress.h"
#include "model/long_run/long_run.h"
#include "model/support/work_progress.h"

namespace {

struct SettleOptions {
    std::string network;
    LongRunTextOptions longRun;
    std::string quantiles = "0.5,0.9,0.99";
    bool perConfiguration = false;
    std::string format;
    std::string output;
    ChainOptions chain;
};

// "steps_to_0.99": the quantile in the fewest digits that read back as it.
std::string quantileMeasure(double q) {
    char digits[32];
    const auto written = std::to_chars(digits, digits + sizeof digits, q);
    return "steps_to_" + std::string(digits, written.ptr);
}

std::string stepsText(long long steps) { return steps == NeverReached ? "inf" : std::to_string(steps); }

nlohmann::ordered_json stepsJson(long long steps) {
    return steps == NeverReached ? nlohmann::ordered_json("inf") : nlohmann::ordered_json(steps);
}

// A crossing the precision cannot bracket has no value to give.
std::string quantileValueText(const QuantileSteps& steps) {
    return steps.resolved ? stepsText(steps.value) : "nan";
}

nlohmann::ordered_json quantileValueJson(const QuantileSteps& steps) {
    return steps.resolved ? stepsJson(steps.value) : nlohmann::ordered_json("nan");
}

void appendFigureRow(std::string& text, const std::string& measure, const BoundedFigure& figure) {
    text += measure;
    for (const double value : {figure.value, figure.low, figure.high}) {
        text += ",";
        appendNumber(text, value);
    }
    text += "\n";
}

void writeAveragedCsv(Output& out, const LongRunFigures& figures) {
    std::string text = "measure,value,low,high\n";
    appendFigureRow(text, "limit", figures.limit);
    appendFigureRow(text, "mean_steps", figures.meanSteps);
    appendFigureRow(text, "mean_steps_if_reached", figures.meanStepsIfReached);
    for (const QuantileSteps& steps : figures.quantiles)
        text += quantileMeasure(steps.quantile) + "," + quantileValueText(steps) + "," + stepsText(steps.low) + "," +
                stepsText(steps.high) + "\n";
    out.stream() << text;
}

const char* const* const PerConfigurationFigures = LongRunColumns;
constexpr size_t FiguresPerConfiguration = LongRunColumnCount;

// The per-configuration figures of configuration l, in the order above.
std::array<double, FiguresPerConfiguration> configurationFigures(const LongRunFigures& figures, int l) {
    return longRunColumnValues({figures.limitValue[l], figures.limitLow[l], figures.limitHigh[l]},
                               {figures.meanValue[l], figures.meanLow[l], figures.meanHigh[l]},
                               {figures.ifReachedValue[l], figures.ifReachedLow[l], figures.ifReachedHigh[l]});
}

void writePerConfigurationCsv(Output& out, const MarkovChain& chain, const LongRunFigures& figures) {
    const ConfigurationList& configurations = chain.configurations;
    std::string text = "configuration";
    for (int i = 0; i < configurations.nodeCount; ++i) text += ",node" + std::to_string(i);
    text += ",mark";
    for (size_t k = 0; k < FiguresPerConfiguration; ++k) text += std::string(",") + PerConfigurationFigures[k];
    text += "\n";
    for (int l = 0; l < configurations.count; ++l) {
        text += std::to_string(l);
        for (int i = 0; i < configurations.nodeCount; ++i) text += "," + std::to_string(configurations[l][i]);
        text += ",";
        text += markText(chain.marked[l]);
        for (const double value : configurationFigures(figures, l)) {
            text += ",";
            appendNumber(text, value);
        }
        text += "\n";
        out.writeWhenLarge(text);
    }
    out.stream() << text;
}

nlohmann::ordered_json figureJson(const std::string& measure, const BoundedFigure& figure) {
    nlohmann::ordered_json row;
    row["measure"] = measure;
    row["value"] = numberJson(figure.value);
    row["low"] = numberJson(figure.low);
    row["high"] = numberJson(figure.high);
    return row;
}

void writeJson(Output& out, const MarkovChain& chain, const LongRunFigures& figures, const SettleOptions& options,
               double precision) {
    nlohmann::ordered_json head;
    head["chain"] = chainRulesName(chain.rules);
    head["nodes"] = chain.configurations.nodeCount;
    head["configurations"] = chain.configurations.count;
    head["marked"] = chain.markedCount;
    head["precision"] = precision;
    head["method"] = figures.method;
    head["iterations"] = figures.iterations;
    head["figures"] = nlohmann::ordered_json::array();
    head["figures"].push_back(figureJson("limit", figures.limit));
    head["figures"].push_back(figureJson("mean_steps", figures.meanSteps));
    head["figures"].push_back(figureJson("mean_steps_if_reached", figures.meanStepsIfReached));
    for (const QuantileSteps& steps : figures.quantiles) {
        nlohmann::ordered_json row;
        row["measure"] = quantileMeasure(steps.quantile);
        row["value"] = quantileValueJson(steps);
        row["low"] = stepsJson(steps.low);
        row["high"] = stepsJson(steps.high);
        head["figures"].push_back(row);
    }
    if (!options.perConfiguration) {
        out.stream() << head.dump() << "\n";
        return;
    }
    writeJsonWithRows(out, head, chain, [&figures](int l, nlohmann::ordered_json& row) {
        const auto values = configurationFigures(figures, l);
        for (size_t k = 0; k < values.size(); ++k) row[PerConfigurationFigures[k]] = numberJson(values[k]);
    });
}

void runSettle(const SettleOptions& options) {
    LongRunOptions longRun = parseLongRunOptions(options.longRun, options.chain.jobs);
    longRun.quantiles = parseQuantiles(options.quantiles);
    longRun.keepPerConfiguration = options.perConfiguration;
    OutputSet outputs;
    Output& out = outputs.add("--output", options.output);
    const NetworkInput input = readNetworkInput(options.network);
    const int configurations = configurationCountWithin(input, options.chain.maxConfigurations);
    if (options.perConfiguration)
        checkKeptValues(FiguresPerConfiguration * static_cast<unsigned long long>(configurations),
                        "--per-configuration with " + std::to_string(configurations) + " configurations");
    WorkProgress progress;
    MarkovChain chain;
    LongRunFigures figures;
    {
        TerminalProgress display(progress);
        const double perConfiguration =
            options.perConfiguration ? FiguresPerConfiguration * sizeof(double) * configurations : 0.0;
        chain = buildChain(input, options.chain, progress,
                           static_cast<double>(longRunMemory(configurations)) + perConfiguration);
        figures = followWithinMemory(input, options.chain, chain.transitions.entryCount(),
                                     [&] {
                                         return computeLongRunOf(
                                             input, chain, withDirectSolveRoom(longRun, chain, options.chain.maxMemory),
                                             progress);
                                     });
    }
    if (options.format == "json")
        writeJson(out, chain, figures, options, longRun.precision);
    else if (options.perConfiguration)
        writePerConfigurationCsv(out, chain, figures);
    else
        writeAveragedCsv(out, figures);
    outputs.commit();
}

}  // namespace

CommandRun addSettleCommand(CLI::App& app) {
    auto options = std::make_shared<SettleOptions>();
    CLI::App* command = app.add_subcommand(
        "settle",
        "the long run: the weight that S configurations reach in the end, the mean steps until it arrives and the "
        "steps until shares of it, each with an interval that holds the exact value");
    addLongRunOptions(*command, options->longRun);
    command->add_option("--quantiles", options->quantiles,
                        "shares of the limit, each in (0, 1], whose first step the averaged curve reaches")
        ->capture_default_str();
    addTableOptions(*command, options->perConfiguration, options->format, options->output, options->chain,
                    options->network);
    command->footer(
        "Examples:\n"
        "  vorlask-cli settle ring16.txt\n"
        "  vorlask-cli settle --precision 1e-12 --quantiles 0.5,0.999 --format json session.txt\n"
        "  vorlask-cli settle --per-configuration -o settle.csv session.txt");
    return [options] { runSettle(*options); };
}
