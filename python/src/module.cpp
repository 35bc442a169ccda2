#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <Python.h>

#include <exception>
#include <optional>
#include <sstream>
#include <string>
#include <utility>

#include "analysis_bindings.h"
#include "arguments.h"
#include "interruptible_read.h"
#include "long_run_bindings.h"
#include "rates_bindings.h"
#include "sensitivity_bindings.h"
#include "model/analysis.h"
#include "model/network/configurations.h"
#include "model/support/engine_error.h"
#include "model/text/network_input.h"
#include "python_network.h"
#include "study_bindings.h"

namespace py = pybind11;
using namespace pybind11::literals;

namespace {

PyObject* tooLargeType = nullptr;
PyObject* capReachedType = nullptr;

py::tuple boundsOf(const BoundedFigure& figure) { return py::make_tuple(figure.value, figure.low, figure.high); }

// The engine's refusals as Python's own kinds of error, with the command's messages.
void translateEngineErrors(std::exception_ptr failure) {
    try {
        if (failure) std::rethrow_exception(failure);
    } catch (const EngineError& e) {
        PyObject* type = e.kind() == EngineError::CannotRead    ? PyExc_OSError
                         : e.kind() == EngineError::BeyondLimit ? tooLargeType
                                                                : PyExc_ValueError;
        PyErr_SetString(type, e.what());
    } catch (const LongRunCapReached& e) {
        py::object error = py::reinterpret_borrow<py::object>(capReachedType)(e.what());
        error.attr("limit") = boundsOf(e.limit());
        error.attr("mean_steps") = boundsOf(e.meanSteps());
        PyErr_SetObject(capReachedType, error.ptr());
    } catch (const RatesCapReached& e) {
        py::object error = py::reinterpret_borrow<py::object>(capReachedType)(e.what());
        error.attr("limit") = py::none();
        error.attr("mean_steps") = py::none();
        PyErr_SetObject(capReachedType, error.ptr());
    }
}

PyObject* addException(py::module_& m, const char* name, const char* doc, PyObject* base) {
    PyObject* type = PyErr_NewExceptionWithDoc((std::string("vorlask.") + name).c_str(), doc, base, nullptr);
    if (!type) throw py::error_already_set();
    m.add_object(name, py::handle(type));
    return type;
}

void addExceptions(py::module_& m) {
    tooLargeType = addException(
        m, "TooLarge",
        "A network or a request beyond a limit: more configurations than max_configurations, more nodes\n"
        "than a network may have, or results too large to keep. A subclass of ValueError.",
        PyExc_ValueError);
    capReachedType = addException(
        m, "CapReached",
        "The long run reached max_iterations before its intervals were as narrow as asked. The message\n"
        "gives the intervals reached; so do the attributes limit and mean_steps, each (value, low, high).\n"
        "A subclass of RuntimeError.",
        PyExc_RuntimeError);
    py::register_exception_translator(translateEngineErrors);
}

// The path as the operating system's bytes, as Python's own open() takes
// it: a str (with the surrogates that stand for bytes that are not UTF-8),
// bytes, or a path-like object.
std::string pathBytes(const py::object& path) {
    return py::module_::import("os").attr("fsencode")(path).cast<py::bytes>();
}

// An argument given for a measure it does not apply to is refused, as the
// command refuses its option.
void checkArgumentsApply(const std::string& measure, bool horizonGiven, bool iterationArgumentGiven,
                         bool directGiven) {
    if (measure == "curve" && iterationArgumentGiven)
        refuseArgument("precision and max_iterations apply to measure=\"limit\", \"mean-steps\" or \"rates\" only");
    if (directGiven && measure != "limit" && measure != "mean-steps")
        refuseArgument("direct applies to measure=\"limit\" or \"mean-steps\" only");
    if (measure != "curve" && horizonGiven) refuseArgument("horizon applies to measure=\"curve\" only");
}

PythonNetwork readNetwork(const py::object& path) {
    NetworkInput input = readNetworkInterruptibly(pathBytes(path));
    PythonNetwork network;
    network.model = std::move(input.network);
    network.name = input.name;
    return network;
}

bool sameNetwork(const PythonNetwork& a, const PythonNetwork& b) {
    return a.model.nodeCount == b.model.nodeCount && a.model.links == b.model.links && a.model.params == b.model.params;
}

// What pickle keeps of a network, so that it travels to other processes and
// machines (an executor's workers) whole: links, parameters and source.
py::tuple networkState(const PythonNetwork& network) {
    return py::make_tuple(linksArray(network), parameterArray(network, NetworkModel::Alpha),
                          parameterArray(network, NetworkModel::Beta), parameterArray(network, NetworkModel::Gamma),
                          network.name.empty() ? py::object(py::none()) : py::object(py::str(network.name)));
}

PythonNetwork networkFromState(const py::tuple& state) {
    if (state.size() != 5) refuseArgument("a pickled Network holds 5 items, not " + std::to_string(state.size()));
    PythonNetwork network = networkFromArrays(state[0], state[1], state[2], state[3]);
    if (!state[4].is_none()) network.name = state[4].cast<std::string>();
    return network;
}

std::string networkRepr(const PythonNetwork& network) {
    std::string text = "<vorlask.Network of " + std::to_string(network.model.nodeCount) + " nodes";
    if (!network.name.empty()) text += " from " + network.name;
    return text + ">";
}

std::string chainRepr(const PythonChain& chain) {
    return "<vorlask.Chain of " + std::to_string(chain.configurationCount) + " configurations, " +
           std::to_string(chain.markedCount) + " marked S, " + std::to_string(chain.weights.size()) + " transitions>";
}

const char* const ModuleDoc = R"(The exact analysis of vorlask networks: chains, curves, reports, runs and sweeps.

The same engine as vorlask-cli, with the same numbers to the last bit: the
arrays come from the engine's own buffers, long work runs on every core
without holding the GIL, and Ctrl+C stops it.

