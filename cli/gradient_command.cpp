#include <cmath>
#include <memory>
#include <nlohmann/json.hpp>

#include "cli/cli_error.h"
#include "cli/commands.h"
#include "cli/number_text.h"
#include "cli/output.h"
#include "cli/terminal_progress.h"
#include "model/sensitivity/gradient.h"
#include "model/support/engine_error.h"
#include "model/support/work_progress.h"

namespace {

struct GradientCommandOptions {
    std::string network;
    std::string measure = "mean-steps";
    double precision = 1e-9;
    std::string format;
    std::string output;
    ChainOptions chain;
};

struct GradientRow {
    std::string node;
    std::string parameter;
    double value;
    double derivative;
    double error;
    bool oneSided;
};

std::vector<GradientRow> rowsOf(const GradientFigures& gradient) {
    std::vector<GradientRow> rows;
    const int parameters = 3 * gradient.nodes;
    for (size_t f = 0; f < gradient.values.size(); ++f)
        for (int p = 0; p < parameters; ++p) {
            const size_t at = f * parameters + p;
            rows.push_back({gradient.measure == GradientMeasure::Rates ? std::to_string(f) : "",
                            parameterName(p, gradient.nodes), gradient.values[f].value, gradient.derivative[at],
                            gradient.error[at], gradient.oneSided[p]});
        }
    return rows;
}

void writeCsv(Output& out, const GradientFigures& gradient) {
    const std::string measure = gradientMeasureName(gradient.measure);
    std::string text = "measure,node,parameter,value,derivative,error,one_sided\n";
    for (const GradientRow& row : rowsOf(gradient)) {
        text += measure + "," + row.node + "," + row.parameter + ",";
        appendNumber(text, row.value);
        text += ",";
        appendNumber(text, row.derivative);
        text += ",";
        appendNumber(text, row.error);
        text += row.oneSided ? ",yes\n" : ",no\n";
    }
    out.stream() << text;
}

void writeJson(Output& out, const GradientFigures& gradient, double precision) {
    nlohmann::ordered_json document;
    document["chain"] = "process";
    document["nodes"] = gradient.nodes;
    document["measure"] = gradientMeasureName(gradient.measure);
    document["precision"] = precision;
    document["rows"] = nlohmann::ordered_json::array();
    for (const GradientRow& row : rowsOf(gradient)) {
        nlohmann::ordered_json entry;
        if (!row.node.empty()) entry["node"] = std::stoi(row.node);
        entry["parameter"] = row.parameter;
        entry["value"] = numberJson(row.value);
        entry["derivative"] = numberJson(row.derivative);
        entry["error"] = numberJson(row.error);
        entry["one_sided"] = row.oneSided;
        document["rows"].push_back(entry);
    }
    out.stream() << document.dump() << "\n";
}

void runGradient(const GradientCommandOptions& options) {
    GradientOptions gradient;
    if (!parseGradientMeasure(options.measure, gradient.measure))
        throw CliError(ExitBadInput, "--measure " + options.measure + " is not limit, mean-steps or rates");
    if (options.chain.rules != ChainRules::Process)
        throw CliError(ExitBadInput, "--chain window has no gradient: its weights are not the step's, whose "
                                     "parameters the derivatives follow");
    if (!(options.precision >= 1e-12 && options.precision < 1.0))
        throw CliError(ExitBadInput, "--precision " + numberText(options.precision) + " is outside [1e-12, 1)");
    gradient.precision = options.precision;
    gradient.jobs = options.chain.jobs;
    OutputSet outputs;
    Output& out = outputs.add("--output", options.output);
    const NetworkInput input = readNetworkInput(options.network);
    configurationCountWithin(input, options.chain.maxConfigurations);
    const GradientFigures figures = workNamingTheNetwork(input, [&](WorkProgress& progress) {
        return computeGradient(input.network, gradient, chainLimits(input, options.chain), &progress);
    });
    if (options.format == "json")
        writeJson(out, figures, options.precision);
    else
        writeCsv(out, figures);
    outputs.commit();
}

}  // namespace

CommandRun addGradientCommand(CLI::App& app) {
    auto options = std::make_shared<GradientCommandOptions>();
    CLI::App* command = app.add_subcommand(
        "gradient",
        "the derivative of the averaged limit, mean steps or every node's rate with respect to every node's "
        "alpha, beta and gamma, each with its error bound");
    command->add_option("--measure", options->measure, "limit, mean-steps (first passage into the network's S) or rates")
        ->capture_default_str();
    command->add_option("--precision", options->precision, "of the figures the derivatives are taken at")
        ->capture_default_str();
    addFormatOption(*command, options->format);
    addOutputOption(*command, options->output, "the data file");
    addChainOptions(*command, options->chain);
    addNetworkArgument(*command, options->network);
    command->footer(
        "Rows measure,node,parameter,value,derivative,error,one_sided: node is the rate's for --measure rates;\n"
        "a derivative at 0 or 1 is taken from inside [0, 1] (one_sided yes); where the figure jumps there it is\n"
        "nan, its error inf.\n"
        "Examples:\n"
        "  vorlask-cli gradient ring12.txt\n"
        "  vorlask-cli gradient --measure rates --format json session.txt");
    return [options] { runGradient(*options); };
}
