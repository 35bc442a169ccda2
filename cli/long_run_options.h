#pragma once

#include <CLI/CLI.hpp>

#include <array>
#include <string>
#include <vector>

#include "model/analysis.h"
#include "model/long_run/long_run.h"
#include "model/text/network_input.h"

class WorkProgress;

// The long-run options that settle, sweep --measure and plot --limit share.
struct LongRunTextOptions {
    // As written, so that a refusal echoes it.
    std::string precision = "1e-9";
    bool direct = false;
    long long maxIterations = 1000000;
};

void addLongRunOptions(CLI::App& command, LongRunTextOptions& options);

// --precision as a number; CliError (bad input) for text that is not one.
double precisionNumber(const LongRunTextOptions& options);

// The columns of a configuration's or a sweep point's long-run figures:
// limit, mean_steps and mean_steps_if_reached, each with _low and _high.
constexpr size_t LongRunColumnCount = 9;
extern const char* const LongRunColumns[LongRunColumnCount];
std::array<double, LongRunColumnCount> longRunColumnValues(const BoundedFigure& limit, const BoundedFigure& meanSteps,
                                                           const BoundedFigure& ifReached);

// The engine's options for `jobs` threads; CliError (bad input) for a
// precision that is not a number or is below FinestLongRunPrecision, echoed
// as written.
LongRunOptions parseLongRunOptions(const LongRunTextOptions& options, int jobs);

// "Q1,Q2,...": CliError (bad input) for an empty list or entry, or an entry
// that is not a number in (0, 1].
std::vector<double> parseQuantiles(const std::string& text);

// The long run of the input's chain; the iteration cap's refusal becomes a
// CliError (failure) that names the network and the intervals reached, and
// an engine error names the network too.
// `options` with what is left of `maxBytes` beside the chain and the long
// run's own vectors as the room of a direct solve's factorisation.
LongRunOptions withDirectSolveRoom(LongRunOptions options, const MarkovChain& chain, double maxBytes);

LongRunFigures computeLongRunOf(const NetworkInput& input, const MarkovChain& chain, const LongRunOptions& options,
                                WorkProgress& progress);