    net = vorlask.read_network("session.txt")
    chain = net.chain()          # chain.matrix is a scipy.sparse.csr_matrix
    curve = net.curve(horizon=100)
    table = vorlask.sweep(net, {"alpha": numpy.linspace(0, 1, 41)}, horizon=100)

Errors: ValueError for a bad network or argument, TooLarge (a ValueError)
beyond a limit, OSError for a file that cannot be read. Work whose chain would
take more than 80 % of the memory available when it starts raises TooLarge
before it builds anything.)";

const char* const NetworkDoc = R"(A network of N nodes: symmetric 0/1 links and three probabilities per node.

Network(links, alpha=1.0, beta=1.0, gamma=1.0)

links is an (N, N) array of 0 and 1 (integers, booleans or floats), symmetric
with a zero diagonal, 2 <= N <= 1000. alpha, beta and gamma are each a number
for every node or an (N,) array, every value in [0, 1]. The process starts
from the window's start state: no partners, no pointers, counters at 0.
Anything else raises ValueError naming the entry at fault.)";

const char* const ProgressArgument =
    "progress: None, or a callable taking the fraction done (0 to 1), called from this thread a few\n"
    "    times a second at most and once with 1.0 at the end; an exception it raises stops the work.\n";

std::string withProgress(const std::string& text) { return text + ProgressArgument; }

const char* const ChainArgument =
    "chain: whose one-step weights: \"process\", the step's own (Network.simulate's), or \"window\",\n"
    "    the window's analysis (Network.report's, the figures of version 1).\n";

const char* const LimitArguments =
    "jobs: threads to work on, 0 for every core; the result is the same for any number.\n"
    "max_configurations: refuse networks with more configurations (TooLarge).\n";

