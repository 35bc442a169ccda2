#include "model/studies/optimize.h"

#include <nlopt.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <exception>
#include <limits>
#include <random>

#include "model/chain/markov_chain.h"
#include "model/network/configurations.h"
#include "model/rates/rates.h"
#include "model/sensitivity/gradient.h"
#include "model/support/engine_error.h"
#include "model/support/work_progress.h"
#include "model/text/network_block.h"

namespace {

constexpr double SearchPrecision = 1e-8;

bool isRate(Objective objective) { return objective != Objective::MinimizeMeanSteps; }

void checkOptions(const NetworkModel& network, const OptimizeOptions& options) {
    if (options.variables.empty())
        throw EngineError(EngineError::BadInput, "there is nothing to move: name a parameter with --vary NAME=LOW:HIGH");
    if (options.starts < 1) throw EngineError(EngineError::BadInput, "--starts must be at least 1");
    if (options.objective == Objective::MaximizeRate && (options.node < 0 || options.node >= network.nodeCount))
        throw EngineError(EngineError::BadInput, "rate[" + std::to_string(options.node) + "]: the network has nodes 0 to " +
                                                     std::to_string(network.nodeCount - 1));
    for (const SweepAxis& variable : options.variables) {
        if (variable.node >= network.nodeCount)
            throw EngineError(EngineError::BadInput, variable.name + ": the network has nodes 0 to " +
                                                         std::to_string(network.nodeCount - 1));
        if (variable.values.size() != 2 || !(variable.values[0] <= variable.values[1]))
            throw EngineError(EngineError::BadInput, variable.name + ": LOW must not be above HIGH");
    }
}

// One search of the figure over the variables, its evaluations counted.
class Search {
public:
    Search(const NetworkModel& network, const OptimizeOptions& options, const ChainLimits& limits,
           const std::vector<bool>& target, WorkProgress* progress)
        : network_(network), options_(options), limits_(limits), target_(target), progress_(progress) {}

    NetworkModel at(const std::vector<double>& x) const {
        NetworkModel point = network_;
        for (size_t v = 0; v < options_.variables.size(); ++v) {
            const SweepAxis& variable = options_.variables[v];
            std::vector<double>& parameter = point.params[variable.parameter];
            if (variable.node < 0)
                std::fill(parameter.begin(), parameter.end(), x[v]);
            else
                parameter[variable.node] = x[v];
        }
        return point;
    }

    // evaluate() inside NLopt's callbacks, which would turn anything thrown
    // into a bare "nlopt failure": a refusal, a cap reached or a stop asked
    // for is kept, and the search stopped.
    const GradientFigures& evaluateInSearch(const std::vector<double>& x) {
        try {
            return evaluate(x);
        } catch (...) {
            failure_ = std::current_exception();
            throw nlopt::forced_stop();
        }
    }

    // Throws again what stopped the search, if anything did.
    void rethrowFailure() const {
        if (failure_) std::rethrow_exception(failure_);
    }

    // The figures at x (one, or every node's rate) and their gradients over
    // the variables; derivatives where a figure jumps count as 0.
    const GradientFigures& evaluate(const std::vector<double>& x) {
        if (x == lastX_) return last_;
        addProgress(progress_, 1);
        ++evaluations_;
        GradientOptions gradient;
        gradient.measure = isRate(options_.objective) ? GradientMeasure::Rates : GradientMeasure::MeanSteps;
        // The search needs the figures only as far as it can tell points
        // apart; the best one is certified at the precision asked.
        gradient.precision = std::max(options_.precision, SearchPrecision);
        gradient.jobs = options_.jobs;
        gradient.target = isRate(options_.objective) ? nullptr : &target_;
        last_ = computeGradient(at(x), gradient, limits_);
        lastX_ = x;
        return last_;
    }

