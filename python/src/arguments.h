#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <string>
#include <vector>

#include "model/chain/chain_estimate.h"

// Checks and conversions of the module's arguments. Every refusal is an
// EngineError (bad input), which Python sees as ValueError.

[[noreturn]] void refuseArgument(const std::string& message);

// A double as it reads back exactly, "nan" and "inf" included.
std::string numberText(double value);

// "(3, 4)" or "(3,)", as numpy writes shapes.
std::string shapeText(const pybind11::array& array);

// numpy.asarray(value) as float64 in C order, once its kind of number is one
// of `kinds` (numpy's letters: b bool, i signed, u unsigned, f floating);
// otherwise a refusal saying that `name` must hold `kindText`.
pybind11::array_t<double, pybind11::array::c_style> realArray(const pybind11::handle& value,
                                                              const std::string& name, const std::string& kinds,
                                                              const std::string& kindText);

// A number or a one-dimensional array of real numbers, as a list.
std::vector<double> realValues(const pybind11::handle& value, const std::string& name);

// Refused unless `value` lies in [low, high]; `name` and the value start the message.
void checkRange(const std::string& name, long long value, long long low, long long high);

// The memory a chain may take, as vorlask-cli's default: 80 % of what the
// system reports available when the work starts; beyond it TooLarge, before
// anything is built, rather than a kernel that ends the interpreter.
ChainLimits memoryLimits(const std::string& networkName);

// The jobs argument: 0 for every core the process may use, otherwise up to 4096.
int jobsArgument(long long jobs);

// The chain argument: "process" or "window".
ChainRules chainArgument(const std::string& chain);