void bindNetwork(py::module_& m) {
    py::class_<PythonNetwork> network(m, "Network", NetworkDoc);
    network.def(py::init(&networkFromArrays), "links"_a, "alpha"_a = 1.0, "beta"_a = 1.0, "gamma"_a = 1.0)
        .def_property_readonly(
            "node_count", [](const PythonNetwork& n) { return n.model.nodeCount; }, "The number of nodes N.")
        .def_property("links", &linksArray, &setLinks,
                      "The links, a read-only int32 array (N, N) of 0 and 1. Assigning an (N, N) array of 0 and 1, "
                      "symmetric with a zero diagonal, replaces them.")
        .def_property(
            "alpha", [](const PythonNetwork& n) { return parameterArray(n, NetworkModel::Alpha); },
            [](PythonNetwork& n, const py::object& v) { setParameter(n, NetworkModel::Alpha, v); },
            "alpha of every node, a read-only float64 array (N,). Assigning a number or an (N,) array in [0, 1] "
            "replaces it.")
        .def_property(
            "beta", [](const PythonNetwork& n) { return parameterArray(n, NetworkModel::Beta); },
            [](PythonNetwork& n, const py::object& v) { setParameter(n, NetworkModel::Beta, v); },
            "beta of every node, a read-only float64 array (N,). Assigning a number or an (N,) array in [0, 1] "
            "replaces it.")
        .def_property(
            "gamma", [](const PythonNetwork& n) { return parameterArray(n, NetworkModel::Gamma); },
            [](PythonNetwork& n, const py::object& v) { setParameter(n, NetworkModel::Gamma, v); },
            "gamma of every node, a read-only float64 array (N,). Assigning a number or an (N,) array in [0, 1] "
            "replaces it.")
        .def_property_readonly(
            "source",
            [](const PythonNetwork& n) -> py::object {
                if (n.name.empty()) return py::none();
                return py::str(n.name);
            },
            "The file the network was read from, or None for one built from arrays.")
        .def_property_readonly(
            "configuration_count",
            [](const PythonNetwork& n) {
                return py::int_(py::str(configurationCountText(neighbourLists(n.model))));
            },
            "The number of configurations of partner values, the size h of the chain, exactly, however large.")
        .def("data_block", &dataBlockOf,
             "The network's DATA: block as the window prints it (three decimals per parameter), a str that\n"
             "read_network and vorlask-cli read back.")
        .def("chain", &chainOf, py::kw_only(), "chain"_a = "process", "jobs"_a = 0,
             "max_configurations"_a = DefaultMaxConfigurations, "progress"_a = py::none(),
             withProgress("The exact Markov chain of the process, a Chain: chain.matrix (h x h one-step weights as a\n"
                          "scipy.sparse.csr_matrix), chain.marked and chain.configurations.\n\n" +
                          std::string(ChainArgument) + std::string(LimitArguments))
                 .c_str())
        .def("curve", &curveOf, "horizon"_a = 16, py::kw_only(), "per_configuration"_a = false,
             "chain"_a = "process", "jobs"_a = 0, "max_configurations"_a = DefaultMaxConfigurations,
             "progress"_a = py::none(),
             withProgress("The weight of being in an S configuration after 0 to horizon steps (horizon up to 100000),\n"
                          "averaged over every start configuration: a float64 array (horizon + 1,), the numbers of\n"
                          "`vorlask-cli steps`. per_configuration=True gives (horizon + 1, h) instead, row p the\n"
                          "weights after p steps from each configuration.\n\n" +
                          std::string(ChainArgument) + std::string(LimitArguments))
                 .c_str())
        .def("report", &reportOf, "options"_a = 31, "horizon"_a = 16, "columns"_a = 16, py::kw_only(),
             "progress"_a = py::none(),
             withProgress(
                 "The window's analysis report (its A-key output) as a str, byte for byte, within the window's\n"
                 "limits: up to 16384 configurations (TooLarge beyond) and horizons 1 to 32.\n\n"
                 "options: the sum of the pieces wanted, 1 progress lines, 2 transition table, 4 step table,\n"
                 "    8 summary, 16 DATA block.\n"
                 "horizon: the steps the step table covers.\n"
                 "columns: destination configurations per block of the transition table.\n")
                 .c_str())
        .def("simulate", &simulateRuns, "steps"_a, py::kw_only(), "every"_a = py::none(), "seed"_a = 1,
             "replicates"_a = 1, "start"_a = "start", "summary"_a = false, "confidence"_a = 0.95, "jobs"_a = 0,
             "progress"_a = py::none(),
             withProgress("Sampled runs of the pairing step, as `vorlask-cli simulate`: a dict of numpy columns\n"
                          "replicate, seed, step, node, successes (int64) and chance (float64), one row per node\n"
                          "after every `every`-th step and after the last (only the last when every is None);\n"
                          "pandas.DataFrame(runs) makes a table of it. Replicate r runs on a generator of its own\n"
                          "with the C library's rand() sequence for seed + r; seed 1 from the start state is the\n"
                          "window's own run.\n\n"
                          "start: where each replicate starts: \"start\", the network's start state; \"uniform\", a\n"
                          "    configuration drawn uniformly, decided by the replicate's seed on a generator apart\n"
                          "    from the step's; or a sequence of one partner value per node (-1 for a node without\n"
                          "    neighbours), the pointers then as after any step.\n"
                          "summary: instead, one row per node: node, chance (the mean over the replicates of the\n"
                          "    chance after the last step), low and high (its Student t interval, within [0, 1]) and\n"
                          "    replicates (int64); needs replicates >= 2 and no every.\n"
                          "confidence: the level of the summary's intervals, in (0, 1).\n"
                          "jobs: threads to work on, 0 for every core; the result is the same for any number.\n")
                 .c_str())
        .def(
            "settle",
            [](const PythonNetwork& n, double precision, const std::vector<double>& quantiles, bool perConfiguration,
               const std::string& chain, bool direct, long long maxIterations, long long jobs,
               long long maxConfigurations, const py::object& progress) {
                return settleOf(n, chainArgument(chain), {precision, direct, maxIterations}, quantiles,
                                perConfiguration, jobs, maxConfigurations, progress);
            },
            "precision"_a = 1e-9, py::kw_only(), "quantiles"_a = std::vector<double>{0.5, 0.9, 0.99},
            "per_configuration"_a = false, "chain"_a = "process", "direct"_a = false, "max_iterations"_a = 1000000,
            "jobs"_a = 0,
            "max_configurations"_a = DefaultMaxConfigurations, "progress"_a = py::none(),
            withProgress(
                "The long run, as `vorlask-cli settle`: the weight S configurations reach in the end, the mean\n"
                "steps until it arrives and the steps until each quantile of it, averaged over every start\n"
                "configuration, each with an interval that holds the exact value. A dict of numpy columns\n"
                "measure (limit, mean_steps, mean_steps_if_reached, steps_to_Q), value, low and high (float64,\n"
                "inf where the curve never gets there; a quantile the precision cannot bracket has value nan,\n"
                "low as far as known and high inf). per_configuration=True gives instead, per configuration\n"
                "(h,), limit, limit_low, limit_high, mean_steps, mean_steps_low, mean_steps_high,\n"
                "mean_steps_if_reached, mean_steps_if_reached_low and mean_steps_if_reached_high.\n\n"
                "precision: every interval is at most precision x max(1, |value|) wide; at least 1e-13, and at\n"
                "    least about 4e-16 times the steps a configuration takes to settle, which the rounding of\n"
                "    doubles allows (CapReached says so).\n"
                "quantiles: shares of the limit, each in (0, 1].\n"
                "direct: solve by a sparse LU factorisation (up to 20000 transient configurations).\n"
                "max_iterations: passes over the transitions before CapReached, which carries the\n"
                "    intervals reached.\n" +
                std::string(ChainArgument) + std::string(LimitArguments))
                .c_str())
        .def("rates", &ratesOf, py::kw_only(), "start"_a = "uniform", "precision"_a = 1e-9,
             "per_configuration"_a = false, "max_iterations"_a = 1000000, "jobs"_a = 0,
             "max_configurations"_a = DefaultMaxConfigurations, "progress"_a = py::none(),
             withProgress(
                 "Every node's long-run success rate, as `vorlask-cli rates`: the limit of its successes over the\n"
                 "steps, the chance the window shows, from a uniform start, each with an interval that holds its\n"
                 "exact value. A dict of numpy columns node (int64), rate, low and high (float64);\n"
                 "per_configuration=True gives configuration, node, rate, low and high, a row per start\n"
                 "configuration and node.\n\n"
                 "start: \"uniform\" or the partner of every node (-1 for a node without neighbours).\n"
                 "precision: every interval is at most this wide; at least 1e-12.\n"
                 "max_iterations: passes before CapReached.\n" +
                 std::string(LimitArguments))
                 .c_str())
        .def("gradient", &gradientOf, py::kw_only(), "measure"_a = "mean-steps", "precision"_a = 1e-9, "jobs"_a = 0,
             "max_configurations"_a = DefaultMaxConfigurations, "progress"_a = py::none(),
             withProgress(
                 "The derivative of the averaged limit, mean steps (first passage into the network's S) or every\n"
                 "node's rate with respect to every node's alpha, beta and gamma, as `vorlask-cli gradient`: a dict of\n"
                 "numpy columns measure, node (-1 but for rates), parameter (\"alpha[3]\"), value, derivative,\n"
                 "error and one_sided (at 0 or 1, from inside [0, 1]); derivative nan, error inf where the figure\n"
                 "jumps.\n\n" +
                 std::string(LimitArguments))
                 .c_str())
        .def(py::pickle(&networkState, &networkFromState))
        .def(
            "__eq__",
            [](const PythonNetwork& network, const py::object& other) -> py::object {
                // Anything but a Network is Python's to compare.
                if (!py::isinstance<PythonNetwork>(other)) return py::reinterpret_borrow<py::object>(Py_NotImplemented);
                return py::bool_(sameNetwork(network, other.cast<const PythonNetwork&>()));
            },
            "Equal links and parameters.")
        .def("__repr__", &networkRepr);
    network.attr("__hash__") = py::none();
}