    // The derivative of figure f over variable v: the sum over the nodes it moves.
    double derivative(const GradientFigures& figures, size_t f, size_t v) const {
        const SweepAxis& variable = options_.variables[v];
        const int n = figures.nodes;
        double sum = 0.0;
        for (int node = 0; node < n; ++node) {
            if (variable.node >= 0 && node != variable.node) continue;
            const double d = figures.derivative[f * 3 * n + static_cast<size_t>(variable.parameter) * n + node];
            if (std::isfinite(d)) sum += d;
        }
        return sum;
    }

    int evaluations() const { return evaluations_; }

private:
    const NetworkModel& network_;
    const OptimizeOptions& options_;
    const ChainLimits& limits_;
    const std::vector<bool>& target_;
    WorkProgress* progress_;
    std::vector<double> lastX_;
    GradientFigures last_;
    std::exception_ptr failure_;
    int evaluations_ = 0;
};

struct Box {
    std::vector<double> low, high;
};

Box boxOf(const OptimizeOptions& options) {
    Box box;
    for (const SweepAxis& variable : options.variables) {
        box.low.push_back(variable.values[0]);
        box.high.push_back(variable.values[1]);
    }
    return box;
}

// The starts: the network's values clamped into the box, then uniform draws.
std::vector<std::vector<double>> startsOf(const NetworkModel& network, const OptimizeOptions& options, const Box& box) {
    std::vector<std::vector<double>> starts;
    std::vector<double> own;
    for (size_t v = 0; v < options.variables.size(); ++v) {
        const SweepAxis& variable = options.variables[v];
        const double value = network.params[variable.parameter][variable.node < 0 ? 0 : variable.node];
        own.push_back(std::clamp(value, box.low[v], box.high[v]));
    }
    starts.push_back(own);
    std::mt19937_64 random(options.seed);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (int k = 1; k < options.starts; ++k) {
        std::vector<double> x;
        for (size_t v = 0; v < box.low.size(); ++v) x.push_back(box.low[v] + (box.high[v] - box.low[v]) * unit(random));
        starts.push_back(x);
    }
    return starts;
}

size_t figureOf(const OptimizeOptions& options) {
    return options.objective == Objective::MaximizeRate ? static_cast<size_t>(options.node) : 0;
}

// The figure the search follows at a point: for the least rate, the rate of
// the node lowest there.
size_t followedFigure(const OptimizeOptions& options, const GradientFigures& figures) {
    size_t f = figureOf(options);
    if (options.objective == Objective::MaximizeLeastRate)
        for (size_t i = 0; i < figures.values.size(); ++i)
            if (figures.values[i].value < figures.values[f].value) f = i;
    return f;
}

void stopWhenSettled(nlopt::opt& method, const OptimizeOptions& options) {
    method.set_xtol_rel(1e-7);
    method.set_ftol_rel(1e-12);
    method.set_maxeval(options.maxEvaluations);
}

// A figure and its gradient over the variables, by L-BFGS within the box.
double searchOne(Search& search, const OptimizeOptions& options, const Box& box, std::vector<double>& x) {
    const size_t n = x.size();
    struct Data {
        Search& search;
        const OptimizeOptions& options;
    } data{search, options};
    nlopt::opt method(nlopt::LD_LBFGS, static_cast<unsigned>(n));
    method.set_lower_bounds(box.low);
    method.set_upper_bounds(box.high);
    const auto objective = [](unsigned count, const double* at, double* gradient, void* raw) {
        Data& d = *static_cast<Data*>(raw);
        const std::vector<double> x(at, at + count);
        const GradientFigures& figures = d.search.evaluateInSearch(x);
        const size_t f = figureOf(d.options);
        if (gradient)
            for (unsigned v = 0; v < count; ++v) gradient[v] = d.search.derivative(figures, f, v);
        return figures.values[f].value;
    };
    if (options.objective == Objective::MinimizeMeanSteps)
        method.set_min_objective(objective, &data);
    else
        method.set_max_objective(objective, &data);
    stopWhenSettled(method, options);
    double best = 0.0;
    try {
        method.optimize(x, best);
    } catch (const nlopt::roundoff_limited&) {
        // The figure's own rounding stopped it: the point reached stands.
        best = objective(static_cast<unsigned>(n), x.data(), nullptr, &data);
    } catch (const nlopt::forced_stop&) {
        search.rethrowFailure();
        throw;
    }
    return best;
}

// The least rate: the largest t with t <= rate_i for every node, by MMA over
// the variables and t.
double searchLeast(Search& search, const OptimizeOptions& options, const Box& box, std::vector<double>& x) {
    const size_t n = x.size();
    std::vector<double> low = box.low, high = box.high;
    low.push_back(0.0);
    high.push_back(1.0);
    const GradientFigures& first = search.evaluate(x);
    double least = 1.0;
    for (const BoundedFigure& rate : first.values) least = std::min(least, rate.value);
    std::vector<double> y = x;
    y.push_back(least);
    nlopt::opt method(nlopt::LD_MMA, static_cast<unsigned>(n + 1));
    method.set_lower_bounds(low);
    method.set_upper_bounds(high);
    // The objective is t itself, the last variable.
    method.set_max_objective(
        [](unsigned count, const double* at, double* gradient, void*) {
            if (gradient) {
                std::fill(gradient, gradient + count, 0.0);
                gradient[count - 1] = 1.0;
            }
            return at[count - 1];
        },
        nullptr);
    struct Data {
        Search& search;
        size_t variables;
    } data{search, n};
    const int nodes = first.nodes;
    method.add_inequality_mconstraint(
        [](unsigned m, double* result, unsigned count, const double* at, double* gradient, void* raw) {
            Data& d = *static_cast<Data*>(raw);
            const std::vector<double> point(at, at + d.variables);
            const GradientFigures& figures = d.search.evaluateInSearch(point);
            for (unsigned i = 0; i < m; ++i) {
                result[i] = at[count - 1] - figures.values[i].value;
                if (!gradient) continue;
                for (size_t v = 0; v < d.variables; ++v) gradient[i * count + v] = -d.search.derivative(figures, i, v);
                gradient[i * count + count - 1] = 1.0;
            }
        },
        &data, std::vector<double>(static_cast<size_t>(nodes), 1e-12));
    stopWhenSettled(method, options);
    double best = 0.0;
    try {
        method.optimize(y, best);
    } catch (const nlopt::roundoff_limited&) {
    } catch (const nlopt::forced_stop&) {
        search.rethrowFailure();
        throw;
    }
    x.assign(y.begin(), y.begin() + static_cast<long>(n));
    const GradientFigures& reached = search.evaluate(x);
    least = 1.0;
    for (const BoundedFigure& rate : reached.values) least = std::min(least, rate.value);
    return least;
}

// The figure with its certified interval at the final network.
BoundedFigure certifiedFigure(const NetworkModel& network, const OptimizeOptions& options, const ChainLimits& limits,
                              const std::vector<bool>& target) {
    const NeighbourLists neighbours = neighbourLists(network);
    const int h = static_cast<int>(configurationCount(neighbours, MaxConfigurationsLimit));
    if (!isRate(options.objective)) {
        const MarkovChain chain = buildMarkovChainWithin(ChainRules::Process, network, neighbours, h, options.jobs,
                                                         limits, static_cast<double>(longRunMemory(h)));
        LongRunOptions longRun;
        longRun.precision = options.precision;
        longRun.jobs = options.jobs;
        return computeLongRun(chain.transitions, target, longRun).meanSteps;
    }
    RateOptions rates;
    rates.precision = std::max(options.precision, FinestRatePrecision);
    rates.jobs = options.jobs;
    const RateFigures figures = ratesWithin(network, neighbours, h, rates, limits);
    if (options.objective == Objective::MaximizeRate) return figures.rates[options.node];
    BoundedFigure least = figures.rates[0];
    for (const BoundedFigure& rate : figures.rates) {
        least.value = std::min(least.value, rate.value);
        least.low = std::min(least.low, rate.low);
        least.high = std::min(least.high, rate.high);
    }
    return least;
}

// The gradient's norm over the variables, those at a bound where it points
// out of the box left out.
double projectedNorm(Search& search, const OptimizeOptions& options, const Box& box, const std::vector<double>& x) {
    const GradientFigures& figures = search.evaluate(x);
    const size_t f = followedFigure(options, figures);
    const double toward = options.objective == Objective::MinimizeMeanSteps ? -1.0 : 1.0;
    double sum = 0.0;
    for (size_t v = 0; v < x.size(); ++v) {
        const double step = toward * search.derivative(figures, f, v);
        if ((x[v] <= box.low[v] && step < 0) || (x[v] >= box.high[v] && step > 0)) continue;
        sum += step * step;
    }
    return std::sqrt(sum);
}

}  // namespace

