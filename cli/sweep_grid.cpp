#include "cli/sweep_grid.h"

#include <cmath>
#include <cstdlib>

#include "cli/cli_error.h"
#include "cli/number_text.h"
#include "model/support/engine_error.h"
#include "model/text/message_text.h"

namespace {

// Tolerance of the last point of a range: FROM + k x STEP may land a rounding
// error above TO when TO is meant to be on the grid (0:0.3:0.1).
constexpr double RangeEndTolerance = 1e-9;

[[noreturn]] void refuse(const std::string& vary, const std::string& why) {
    throw CliError(ExitBadInput, "--vary " + quotedText(vary) + ": " + why);
}

double parseValue(const std::string& vary, const std::string& text) {
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0') refuse(vary, quotedText(text) + " is not a number");
    if (!std::isfinite(value)) refuse(vary, quotedText(text) + " is not finite");
    return value;
}

// The message of an engine error about an axis without the axis's name.
std::string afterName(const std::string& message) {
    const size_t colon = message.find(": ");
    return colon == std::string::npos ? message : message.substr(colon + 2);
}

bool namesAnAxis(const std::string& name) {
    try {
        sweepAxis(name, {});
        return true;
    } catch (const EngineError&) {
        return false;
    }
}

// 1 to 9 decimal digits.
bool decimalBetween(const std::string& text, long long& value) {
    if (text.empty() || text.size() > 9) return false;
    value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    return true;
}

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t at; (at = text.find(separator, start)) != std::string::npos; start = at + 1)
        parts.push_back(text.substr(start, at - start));
    parts.push_back(text.substr(start));
    return parts;
}

std::vector<double> rangeValues(const std::string& vary, const std::vector<std::string>& parts) {
    const double from = parseValue(vary, parts[0]);
    const double to = parseValue(vary, parts[1]);
    const double step = parseValue(vary, parts[2]);
    if (!(step > 0)) refuse(vary, "the step must be above 0");
    if (from > to) refuse(vary, "FROM is above TO");
    const double last = to + step * RangeEndTolerance;
    std::vector<double> values;
    for (long long k = 0;; ++k) {
        const double value = from + static_cast<double>(k) * step;
        if (value > last) break;
        if (static_cast<long long>(values.size()) == MaxSweepPoints)
            throw CliError(ExitBeyondLimit, "--vary " + quotedText(vary) + ": more than " +
                                                std::to_string(MaxSweepPoints) + " values");
        values.push_back(value > to ? to : value);  // only a rounding error can put it there
    }
    return values;
}

}  // namespace

SweepAxis parseSweepAxis(const std::string& vary) {
    const size_t equals = vary.find('=');
    if (equals == std::string::npos || equals + 1 == vary.size() || !namesAnAxis(vary.substr(0, equals)))
        refuse(vary, "expected NAME=FROM:TO:STEP or NAME=V1,V2,... with NAME alpha, beta or gamma, or alpha[i] "
                     "for node i");
    const std::string values = vary.substr(equals + 1);
    const std::vector<std::string> range = split(values, ':');
    std::vector<double> parsed;
    if (range.size() == 3) {
        parsed = rangeValues(vary, range);
    } else if (range.size() == 1) {
        for (const auto& text : split(values, ',')) parsed.push_back(parseValue(vary, text));
    } else {
        refuse(vary, "a range is FROM:TO:STEP");
    }
    try {
        return sweepAxis(vary.substr(0, equals), std::move(parsed));
    } catch (const EngineError& e) {
        throw CliError(ExitBadInput, "--vary " + quotedText(vary) + ": " + afterName(e.what()));
    }
}

void checkSweepNodes(const SweepGrid& grid, int nodeCount) {
    try {
        grid.checkNodes(nodeCount);
    } catch (const EngineError& e) {
        throw CliError(ExitBadInput, std::string("--vary ") + e.what());
    }
}

Shard parseShard(const std::string& text) {
    Shard shard;
    const size_t slash = text.find('/');
    if (slash != std::string::npos && decimalBetween(text.substr(0, slash), shard.index) &&
        decimalBetween(text.substr(slash + 1), shard.count) && shard.index >= 1 && shard.index <= shard.count)
        return shard;
    throw CliError(ExitBadInput, "--shard " + quotedText(text) + ": expected K/N with 1 <= K <= N");
}
