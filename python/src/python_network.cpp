#include "python_network.h"

#include <cmath>
#include <vector>

#include "arguments.h"
#include "model/analysis.h"
#include "model/support/engine_error.h"
#include "model/text/network_block.h"
#include "model/text/network_input.h"
#include "owned_arrays.h"

namespace py = pybind11;

namespace {

const char* const ParameterNames[3] = {"alpha", "beta", "gamma"};

std::vector<std::vector<int>> linkRows(const py::handle& value, int expectedNodes = -1) {
    const auto array = realArray(value, "links", "biuf", "0 and 1 (integers, booleans or floats)");
    if (array.ndim() != 2 || array.shape(0) != array.shape(1))
        refuseArgument("links must be a square array of shape (N, N), not " + shapeText(array));
    const long long n = array.shape(0);
    if (expectedNodes >= 0 && n != expectedNodes)
        refuseArgument("links must have shape (" + std::to_string(expectedNodes) + ", " + std::to_string(expectedNodes) +
               "), the network's nodes, not " + shapeText(array) + "; a new Network takes other node counts");
    if (n < NetworkModel::MinNodeCount) refuseArgument("links has " + std::to_string(n) + " nodes; a network needs at least 2");
    if (n > MaxBlockNodes)
        throw EngineError(EngineError::BeyondLimit, "links has " + std::to_string(n) + " nodes, more than " +
                                                        std::to_string(MaxBlockNodes) +
                                                        ", the most a network may have");
    const auto at = array.unchecked<2>();
    auto where = [](long long i, long long j) { return "links[" + std::to_string(i) + ", " + std::to_string(j) + "]"; };
    std::vector<std::vector<int>> rows(static_cast<size_t>(n), std::vector<int>(static_cast<size_t>(n)));
    for (long long i = 0; i < n; ++i) {
        for (long long j = 0; j < n; ++j) {
            const double link = at(i, j);
            if (link != 0.0 && link != 1.0)
                refuseArgument(where(i, j) + " is " + numberText(link) + "; only 0 and 1 may stand there");
            rows[i][j] = link == 1.0;
        }
    }
    for (long long i = 0; i < n; ++i) {
        if (rows[i][i]) refuseArgument(where(i, i) + " is 1: node " + std::to_string(i) + " is linked to itself");
        for (long long j = 0; j < i; ++j)
            if (rows[i][j] != rows[j][i])
                refuseArgument("links must be symmetric: " + where(i, j) + " is " + std::to_string(rows[i][j]) + " but " +
                       where(j, i) + " is " + std::to_string(rows[j][i]));
    }
    return rows;
}

// One value for every node, or one per node.
std::vector<double> parameterValues(int parameter, const py::handle& value, int n) {
    const std::string name = ParameterNames[parameter];
    const auto array = realArray(value, name, "iuf", "real numbers");
    if (array.ndim() > 1 || (array.ndim() == 1 && array.shape(0) != n))
        refuseArgument(name + " must be a number or an array of shape (" + std::to_string(n) + ",), not " + shapeText(array));
    std::vector<double> values(static_cast<size_t>(n), array.ndim() == 0 ? *array.data() : 0.0);
    if (array.ndim() == 1) values.assign(array.data(), array.data() + n);
    for (int i = 0; i < n; ++i) {
        const std::string where = array.ndim() == 0 ? name : name + "[" + std::to_string(i) + "]";
        if (std::isnan(values[i])) refuseArgument(where + " is nan, not a number in [0, 1]");
        if (!(values[i] >= 0.0 && values[i] <= 1.0)) refuseArgument(where + " is " + numberText(values[i]) + ", outside [0, 1]");
        // -0.0 is 0 to the process, and printed as the window prints 0.
        values[i] += 0.0;
    }
    return values;
}

}  // namespace

PythonNetwork networkFromArrays(const py::object& links, const py::object& alpha, const py::object& beta,
                                const py::object& gamma) {
    std::vector<std::vector<int>> rows = linkRows(links);
    const int n = static_cast<int>(rows.size());
    PythonNetwork network;
    network.model.resize(n);
    network.model.links = std::move(rows);
    const py::handle parameters[3] = {alpha, beta, gamma};
    for (int p = 0; p < 3; ++p) network.model.params[p] = parameterValues(p, parameters[p], n);
    return network;
}

void setLinks(PythonNetwork& network, const py::object& links) {
    network.model.links = linkRows(links, network.model.nodeCount);
}

void setParameter(PythonNetwork& network, int parameter, const py::object& values) {
    network.model.params[parameter] = parameterValues(parameter, values, network.model.nodeCount);
}

py::array linksArray(const PythonNetwork& network) {
    const int n = network.model.nodeCount;
    std::vector<int32_t> links;
    links.reserve(static_cast<size_t>(n) * n);
    for (const auto& row : network.model.links) links.insert(links.end(), row.begin(), row.end());
    return readOnlyArray(std::move(links), {n, n});
}

py::array parameterArray(const PythonNetwork& network, int parameter) {
    std::vector<double> values = network.model.params[parameter];
    return readOnlyArray(std::move(values), {network.model.nodeCount});
}

int configurationsWithin(const PythonNetwork& network, long long maxConfigurations) {
    checkRange("max_configurations", maxConfigurations, 1, MaxConfigurationsLimit);
    NetworkInput input;
    input.name = network.name;
    input.network = network.model;
    return configurationCountWithin(input, maxConfigurations, "max_configurations");
}
