#pragma once

#include <pybind11/pybind11.h>

#include "python_network.h"

// Network.gradient: the columns of `vorlask-cli gradient`.
pybind11::dict gradientOf(const PythonNetwork& network, const std::string& measure, double precision, long long jobs,
                          long long maxConfigurations, const pybind11::object& progress);

// vorlask.optimize and vorlask.objective.
void bindOptimize(pybind11::module_& m);
