#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "model/chain/chain_estimate.h"
#include "model/chain/markov_chain.h"
#include "model/long_run/long_run.h"

class WorkProgress;

// The long-run success rate of every node: the limit, as K grows, of its
// successes in K steps over K, which the window's chance approaches. On a
// closed class it is the class's stationary share of steps in which the
// node succeeds; from a start it is the classes' rates weighted by the
// probability of ending in each. See rates.cpp for the method and
// class_gains.h for the bounds.

// The least precision a rate is asked for: the weights' own rounding, with
// the paths summed into a row, is not far below it.
constexpr double FinestRatePrecision = 1e-12;

// Where the process starts: uniformly over every configuration, or in one.
struct RateStart {
    bool uniform = true;
    int configuration = 0;
};

struct RateOptions {
    // Every interval is at most this wide.
    double precision = 1e-9;
    RateStart start;
    // Every start configuration's rates too.
    bool perConfiguration = false;
    long long maxIterations = 1000000;
    int jobs = 1;
};

struct ClassRates {
    int size = 0;
    // The probability of ending in the class from the start.
    BoundedFigure probability;
    std::vector<BoundedFigure> rates;
};

struct RateFigures {
    int nodes = 0;
    int configurations = 0;
    // Per node, from the start.
    std::vector<BoundedFigure> rates;
    std::vector<ClassRates> classes;
    // With perConfiguration: h x N values, configuration by configuration.
    std::vector<double> perValue, perLow, perHigh;
    long long iterations = 0;
};

// The iteration cap came first; the message says so in one line.
class RatesCapReached : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// EngineError (bad input) for a precision outside [FinestRatePrecision, 1)
// or a start outside the configurations; the message names the option as
// `precision`.
void checkRateOptions(const RateOptions& options, int configurations);

// The bytes computeRates takes beside the chain and its success chances.
double rateMemory(long long configurations, int nodes, bool perConfiguration);

// The rates of the process chain `chain`, built with its success chances.
// The result is the same for any number of jobs.
RateFigures computeRates(const MarkovChain& chain, const RateOptions& options, WorkProgress* progress = nullptr);

// Where every linked node may go every way and win every arbitration
// (ProcessOperator::mixesEverywhere), the chain is one aperiodic class and
// its rows are dense: the rates come through the operator, without rows,
// from a network of `configurations` configurations.
// `entriesPerRow`: the rows' expected entries, infinite when they could not
// be built; the operator is taken where it reads fewer.
bool ratesThroughOperator(const NetworkModel& network, const NeighbourLists& neighbours, double entriesPerRow);
double operatorRateMemory(const NetworkModel& network, const NeighbourLists& neighbours, int configurations,
                          bool perConfiguration);
RateFigures computeRatesThrough(const NetworkModel& network, const NeighbourLists& neighbours, int configurations,
                                const RateOptions& options, WorkProgress* progress = nullptr);

// The rates of a network of `configurations` configurations within
// `limits`: through the operator where it reads fewer values than the rows
// would, else through the process chain built within the limits. Every
// refusal is an EngineError (beyond a limit) of one line starting with
// limits.name; the iteration cap is RatesCapReached.
RateFigures ratesWithin(const NetworkModel& network, const NeighbourLists& neighbours, int configurations,
                        const RateOptions& options, const ChainLimits& limits, WorkProgress* progress = nullptr);
