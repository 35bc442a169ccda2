#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <string>

#include "model/network/network.h"

// What vorlask.Network holds: the network, in its start state, and the name
// of the file it was read from (empty for one built from arrays), which
// starts the messages about it as it starts the command's.
struct PythonNetwork {
    NetworkModel model;
    std::string name;
};

// The network of links and parameters given as numpy arrays or anything
// numpy.asarray takes; EngineError (bad input) for a wrong shape, a wrong
// kind of number, a link other than 0 or 1, an asymmetric link or a node
// linked to itself, a parameter outside [0, 1] or not a number; beyond a
// limit past MaxBlockNodes nodes.
PythonNetwork networkFromArrays(const pybind11::object& links, const pybind11::object& alpha,
                                const pybind11::object& beta, const pybind11::object& gamma);

// Replace the links, or one parameter, with the same checks.
void setLinks(PythonNetwork& network, const pybind11::object& links);
void setParameter(PythonNetwork& network, int parameter, const pybind11::object& values);

// Copies for Python: links as int32 (N, N), a parameter as float64 (N,),
// both read-only.
pybind11::array linksArray(const PythonNetwork& network);
pybind11::array parameterArray(const PythonNetwork& network, int parameter);

// The configuration count within max_configurations, after checking the
// limit itself; EngineError (beyond a limit) past it.
int configurationsWithin(const PythonNetwork& network, long long maxConfigurations);
