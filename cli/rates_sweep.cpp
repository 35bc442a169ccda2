#include "cli/rates_sweep.h"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "cli/cli_error.h"
#include "cli/number_text.h"
#include "cli/output.h"
#include "cli/rates_options.h"
#include "cli/svg_chart.h"
#include "cli/terminal_progress.h"
#include "model/support/work_progress.h"

namespace {

void writeCsv(Output& out, const RatesSweep& sweep, long long first, const std::vector<RateFigures>& figures) {
    std::string text;
    if (sweep.shard.index == 1) {
        for (const auto& axis : sweep.grid.axes()) text += axis.name + ",";
        text += "node,rate,low,high\n";
    }
    for (size_t k = 0; k < figures.size(); ++k) {
        std::string values;
        for (const double value : sweep.grid.valuesAt(first + static_cast<long long>(k))) {
            appendNumber(values, value);
            values += ",";
        }
        for (int i = 0; i < figures[k].nodes; ++i) {
            text += values + std::to_string(i);
            const BoundedFigure& rate = figures[k].rates[i];
            for (const double value : {rate.value, rate.low, rate.high}) {
                text += ",";
                appendNumber(text, value);
            }
            text += "\n";
        }
        out.writeWhenLarge(text);
    }
    out.stream() << text;
}

void writeJson(Output& out, const RatesSweep& sweep, long long first, const std::vector<RateFigures>& figures) {
    nlohmann::ordered_json document;
    document["chain"] = "process";
    document["nodes"] = sweep.input.network.nodeCount;
    document["configurations"] = sweep.configurations;
    document["measure"] = "rates";
    document["precision"] = sweep.precision;
    document["parameters"] = nlohmann::json::array();
    for (const auto& axis : sweep.grid.axes()) document["parameters"].push_back(axis.name);
    if (sweep.shard.count != 1) document["shard"] = std::to_string(sweep.shard.index) + "/" + std::to_string(sweep.shard.count);
    document["points"] = nlohmann::json::array();
    for (size_t k = 0; k < figures.size(); ++k) {
        nlohmann::ordered_json point;
        const std::vector<double> values = sweep.grid.valuesAt(first + static_cast<long long>(k));
        for (size_t a = 0; a < values.size(); ++a) point[sweep.grid.axes()[a].name] = values[a];
        point["rates"] = nlohmann::json::array();
        for (int i = 0; i < figures[k].nodes; ++i) {
            nlohmann::ordered_json rate;
            rate["node"] = i;
            rate["rate"] = figures[k].rates[i].value;
            rate["low"] = figures[k].rates[i].low;
            rate["high"] = figures[k].rates[i].high;
            point["rates"].push_back(rate);
        }
        document["points"].push_back(point);
    }
    out.stream() << document.dump() << "\n";
}

LineChart ratesChart(const RatesSweep& sweep, long long first, const std::vector<RateFigures>& figures) {
    const auto& axes = sweep.grid.axes();
    const std::string network = legendLabels({sweep.input.path})[0];
    LineChart chart{"Long-run success rates, " + network, axes[0].name, "rate", {}};
    std::vector<std::pair<int, double>> keys;
    for (size_t k = 0; k < figures.size(); ++k) {
        const std::vector<double> values = sweep.grid.valuesAt(first + static_cast<long long>(k));
        const double second = values.size() > 1 ? values[1] : 0.0;
        for (int i = 0; i < figures[k].nodes; ++i) {
            const std::pair<int, double> key{i, second};
            auto found = std::find(keys.begin(), keys.end(), key);
            if (found == keys.end()) {
                keys.push_back(key);
                std::string label = "node " + std::to_string(i);
                if (axes.size() > 1) label += ", " + axes[1].name + " = " + numberText(second);
                chart.series.push_back(ChartSeries{label, {}, {}});
                found = keys.end() - 1;
            }
            ChartSeries& series = chart.series[static_cast<size_t>(found - keys.begin())];
            series.x.push_back(values[0]);
            series.y.push_back(figures[k].rates[i].value);
            series.low.push_back(figures[k].rates[i].low);
            series.high.push_back(figures[k].rates[i].high);
        }
    }
    return chart;
}

}  // namespace

void runRatesSweep(const RatesSweep& sweep, Output& out, Output* plot) {
    if (sweep.chain.rules != ChainRules::Process)
        throw CliError(ExitBadInput, "--chain window has no rates: the window's analysis weighs no step the "
                                     "process takes, so it has no successes to count; rates are the process's");
    const RateOptions options = rateOptions(sweep.precision, sweep.maxIterations, false, sweep.chain.jobs);
    const long long first = sweep.shard.begin(sweep.grid.pointCount());
    const long long count = sweep.shard.end(sweep.grid.pointCount()) - first;
    WorkProgress progress;
    progress.begin("sweeping", count);
    std::vector<RateFigures> figures;
    {
        TerminalProgress display(progress);
        try {
            figures = sweepRates(sweep.input.network, sweep.grid, first, count, sweep.configurations, options,
                                 &progress, chainLimits(sweep.input, sweep.chain));
        } catch (const RatesCapReached& e) {
            throw CliError(ExitFailure, locationOf(sweep.input.name) + e.what());
        }
    }
    if (sweep.format == "json")
        writeJson(out, sweep, first, figures);
    else
        writeCsv(out, sweep, first, figures);
    if (plot) plot->stream() << renderSvg(styledChart(ratesChart(sweep, first, figures), sweep.chart));
}
