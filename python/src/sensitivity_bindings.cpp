#include "sensitivity_bindings.h"

#include <pybind11/stl.h>

#include <cmath>
#include <string>
#include <vector>

#include "arguments.h"
#include "interruptible_work.h"
#include "model/network/configurations.h"
#include "model/sensitivity/gradient.h"
#include "model/studies/optimize.h"
#include "model/support/engine_error.h"
#include "model/support/work_progress.h"
#include "owned_arrays.h"

namespace py = pybind11;
using namespace pybind11::literals;

namespace {

const PhaseShares GradientPhases = {{"estimating memory", 0.0}, {"enumerating transitions", 0.3}, {"marking", 0.0},
                                    {"settling", 0.7}};

GradientMeasure measureArgument(const std::string& measure) {
    GradientMeasure parsed = GradientMeasure::MeanSteps;
    if (!parseGradientMeasure(measure, parsed))
        refuseArgument("measure must be \"limit\", \"mean-steps\" or \"rates\", not \"" + measure + "\"");
    return parsed;
}

void checkPrecision(double precision) {
    if (!(precision >= 1e-12 && precision < 1.0))
        refuseArgument("precision " + numberText(precision) + " is outside [1e-12, 1)");
}

// The variables of vary = {name: (low, high)}.
std::vector<SweepAxis> variablesOf(const py::dict& vary) {
    std::vector<SweepAxis> variables;
    for (const auto& [key, bounds] : vary) {
        if (!py::isinstance<py::str>(key))
            refuseArgument("vary's keys are names such as \"gamma\" or \"gamma[2]\", not " +
                           py::repr(key).cast<std::string>());
        const std::string name = key.cast<std::string>();
        const std::vector<double> pair = realValues(bounds, "vary[\"" + name + "\"]");
        if (pair.size() != 2) refuseArgument("vary[\"" + name + "\"] is (low, high)");
        variables.push_back(sweepAxis(name, pair));
    }
    return variables;
}

OptimizeOptions optimizeOptions(const py::object& minimize, const py::object& maximize, const py::dict& vary) {
    OptimizeOptions options;
    if (minimize.is_none() == maximize.is_none())
        refuseArgument("name one figure: minimize=\"mean-steps\" or maximize=\"rate[i]\" or \"min-rate\"");
    if (!minimize.is_none()) {
        if (minimize.cast<std::string>() != "mean-steps") refuseArgument("minimize is \"mean-steps\"");
        options.objective = Objective::MinimizeMeanSteps;
    } else {
        const std::string text = maximize.cast<std::string>();
        if (text == "min-rate") {
            options.objective = Objective::MaximizeLeastRate;
        } else {
            int node = -1;
            if (text.size() > 6 && text.compare(0, 5, "rate[") == 0 && text.back() == ']') {
                try {
                    node = std::stoi(text.substr(5, text.size() - 6));
                } catch (const std::exception&) {
                }
            }
            if (node < 0) refuseArgument("maximize is \"rate[i]\" or \"min-rate\", not \"" + text + "\"");
            options.objective = Objective::MaximizeRate;
            options.node = node;
        }
    }
    options.variables = variablesOf(vary);
    return options;
}

}  // namespace

py::dict gradientOf(const PythonNetwork& network, const std::string& measure, double precision, long long jobs,
                    long long maxConfigurations, const py::object& progress) {
    GradientOptions options;
    options.measure = measureArgument(measure);
    checkPrecision(precision);
    options.precision = precision;
    options.jobs = jobsArgument(jobs);
    configurationsWithin(network, maxConfigurations);
    const NetworkModel model = network.model;
    WorkProgress counts;
    GradientFigures gradient;
    runInterruptibly(counts, GradientPhases, progress,
                     [&] { gradient = computeGradient(model, options, memoryLimits(network.name), &counts); });
    const int n = gradient.nodes;
    const py::ssize_t rows = static_cast<py::ssize_t>(gradient.derivative.size());
    py::list measures, parameters;
    std::vector<int64_t> node(rows);
    std::vector<double> value(rows);
    std::vector<bool> oneSided(rows);
    for (py::ssize_t k = 0; k < rows; ++k) {
        const size_t figure = static_cast<size_t>(k) / (3 * n);
        measures.append(gradientMeasureName(gradient.measure));
        parameters.append(parameterName(static_cast<int>(k % (3 * n)), n));
        node[k] = gradient.measure == GradientMeasure::Rates ? static_cast<int64_t>(figure) : -1;
        value[k] = gradient.values[figure].value;
        oneSided[k] = gradient.oneSided[k % (3 * n)];
    }
    const py::object array = py::module_::import("numpy").attr("array");
    py::dict columns;
    columns["measure"] = array(measures);
    columns["node"] = ownedArray(std::move(node), {rows});
    columns["parameter"] = array(parameters);
    columns["value"] = ownedArray(std::move(value), {rows});
    columns["derivative"] = ownedArray(std::move(gradient.derivative), {rows});
    columns["error"] = ownedArray(std::move(gradient.error), {rows});
    columns["one_sided"] = array(py::cast(oneSided), "dtype"_a = "bool");
    return columns;
}