std::string objectiveName(const OptimizeOptions& options) {
    switch (options.objective) {
        case Objective::MinimizeMeanSteps: return "mean-steps";
        case Objective::MaximizeRate: return "rate[" + std::to_string(options.node) + "]";
        case Objective::MaximizeLeastRate: return "min-rate";
    }
    return "";
}

std::vector<bool> targetOf(const NetworkModel& network, const OptimizeOptions& options, const ChainLimits& limits) {
    if (isRate(options.objective)) return {};
    const NeighbourLists neighbours = neighbourLists(network);
    const long long h = configurationCount(neighbours, MaxConfigurationsLimit);
    return buildMarkovChainWithin(ChainRules::Process, network, neighbours, static_cast<int>(h), options.jobs,
                                  limits, 0.0)
        .marked;
}

ObjectiveValue evaluateObjective(const NetworkModel& network, const OptimizeOptions& options,
                                 const std::vector<double>& x, const std::vector<bool>& target,
                                 const ChainLimits& limits) {
    checkOptions(network, options);
    if (x.size() != options.variables.size())
        throw EngineError(EngineError::BadInput, "x has " + std::to_string(x.size()) + " values for " +
                                                     std::to_string(options.variables.size()) + " variables");
    Search search(network, options, limits, target, nullptr);
    const GradientFigures& figures = search.evaluate(x);
    const size_t f = followedFigure(options, figures);
    ObjectiveValue objective;
    objective.value = figures.values[f].value;
    for (size_t v = 0; v < x.size(); ++v) objective.gradient.push_back(search.derivative(figures, f, v));
    return objective;
}

