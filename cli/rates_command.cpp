#include <charconv>
#include <memory>
#include <nlohmann/json.hpp>

#include "cli/cli_error.h"
#include "cli/commands.h"
#include "cli/number_text.h"
#include "cli/output.h"
#include "cli/rates_options.h"
#include "cli/terminal_progress.h"
#include "model/rates/rates.h"
#include "model/support/work_progress.h"
#include "model/text/message_text.h"

namespace {

struct RatesOptions {
    std::string network;
    std::string from = "uniform";
    double precision = 1e-9;
    long long maxIterations = 1000000;
    bool perConfiguration = false;
    std::string format;
    std::string output;
    ChainOptions chain;
};

void appendRateRow(std::string& text, const std::string& start, int node, const BoundedFigure& rate) {
    text += start + std::to_string(node);
    for (const double value : {rate.value, rate.low, rate.high}) {
        text += ",";
        appendNumber(text, value);
    }
    text += "\n";
}

void writeCsv(Output& out, const RateFigures& figures, bool perConfiguration) {
    if (!perConfiguration) {
        std::string text = "node,rate,low,high\n";
        for (int i = 0; i < figures.nodes; ++i) appendRateRow(text, "", i, figures.rates[i]);
        out.stream() << text;
        return;
    }
    std::string text = "configuration,node,rate,low,high\n";
    for (int l = 0; l < figures.configurations; ++l) {
        for (int i = 0; i < figures.nodes; ++i) {
            const size_t at = static_cast<size_t>(l) * figures.nodes + i;
            appendRateRow(text, std::to_string(l) + ",", i, {figures.perValue[at], figures.perLow[at], figures.perHigh[at]});
        }
        out.writeWhenLarge(text);
    }
    out.stream() << text;
}

nlohmann::ordered_json rateJson(int node, const BoundedFigure& rate) {
    nlohmann::ordered_json row;
    row["node"] = node;
    row["rate"] = rate.value;
    row["low"] = rate.low;
    row["high"] = rate.high;
    return row;
}

void writeJson(Output& out, const RateFigures& figures, const RatesOptions& options) {
    nlohmann::ordered_json head;
    head["chain"] = "process";
    head["nodes"] = figures.nodes;
    head["configurations"] = figures.configurations;
    head["from"] = options.from;
    head["precision"] = options.precision;
    head["iterations"] = figures.iterations;
    head["rates"] = nlohmann::ordered_json::array();
    for (int i = 0; i < figures.nodes; ++i) head["rates"].push_back(rateJson(i, figures.rates[i]));
    head["classes"] = nlohmann::ordered_json::array();
    for (const ClassRates& rates : figures.classes) {
        nlohmann::ordered_json entry;
        entry["size"] = rates.size;
        entry["probability"] = rates.probability.value;
        entry["low"] = rates.probability.low;
        entry["high"] = rates.probability.high;
        entry["rates"] = nlohmann::ordered_json::array();
        for (int i = 0; i < figures.nodes; ++i) entry["rates"].push_back(rateJson(i, rates.rates[i]));
        head["classes"].push_back(entry);
    }
    if (!options.perConfiguration) {
        out.stream() << head.dump() << "\n";
        return;
    }
    std::string text = head.dump();
    text.pop_back();
    out.stream() << text << ",\"rows\":[";
    for (int l = 0; l < figures.configurations; ++l) {
        for (int i = 0; i < figures.nodes; ++i) {
            const size_t at = static_cast<size_t>(l) * figures.nodes + i;
            nlohmann::ordered_json row = rateJson(i, {figures.perValue[at], figures.perLow[at], figures.perHigh[at]});
            row.erase("node");
            nlohmann::ordered_json keyed;
            keyed["configuration"] = l;
            keyed["node"] = i;
            keyed.update(row);
            out.stream() << (at ? "," : "") << keyed.dump();
        }
        if (l % 4096 == 0) out.check();
    }
    out.stream() << "]}\n";
}

void runRates(const RatesOptions& options) {
    if (options.chain.rules != ChainRules::Process)
        throw CliError(ExitBadInput, "--chain window has no rates: the window's analysis weighs no step the "
                                     "process takes, so it has no successes to count; rates are the process's");
    RateOptions rates = rateOptions(options.precision, options.maxIterations, options.perConfiguration,
                                    options.chain.jobs);
    OutputSet outputs;
    Output& out = outputs.add("--output", options.output);
    const NetworkInput input = readNetworkInput(options.network);
    rates.start = rateStart(options.from, input);
    RateFigures figures;
    WorkProgress progress;
    {
        TerminalProgress display(progress);
        figures = ratesOf(input, options.chain, rates, progress);
    }
    if (options.format == "json")
        writeJson(out, figures, options);
    else
        writeCsv(out, figures, options.perConfiguration);
    outputs.commit();
}

}  // namespace

CommandRun addRatesCommand(CLI::App& app) {
    auto options = std::make_shared<RatesOptions>();
    CLI::App* command = app.add_subcommand(
        "rates",
        "every node's long-run success rate, the limit of the chance the window shows, each with an interval that "
        "holds its exact value");
    command
        ->add_option("--from", options->from,
                     "the start: uniform over every configuration, or one configuration as its partner values "
                     "C0,C1,... (-1 for a node without neighbours)")
        ->capture_default_str();
    command->add_option("--precision", options->precision, "every interval is at most EPS wide; at least 1e-12")
        ->capture_default_str();
    command
        ->add_option("--max-iterations", options->maxIterations,
                     "passes over the transitions before giving up")
        ->check(CLI::Range(1LL, 1000000000000LL))
        ->capture_default_str();
    addTableOptions(*command, options->perConfiguration, options->format, options->output, options->chain,
                    options->network);
    command->footer(
        "Examples:\n"
        "  vorlask-cli rates ring12.txt\n"
        "  vorlask-cli rates --from 1,2,3,0 --format json session.txt\n"
        "  vorlask-cli simulate --from uniform --summary --replicates 64 --steps 100000 ring21.txt   # beyond exact "
        "reach");
    return [options] { runRates(*options); };
}
