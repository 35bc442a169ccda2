#pragma once

#include "cli/simulate_options.h"

// simulate --summary: per node the mean chance after the last step over the
// replicates and its Student t interval, as CSV or JSON.
void runSimulateSummary(const SimulateOptions& options);
