#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <string>

#include "model/rules/outcome_rules.h"
#include "python_network.h"

// What vorlask.Chain holds: the chain's arrays, already numpy's, and the
// scipy matrix made from them once asked for.
struct PythonChain {
    ChainRules rules = ChainRules::Process;
    int configurationCount = 0;
    int nodeCount = 0;
    int markedCount = 0;
    pybind11::array rowStarts;  // CSR indptr, int32 or int64 like columns
    pybind11::array columns;    // CSR indices
    pybind11::array weights;    // CSR data, float64
    pybind11::array marked;         // bool (h,)
    pybind11::array configurations;  // int32 (h, N)
    pybind11::object matrix;         // None until made
};

PythonChain chainOf(const PythonNetwork& network, const std::string& chain, long long jobs,
                    long long maxConfigurations, const pybind11::object& progress);

// scipy.sparse.csr_matrix over the chain's arrays, made on first use.
pybind11::object chainMatrix(PythonChain& chain);

// The averaged success curve (horizon + 1,), or per configuration
// (horizon + 1, h).
pybind11::array curveOf(const PythonNetwork& network, long long horizon, bool perConfiguration, const std::string& chain,
                        long long jobs,
                        long long maxConfigurations, const pybind11::object& progress);

// The window's analysis report for these option bits.
std::string reportOf(const PythonNetwork& network, long long options, long long horizon, long long columns,
                     const pybind11::object& progress);

// The DATA: block as the window prints it.
std::string dataBlockOf(const PythonNetwork& network);
