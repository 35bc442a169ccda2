#pragma once

#include <string>

#include "cli/command_support.h"
#include "model/rates/rates.h"

class WorkProgress;

// The engine's rate options; CliError (bad input) for a precision that is
// not a number in [1e-12, 1).
RateOptions rateOptions(double precision, long long maxIterations, bool perConfiguration, int jobs);

// "uniform", or the partner values "C0,C1,..." of one configuration of the
// input's network; CliError (bad input) naming what is wrong: the count of
// entries, a value that is not a number, or a node whose value is not one of
// its neighbours.
RateStart rateStart(const std::string& text, const NetworkInput& input);

// The rates of the input's process chain, built within the chain options'
// limits; a network beyond them is refused with the hint that simulate
// --summary estimates rates at any size, and the iteration cap ends the
// command with status 1.
RateFigures ratesOf(const NetworkInput& input, const ChainOptions& chain, const RateOptions& options,
                    WorkProgress& progress);
