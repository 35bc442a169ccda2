#include "arguments.h"

#include <cstdio>

#include "model/support/engine_error.h"
#include "model/support/parallel.h"
#include "model/support/system_memory.h"
#include "model/text/message_text.h"
#include "model/text/network_input.h"

namespace py = pybind11;

namespace {

constexpr long long MaxJobs = 4096;

}  // namespace

void refuseArgument(const std::string& message) { throw EngineError(EngineError::BadInput, message); }

std::string numberText(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

std::string shapeText(const py::array& array) {
    std::string text = "(";
    for (py::ssize_t d = 0; d < array.ndim(); ++d) text += (d ? ", " : "") + std::to_string(array.shape(d));
    return text + (array.ndim() == 1 ? ",)" : ")");
}

py::array_t<double, py::array::c_style> realArray(const py::handle& value, const std::string& name,
                                                   const std::string& kinds, const std::string& kindText) {
    const py::array array = py::module_::import("numpy").attr("asarray")(value);
    if (kinds.find(array.dtype().kind()) == std::string::npos)
        refuseArgument(name + " must hold " + kindText + ", not " + py::str(array.dtype()).cast<std::string>());
    return py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(array);
}

std::vector<double> realValues(const py::handle& value, const std::string& name) {
    const auto array = realArray(value, name, "iuf", "real numbers");
    if (array.ndim() > 1) refuseArgument(name + " must be a number or a list of numbers, not of shape " + shapeText(array));
    return std::vector<double>(array.data(), array.data() + array.size());
}

void checkRange(const std::string& name, long long value, long long low, long long high) {
    if (value < low || value > high)
        refuseArgument(name + " " + std::to_string(value) + " is outside " + std::to_string(low) + " to " +
                       std::to_string(high));
}

int jobsArgument(long long jobs) {
    checkRange("jobs", jobs, 0, MaxJobs);
    return jobs == 0 ? availableJobs() : static_cast<int>(jobs);
}

ChainLimits memoryLimits(const std::string& networkName) {
    ChainLimits limits;
    limits.maxBytes = 0.8 * availableMemory();
    limits.name = locationOf(networkName);
    limits.limitName = "80 % of the memory available";
    return limits;
}

ChainRules chainArgument(const std::string& chain) {
    ChainRules rules = ChainRules::Process;
    if (!parseChainRules(chain, rules))
        refuseArgument("chain " + quotedText(chain) + " is neither \"process\" nor \"window\"");
    return rules;
}