void bindChain(py::module_& m) {
    py::class_<PythonChain>(m, "Chain",
                            "The exact Markov chain of a network, from Network.chain(): h configurations, their\n"
                            "one-step weights and their S marks, in the order of vorlask-cli export.")
        .def_property_readonly("matrix", &chainMatrix,
                               "The one-step weights, a float64 scipy.sparse.csr_matrix (h x h): row = from, "
                               "column = to, sorted columns, no duplicates, no stored zeros. Made once, on first "
                               "use, over the engine's arrays without copying them.")
        .def_property_readonly(
            "marked", [](const PythonChain& c) { return c.marked; },
            "Whether each configuration is marked S, a read-only bool array (h,).")
        .def_property_readonly(
            "configurations", [](const PythonChain& c) { return c.configurations; },
            "The partner of every node in each configuration, a read-only int32 array (h, N), -1 for nodes "
            "without neighbours; node 0 varies fastest.")
        .def_property_readonly(
            "marked_count", [](const PythonChain& c) { return c.markedCount; }, "The number of S configurations.")
        .def_property_readonly(
            "rules", [](const PythonChain& c) { return std::string(chainRulesName(c.rules)); },
            "Whose one-step weights these are: \"process\" or \"window\", as the chain argument said.")
        .def("__repr__", &chainRepr);
}

}  // namespace