void bindOptimize(py::module_& m) {
    m.def(
        "optimize",
        [](const PythonNetwork& network, const py::object& minimize, const py::object& maximize, const py::dict& vary,
           int starts, unsigned seed, double precision, int maxEvaluations, long long jobs, const py::object& progress) {
            OptimizeOptions options = optimizeOptions(minimize, maximize, vary);
            checkPrecision(precision);
            options.starts = starts;
            options.seed = seed;
            options.precision = precision;
            options.maxEvaluations = maxEvaluations;
            options.jobs = jobsArgument(jobs);
            const NetworkModel model = network.model;
            WorkProgress counts;
            OptimizeResult result;
            runInterruptibly(counts, {{"optimizing", 1.0}}, progress,
                             [&] { result = optimize(model, options, memoryLimits(network.name), &counts); });
            py::dict point;
            for (size_t v = 0; v < options.variables.size(); ++v) point[py::str(options.variables[v].name)] = result.point[v];
            PythonNetwork best;
            best.model = result.network;
            py::dict answer;
            answer["point"] = point;
            answer["figure"] = objectiveName(options);
            answer["value"] = result.figure.value;
            answer["low"] = result.figure.low;
            answer["high"] = result.figure.high;
            answer["gradient_norm"] = result.gradientNorm;
            answer["evaluations"] = result.evaluations;
            answer["network"] = py::cast(best);
            return answer;
        },
        "network"_a, py::kw_only(), "minimize"_a = py::none(), "maximize"_a = py::none(), "vary"_a = py::dict(),
        "starts"_a = 1, "seed"_a = 1u, "precision"_a = 1e-9, "max_evaluations"_a = 300, "jobs"_a = 0,
        "progress"_a = py::none(),
        "Parameters within bounds that make a figure best, as `vorlask-cli optimize`: minimize=\"mean-steps\"\n"
        "(until the network's S), or maximize=\"rate[i]\" or \"min-rate\" (the least rate of all nodes), over\n"
        "vary = {name: (low, high)}, names as for sweep. A dict: point (name to value), figure, value, low\n"
        "and high (the best figure's certified interval), gradient_norm, evaluations and network (the\n"
        "network with the best point). starts: searches, from the network's values and then seeded draws.");
    m.def(
        "objective",
        [](const PythonNetwork& network, const py::object& minimize, const py::object& maximize, const py::dict& vary,
           double precision, long long jobs) {
            OptimizeOptions options = optimizeOptions(minimize, maximize, vary);
            checkPrecision(precision);
            options.precision = precision;
            options.jobs = jobsArgument(jobs);
            const NetworkModel model = network.model;
            const ChainLimits limits = memoryLimits(network.name);
            const std::vector<bool> target = targetOf(model, options, limits);
            const double sign = options.objective == Objective::MinimizeMeanSteps ? 1.0 : -1.0;
            const py::cpp_function function(
                [model, options, limits, target, sign](const std::vector<double>& x) {
                    ObjectiveValue value;
                    {
                        py::gil_scoped_release release;
                        value = evaluateObjective(model, options, x, target, limits);
                    }
                    for (double& d : value.gradient) d *= sign;
                    return py::make_tuple(sign * value.value,
                                          py::module_::import("numpy").attr("array")(value.gradient));
                },
                "x"_a);
            py::list x0, bounds;
            for (const SweepAxis& variable : options.variables) {
                const double own = model.params[variable.parameter][variable.node < 0 ? 0 : variable.node];
                x0.append(std::min(std::max(own, variable.values[0]), variable.values[1]));
                bounds.append(py::make_tuple(variable.values[0], variable.values[1]));
            }
            return py::make_tuple(function, py::module_::import("numpy").attr("array")(x0), bounds);
        },
        "network"_a, py::kw_only(), "minimize"_a = py::none(), "maximize"_a = py::none(), "vary"_a = py::dict(),
        "precision"_a = 1e-9, "jobs"_a = 0,
        "The figure optimize follows, for scipy: (fun, x0, bounds) with fun(x) returning (value, gradient)\n"
        "to minimize (a figure to maximize is negated), x0 the network's values clamped to the bounds:\n"
        "    fun, x0, bounds = vorlask.objective(net, minimize=\"mean-steps\", vary={\"gamma[0]\": (0.05, 1)})\n"
        "    scipy.optimize.minimize(fun, x0, jac=True, bounds=bounds, method=\"L-BFGS-B\")\n");
}
