#include "cli/sweep_grid.h"

#include <cmath>
#include <cstdlib>
#include <regex>

#include "cli/cli_error.h"
#include "cli/number_text.h"
#include "model/analysis.h"
#include "model/parallel.h"
#include "model/success_curves.h"
#include "model/work_progress.h"

namespace {

// Tolerance of the last point of a range: FROM + k x STEP may land a rounding
// error above TO when TO is meant to be on the grid (0:0.3:0.1).
constexpr double RangeEndTolerance = 1e-9;

[[noreturn]] void refuse(const std::string& vary, const std::string& why) {
    throw CliError(ExitBadInput, "--vary " + vary + ": " + why);
}

double parseValue(const std::string& vary, const std::string& text) {
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0') refuse(vary, "\"" + text + "\" is not a number");
    if (!std::isfinite(value)) refuse(vary, "\"" + text + "\" is not finite");
    return value;
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
            throw CliError(ExitBeyondLimit,
                           "--vary " + vary + ": more than " + std::to_string(MaxSweepPoints) + " values");
        values.push_back(value > to ? to : value);  // only a rounding error can put it there
    }
    return values;
}

}  // namespace

SweepAxis parseSweepAxis(const std::string& vary) {
    static const std::regex form(R"((alpha|beta|gamma)(?:\[(\d{1,9})\])?=(.+))");
    std::smatch parts;
    if (!std::regex_match(vary, parts, form))
        refuse(vary, "expected NAME=FROM:TO:STEP or NAME=V1,V2,... with NAME alpha, beta or gamma, or alpha[i] "
                     "for node i");
    SweepAxis axis;
    axis.name = vary.substr(0, vary.find('='));
    const std::string name = parts[1].str();
    axis.parameter = name == "alpha" ? NetworkModel::Alpha : name == "beta" ? NetworkModel::Beta : NetworkModel::Gamma;
    if (parts[2].matched) axis.node = std::stoi(parts[2].str());
    const std::string values = parts[3].str();
    const std::vector<std::string> range = split(values, ':');
    if (range.size() == 3) {
        axis.values = rangeValues(vary, range);
    } else if (range.size() == 1) {
        for (const auto& text : split(values, ',')) axis.values.push_back(parseValue(vary, text));
    } else {
        refuse(vary, "a range is FROM:TO:STEP");
    }
    for (const double value : axis.values)
        if (!(value >= 0.0 && value <= 1.0)) refuse(vary, "the value " + numberText(value) + " is outside [0, 1]");
    return axis;
}

SweepGrid::SweepGrid(std::vector<SweepAxis> axes) : axes_(std::move(axes)) {
    for (const auto& axis : axes_) {
        pointCount_ *= static_cast<long long>(axis.values.size());
        if (pointCount_ > MaxSweepPoints)
            throw CliError(ExitBeyondLimit, "the sweep has more than " + std::to_string(MaxSweepPoints) + " points");
    }
}

std::vector<double> SweepGrid::valuesAt(long long point) const {
    std::vector<double> values(axes_.size());
    for (size_t k = axes_.size(); k-- > 0;) {
        const long long size = static_cast<long long>(axes_[k].values.size());
        values[k] = axes_[k].values[static_cast<size_t>(point % size)];
        point /= size;
    }
    return values;
}

void SweepGrid::apply(long long point, NetworkModel& network) const {
    const std::vector<double> values = valuesAt(point);
    for (size_t k = 0; k < axes_.size(); ++k) {
        std::vector<double>& parameter = network.params[axes_[k].parameter];
        if (axes_[k].node < 0)
            parameter.assign(parameter.size(), values[k]);
        else
            parameter[axes_[k].node] = values[k];
    }
}

void SweepGrid::checkNodes(int nodeCount) const {
    for (const auto& axis : axes_)
        if (axis.node >= nodeCount)
            throw CliError(ExitBadInput, "--vary " + axis.name + ": the network has nodes 0 to " +
                                             std::to_string(nodeCount - 1));
}

namespace {

// Configurations from which rows are worth spreading over threads within one
// point rather than running points side by side.
constexpr int ConfigurationsForParallelPoint = 1 << 18;

}  // namespace

std::vector<std::vector<double>> sweepCurves(const NetworkModel& network, const SweepGrid& grid, long long first,
                                             long long count, int configurations, int horizon, int jobs,
                                             WorkProgress* progress) {
    std::vector<std::vector<double>> curves(static_cast<size_t>(count));
    const bool pointsSideBySide = configurations < ConfigurationsForParallelPoint && count > 1;
    const int pointJobs = pointsSideBySide ? 1 : jobs;
    const NeighbourLists neighbours = neighbourLists(network);
    forEachChunk(pointsSideBySide ? jobs : 1, count, 1, [&](int, long long k, long long, long long) {
        NetworkModel point = network;
        grid.apply(first + k, point);
        const MarkovChain chain = buildMarkovChain(point, neighbours, configurations, pointJobs);
        curves[k] = computeSuccessCurves(chain.transitions, chain.marked, horizon, false, pointJobs).average;
        addProgress(progress, 1);
    });
    return curves;
}

Shard parseShard(const std::string& text) {
    static const std::regex form(R"((\d{1,9})/(\d{1,9}))");
    std::smatch parts;
    Shard shard;
    if (std::regex_match(text, parts, form)) {
        shard.index = std::stoll(parts[1].str());
        shard.count = std::stoll(parts[2].str());
        if (shard.index >= 1 && shard.index <= shard.count) return shard;
    }
    throw CliError(ExitBadInput, "--shard " + text + ": expected K/N with 1 <= K <= N");
}
