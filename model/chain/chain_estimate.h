#pragma once

#include <algorithm>
#include <limits>
#include <string>

#include "model/chain/markov_chain.h"

class NetworkModel;
class WorkProgress;

// The outcome paths a row may have before a build refuses it: paths multiply
// by up to three with every joint case, and a row of this many takes about a
// second.
constexpr long long MaxOutcomePathsPerRow = 1LL << 26;

// What building a chain and following its steps will take, estimated before
// anything is built. The transitions are counted on a sample of rows spread
// evenly over all of them (every row when there are few); everything else is
// known from the configuration count.
struct ChainEstimate {
    int configurations = 0;
    double transitions = 0.0;
    double entriesPerRow = 0.0;
    // Weights expected to outgrow the table of distinct values.
    bool keepValues = false;
    // Every row was counted, so `transitions` is exact.
    bool exact = false;
    // The rows: entries, row starts and a block of room.
    double rowBytes = 0.0;
    // The configuration list and the marks' bits, held as long as the chain.
    double chainBytes = 0.0;
    // What comes and goes while the chain is held: marking, then the curves
    // and whatever the caller keeps beside the chain.
    double markingBytes = 0.0;
    double curveBytes = 0.0;
    double keptBytes = 0.0;
    double passingBytes() const { return std::max(markingBytes, curveBytes + keptBytes); }
    // Scratch of one worker enumerating rows.
    double workerBytes = 0.0;

    // The peak with `jobs` workers.
    double bytes(int jobs) const;
};

// Throws TooManyOutcomePaths when a row of the network has more outcome
// paths than `limit`; a row is followed only as far as the limit.
void checkOutcomePaths(ChainRules rules, const NetworkModel& network, const NeighbourLists& neighbours,
                       int configurationCount, long long limit);

// Limits a chain is built within.
struct ChainLimits {
    double maxBytes = std::numeric_limits<double>::infinity();
    long long maxPathsPerRow = MaxOutcomePathsPerRow;
    // For messages: the start ("ring20.txt: ") and the option that sets maxBytes.
    std::string name;
    std::string limitName = "the memory limit";
};

// `keptBytes`: what the caller holds beside the chain while it follows it
// (per-configuration curves, another solver's vectors). The sample is large
// only when a bound on all outcome paths does not show that the rows fit in
// limits.maxBytes. Throws TooManyOutcomePaths when a sampled row has more
// than limits.maxPathsPerRow.
ChainEstimate estimateChain(ChainRules rules, const NetworkModel& network, const NeighbourLists& neighbours,
                            int configurationCount, const ChainLimits& limits, double keptBytes,
                            WorkProgress* progress = nullptr);

// Up to `jobs`, as many workers as fit in the limit beside the chain; at least one.
int jobsWithin(const ChainEstimate& estimate, const ChainLimits& limits, int jobs);

// EngineError (beyond a limit) when the estimate with one worker passes the limit:
// "NAME: needs about 61.2 GB for 5.1e9 transitions; LIMIT is 18.9 GB".
void checkEstimate(const ChainEstimate& estimate, const ChainLimits& limits);

// The share of the limit the rows may take while built by `jobs` workers.
TransitionBudget transitionBudget(const ChainEstimate& estimate, const ChainLimits& limits, int jobs);

// Called while an exception is handled: a row of too many outcome paths,
// rows past their share of memory, or memory that could not be had become
// an EngineError (beyond a limit) of one line that names the estimate and
// the limit; anything else is thrown on.
[[noreturn]] void refuseAsLimit(const ChainEstimate& estimate, const ChainLimits& limits);

// The chain, built within the limits: the estimate first, refused before
// anything is built when it passes them; then the rows, on as many of the
// jobs as fit, refused when they outgrow their share after all or memory
// runs out. Every refusal is an EngineError (beyond a limit) of one line
// that names the estimate and the limit.
MarkovChain buildMarkovChainWithin(ChainRules rules, const NetworkModel& network, const NeighbourLists& neighbours,
                                   int configurationCount, int jobs, const ChainLimits& limits, double keptBytes,
                                   WorkProgress* progress = nullptr, bool keepSuccessChances = false);

// "61.2 GB", "512.0 MB", "12.0 KB": powers of 1024, one decimal.
std::string byteText(double bytes);
// "34560" below 100000, else "3.5e7".
std::string countText(double count);
