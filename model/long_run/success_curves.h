#pragma once

#include <vector>

#include "model/storage/sparse_rows.h"

class WorkProgress;

// The last step the front ends compute curves to.
constexpr int MaxCurveHorizon = 100000;

// The weight of being in a marked configuration after 0 to `horizon` steps:
// per start configuration, and averaged over all of them.
struct SuccessCurves {
    int horizon = 0;
    int configurationCount = 0;
    // horizon + 1 values.
    std::vector<double> average;
    // Empty unless asked for: (horizon + 1) x h values, step by step, so
    // that value(p, l) is the weight after p steps from configuration l.
    std::vector<double> perConfiguration;

    double value(int p, int l) const {
        return perConfiguration[static_cast<size_t>(p) * configurationCount + static_cast<size_t>(l)];
    }
};

// Computed backwards, one step at a time: the weights after p steps are the
// one-step rows applied to the weights after p - 1 steps, so memory stays
// two vectors of h values (plus the per-configuration table when kept) and
// work stays proportional to the transitions. Each row is summed in
// increasing column order and the average in a fixed order of blocks, so the
// values are the same for any number of jobs.
SuccessCurves computeSuccessCurves(const SparseRows& transitions, const std::vector<bool>& marked, int horizon,
                                   bool keepPerConfiguration, int jobs, WorkProgress* progress = nullptr);
