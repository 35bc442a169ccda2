#pragma once

#include <string>
#include <vector>

#include "model/chain/chain_estimate.h"
#include "model/long_run/long_run.h"

class NetworkModel;
class WorkProgress;

// How a figure of the long run moves with every node's alpha, beta and
// gamma at once: the derivative of the averaged limit or mean steps (first
// passage into the S of the given network, held fixed as the target set),
// or of every node's long-run rate, with respect to all 3N parameters.
//
// One adjoint solve with the transposed chain gives the weights with which
// each configuration's one-step derivative enters the figure's (two chained
// solves for the mean steps, whose equation holds the limit); one enumeration
// of the step's outcomes then gives every parameter's derivative
// (ProcessSensitivity). At 0 or 1 a parameter's derivative is taken from
// inside [0, 1]. Where a parameter at 0 or 1 opens, from configurations that
// cannot reach S, a way to ones that can, the figure jumps there: that
// derivative is not a number, its error infinite.

enum class GradientMeasure { Limit, MeanSteps, Rates };

// "limit", "mean-steps" or "rates".
const char* gradientMeasureName(GradientMeasure measure);
bool parseGradientMeasure(const std::string& text, GradientMeasure& measure);

// "alpha[3]": the parameter at `index` of the 3N, alpha of every node first,
// then beta, then gamma.
std::string parameterName(int index, int nodes);

// The configurations a direct solve of the gradient takes at most.
constexpr int MaxGradientConfigurations = 200000;

struct GradientOptions {
    GradientMeasure measure = GradientMeasure::MeanSteps;
    // For the figures themselves, as settle and rates take it.
    double precision = 1e-9;
    int jobs = 1;
    // The target set of first passage, when not the network's own S: that
    // of the network a study started from, held while its parameters move.
    const std::vector<bool>* target = nullptr;
};

struct GradientFigures {
    GradientMeasure measure = GradientMeasure::MeanSteps;
    int nodes = 0;
    // One figure for the limit or the mean steps, one per node for rates.
    std::vector<BoundedFigure> values;
    // Per figure, 3N derivatives and a bound of each one's error, figure by figure.
    std::vector<double> derivative;
    std::vector<double> error;
    // Per parameter: it lies at 0 or 1, so its derivative is one-sided.
    std::vector<bool> oneSided;
};

// Throws EngineError (beyond a limit) for a chain beyond `limits` or past
// MaxGradientConfigurations transient configurations (or class members for
// rates), (bad input) for rates of a chain that ends in more than one class.
GradientFigures computeGradient(const NetworkModel& network, const GradientOptions& options,
                                const ChainLimits& limits, WorkProgress* progress = nullptr);
