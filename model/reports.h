#pragma once

#include <cstddef>
#include <iosfwd>
#include <vector>

#include "model/network/configurations.h"
#include "model/storage/sparse_rows.h"

// The text pieces of an analysis report. Every line ends with '\n' and a
// flush. Numbers go through the stream's own formatting state (locale, fill,
// flags), and the writers leave that state as plain `<<` chains would: fixed
// notation and the last precision stay set, nothing is restored.

// x cut toward minus infinity to `places` decimals.
double truncateDecimals(int places, double x);

// Width of one transition table column for a network of nodeCount nodes.
int transitionColumnWidth(int nodeCount);

// '\n', then flush.
void endLine(std::ostream& out);

// "analize: " progress of the transition phase (after a source configuration).
void writeAnalysisProgress(std::ostream& out, int percent);
// "analize: 100%" progress of the step-table phase.
void writeCalculationProgress(std::ostream& out, double percent);

// The transition table, every row repeated in each block of columnsPerBlock
// destination columns (columnsPerBlock >= 1).
void writeTransitionTable(std::ostream& out, const ConfigurationList& configurations,
                          const std::vector<bool>& marked, const SparseRows& transitions, int columnsPerBlock);

// The step table. markedWeights holds, per configuration, `horizon` values:
// the weight of being in a marked configuration after 1 to horizon steps.
void writeStepTable(std::ostream& out, const ConfigurationList& configurations, const std::vector<bool>& marked,
                    int horizon, const std::vector<double>& markedWeights);

// The summary line and its empty line. totals[p] is the weight of being in a
// marked configuration after p+1 steps, summed over every start configuration.
void writeSummary(std::ostream& out, bool indented, const ConfigurationList& configurations, int markedCount,
                  const std::vector<double>& totals);
