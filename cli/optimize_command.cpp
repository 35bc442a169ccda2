#include <charconv>
#include <cmath>
#include <memory>

#include "cli/cli_error.h"
#include "cli/commands.h"
#include "cli/number_text.h"
#include "cli/output.h"
#include "cli/terminal_progress.h"
#include "model/studies/optimize.h"
#include "model/support/engine_error.h"
#include "model/support/work_progress.h"
#include "model/text/message_text.h"
#include "model/text/network_block.h"

namespace {

struct OptimizeCommandOptions {
    std::string network;
    std::string minimize;
    std::string maximize;
    std::vector<std::string> vary;
    int starts = 1;
    unsigned seed = 1;
    double precision = 1e-9;
    int maxEvaluations = 300;
    std::string output;
    ChainOptions chain;
};

double boundOf(const std::string& text, const std::string& vary) {
    double value = 0.0;
    const auto parsed = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || parsed.ec != std::errc() || parsed.ptr != text.data() + text.size())
        throw CliError(ExitBadInput, "--vary " + quotedText(vary) + ": " + quotedText(text) + " is not a number");
    return value;
}

// NAME=LOW:HIGH, NAME as a sweep names its parameters.
SweepAxis variableOf(const std::string& text) {
    const size_t equals = text.find('=');
    const size_t colon = text.find(':', equals == std::string::npos ? 0 : equals);
    if (equals == std::string::npos || colon == std::string::npos)
        throw CliError(ExitBadInput, "--vary " + quotedText(text) + " is not NAME=LOW:HIGH");
    const double low = boundOf(text.substr(equals + 1, colon - equals - 1), text);
    const double high = boundOf(text.substr(colon + 1), text);
    SweepAxis variable = sweepAxis(text.substr(0, equals), {low, high});
    if (low > high) throw CliError(ExitBadInput, "--vary " + quotedText(text) + ": LOW is above HIGH");
    return variable;
}

// rate[i]: the node; -1 for anything else.
int rateNode(const std::string& text) {
    if (text.size() < 7 || text.compare(0, 5, "rate[") != 0 || text.back() != ']') return -1;
    int node = 0;
    const auto parsed = std::from_chars(text.data() + 5, text.data() + text.size() - 1, node);
    return parsed.ec == std::errc() && parsed.ptr == text.data() + text.size() - 1 && node >= 0 ? node : -1;
}

OptimizeOptions engineOptions(const OptimizeCommandOptions& options) {
    OptimizeOptions engine;
    if (options.minimize.empty() == options.maximize.empty())
        throw CliError(ExitBadInput, "name one figure: --minimize mean-steps or --maximize rate[i] or min-rate");
    if (!options.minimize.empty()) {
        if (options.minimize != "mean-steps")
            throw CliError(ExitBadInput, "--minimize " + quotedText(options.minimize) + " is not mean-steps");
        engine.objective = Objective::MinimizeMeanSteps;
    } else if (options.maximize == "min-rate") {
        engine.objective = Objective::MaximizeLeastRate;
    } else {
        engine.node = rateNode(options.maximize);
        if (engine.node < 0)
            throw CliError(ExitBadInput, "--maximize " + quotedText(options.maximize) + " is not rate[i] or min-rate");
        engine.objective = Objective::MaximizeRate;
    }
    if (options.chain.rules != ChainRules::Process)
        throw CliError(ExitBadInput, "--chain window cannot be optimised: its weights are not the step's");
    if (!(options.precision >= 1e-12 && options.precision < 1.0))
        throw CliError(ExitBadInput, "--precision " + numberText(options.precision) + " is outside [1e-12, 1)");
    for (const std::string& vary : options.vary) engine.variables.push_back(variableOf(vary));
    engine.starts = options.starts;
    engine.seed = options.seed;
    engine.precision = options.precision;
    engine.maxEvaluations = options.maxEvaluations;
    engine.jobs = options.chain.jobs;
    return engine;
}

std::string report(const OptimizeOptions& options, const OptimizeResult& result) {
    std::string text = "optimize: ";
    text += options.objective == Objective::MinimizeMeanSteps ? "minimize " : "maximize ";
    text += objectiveName(options) + " over";
    for (size_t v = 0; v < options.variables.size(); ++v) text += (v ? ", " : " ") + options.variables[v].name;
    text += "; " + std::to_string(options.starts) + (options.starts == 1 ? " start, " : " starts, ") +
            std::to_string(result.evaluations) + " evaluations, the best from start " +
            std::to_string(result.bestStart + 1) + "\npoint:";
    for (size_t v = 0; v < options.variables.size(); ++v)
        text += (v ? ", " : " ") + options.variables[v].name + "=" + numberText(result.point[v]);
    text += "\n" + objectiveName(options) + ": " + numberText(result.figure.value) + " in [" +
            numberText(result.figure.low) + ", " + numberText(result.figure.high) + "]\n";
    text += "gradient norm: " + numberText(result.gradientNorm) +
            " (parameters at a bound where the gradient points out left out)\n";
    return text + preciseBlock(result.network);
}

void runOptimize(const OptimizeCommandOptions& options) {
    const OptimizeOptions engine = engineOptions(options);
    OutputSet outputs;
    Output& out = outputs.add("--output", options.output);
    const NetworkInput input = readNetworkInput(options.network);
    configurationCountWithin(input, options.chain.maxConfigurations);
    const OptimizeResult result = workNamingTheNetwork(input, [&](WorkProgress& progress) {
        return optimize(input.network, engine, chainLimits(input, options.chain), &progress);
    });
    out.stream() << report(engine, result);
    outputs.commit();
}

}  // namespace

CommandRun addOptimizeCommand(CLI::App& app) {
    auto options = std::make_shared<OptimizeCommandOptions>();
    CLI::App* command = app.add_subcommand(
        "optimize",
        "the parameters within bounds that make the mean steps least or a node's rate or the least rate largest, "
        "by their exact gradients; writes the best point and the network with it");
    command->add_option("--minimize", options->minimize, "mean-steps (until the network's S)");
    command->add_option("--maximize", options->maximize, "rate[i], node i's long-run rate, or min-rate, the least of all");
    command->add_option("--vary", options->vary,
                        "NAME=LOW:HIGH, NAME as for sweep: alpha, beta or gamma of every node (one value for all), "
                        "or alpha[i] of node i");
    command->add_option("--starts", options->starts, "searches: from the network's values, then from seeded draws")
        ->check(CLI::Range(1, 1000))
        ->capture_default_str();
    command->add_option("--seed", options->seed, "the draws' seed")->capture_default_str();
    command->add_option("--precision", options->precision, "of the figures and the best point's interval")
        ->capture_default_str();
    command->add_option("--max-evaluations", options->maxEvaluations, "evaluations of a search")
        ->check(CLI::Range(1, 100000))
        ->capture_default_str();
    addOutputOption(*command, options->output, "the result, a network file every command reads");
    addChainOptions(*command, options->chain);
    addNetworkArgument(*command, options->network);
    command->footer(
        "Examples:\n"
        "  vorlask-cli optimize --minimize mean-steps --vary 'gamma[0]=0.05:1' --vary 'gamma[1]=0.05:1' ring12.txt\n"
        "  vorlask-cli optimize --maximize min-rate --vary gamma=0.1:1 --starts 4 -o fair.txt session.txt");
    return [options] { runOptimize(*options); };
}