OptimizeResult optimize(const NetworkModel& network, const OptimizeOptions& options, const ChainLimits& limits,
                        WorkProgress* progress) {
    checkOptions(network, options);
    if (progress) progress->begin("optimizing", 0);
    const std::vector<bool> target = targetOf(network, options, limits);
    Search search(network, options, limits, target, progress);
    const Box box = boxOf(options);
    OptimizeResult result;
    double best = 0.0;
    const std::vector<std::vector<double>> starts = startsOf(network, options, box);
    for (size_t k = 0; k < starts.size(); ++k) {
        std::vector<double> x = starts[k];
        const double reached = options.objective == Objective::MaximizeLeastRate ? searchLeast(search, options, box, x)
                                                                                 : searchOne(search, options, box, x);
        const bool better = k == 0 || (options.objective == Objective::MinimizeMeanSteps ? reached < best : reached > best);
        if (better) {
            best = reached;
            result.point = x;
            result.bestStart = static_cast<int>(k);
        }
    }
    for (double& value : result.point) value = asBlockGivesItBack(value);
    result.network = search.at(result.point);
    result.gradientNorm = projectedNorm(search, options, box, result.point);
    result.figure = certifiedFigure(result.network, options, limits, target);
    result.evaluations = search.evaluations();
    return result;
}