PYBIND11_MODULE(_vorlask, m) {
    // Types created from here on are named vorlask.Network, not vorlask._vorlask.Network.
    m.attr("__module__") = "vorlask";
    m.doc() = ModuleDoc;
    m.attr("__version__") = VORLASK_VERSION;
    m.attr("DEFAULT_MAX_CONFIGURATIONS") = DefaultMaxConfigurations;
    addExceptions(m);
    bindChain(m);  // first, so that signatures name the Chain that Network.chain returns
    bindNetwork(m);
    bindOptimize(m);
    m.def("read_network", &readNetwork, "path"_a,
          "The network of the first DATA: block in the file at path (str, bytes or path-like, as open()\n"
          "takes them), as vorlask-cli reads it: text before the DATA: line is skipped, so the saved output\n"
          "of a window session will do, and values within 0.0005 of a 64th read as that 64th. \"-\" reads the\n"
          "interpreter's standard input; \"./-\" names a file called -. OSError when the file cannot be read,\n"
          "ValueError naming the file and line of a bad block, KeyboardInterrupt on Ctrl+C while it waits.");
    m.def(
        "sweep",
        [](const PythonNetwork& network, const py::dict& vary, std::optional<long long> horizon,
           const std::string& measure, const std::string& chain, std::optional<double> precision,
           std::optional<bool> direct, std::optional<long long> maxIterations, long long jobs,
           long long maxConfigurations, std::pair<long long, long long> shard, const py::object& progress) {
            checkArgumentsApply(measure, horizon.has_value(), precision.has_value() || maxIterations.has_value(),
                                direct.has_value());
            const LongRunArguments defaults;
            return sweepTable(network, chainArgument(chain), vary, horizon.value_or(16), measure,
                              {precision.value_or(defaults.precision), direct.value_or(defaults.direct),
                               maxIterations.value_or(defaults.maxIterations)},
                              jobs, maxConfigurations, shard, progress);
        },
        "network"_a, "vary"_a, py::kw_only(), "horizon"_a = py::none(), "measure"_a = "curve", "chain"_a = "process",
        "precision"_a = py::none(), "direct"_a = py::none(), "max_iterations"_a = py::none(), "jobs"_a = 0,
        "max_configurations"_a = DefaultMaxConfigurations, "shard"_a = std::pair<long long, long long>(1, 1),
        "progress"_a = py::none(),
        withProgress(
            "A measure at every point of a parameter grid, as `vorlask-cli sweep`: a dict of numpy columns,\n"
            "one per varied parameter named as in vary, then with measure=\"curve\" the exact success curve,\n"
            "step (int64) and success (float64), a row per point and step 0 to horizon; with \"limit\" or\n"
            "\"mean-steps\" the long run of each point as Network.settle gives it, a row per point with\n"
            "limit, limit_low, limit_high, mean_steps, mean_steps_low, mean_steps_high, mean_steps_if_reached,\n"
            "mean_steps_if_reached_low and mean_steps_if_reached_high; with \"rates\" every node's long-run rate\n"
            "from a uniform start as Network.rates gives it, node, rate, low and high, a row per point and node.\n\n"
            "vary: a dict from names to values: \"alpha\", \"beta\" or \"gamma\" of every node, or \"alpha[2]\"\n"
            "    of node 2 alone, each to a number or a list or array of numbers in [0, 1]. Several names\n"
            "    give their cross product, the first varying slowest.\n"
            "horizon: the last step of measure=\"curve\", 16 unless given; refused for the long run.\n"
            "precision, max_iterations: as for Network.settle, for the long run and rates only; direct for\n"
            "    the long run only.\n"
            "shard: (K, N), only the K-th of N contiguous blocks of the points, as vorlask-cli sweep --shard K/N:\n"
            "    the shards' columns joined in order are the whole sweep's.\n" +
            std::string(ChainArgument) + std::string(LimitArguments))
            .c_str());
}
