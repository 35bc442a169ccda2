#pragma once

#include <array>
#include <vector>

#include "model/long_run/pass_budget.h"
#include "model/long_run/settling_curve.h"
#include "model/transient/transient_set.h"

// A success curve stepped along with other passes over the same rows, so
// that following it costs little more than the rows' second read.
struct CurveCompanion {
    CurveCompanion(SettlingCurve& curve, std::vector<double> start)
        : curve(curve), current(std::move(start)), next(current) {}

    SettlingCurve& curve;
    std::vector<double> current;
    std::vector<double> next;
    std::vector<double> blockSums;
    bool active = true;
};

// Solves (I - Q) x = rhs on the transient configurations by BiCGSTAB
// (Eigen's, matrix-free): vectors hold one value per transient
// configuration, in increasing order. Each product with I - Q is one pass
// over the transient rows, spent from `budget`; when a companion is active
// the pass steps its curve too. The results are the same for any number of
// jobs: the products sum each row in column order, and Eigen's vector
// operations run on one thread.
class KrylovSolver {
public:
    KrylovSolver(const SparseRows& transitions, const TransientSet& set, int jobs, PassBudget& budget,
                 CurveCompanion* companion);

    // The weights from each transient configuration into S, in one pass.
    std::vector<double> weightsIntoMarked();

    // Improves x from its value until |rhs - (I - Q) x|_2 <= tolerance, by
    // the solver's own account, or `maxIterations` iterations have run.
    void solve(const std::vector<double>& rhs, std::vector<double>& x, double tolerance, int maxIterations);

    // One product y = (I - Q) x.
    void apply(const double* x, double* y);

    // Buffers for the products the solver asks for.
    double* productInput() { return productInput_.data(); }
    double* productOutput() { return productOutput_.data(); }

private:
    const SparseRows& transitions_;
    const TransientSet& set_;
    const int jobs_;
    PassBudget& budget_;
    CurveCompanion* companion_;
    // x spread over all configurations, 0 off the transient ones; with a
    // companion, beside the curve's values.
    std::vector<double> spread_;
    std::vector<std::array<double, 2>> pairs_;
    // Per block of configurations, the transient configurations before it.
    std::vector<int> transientBefore_;
    std::vector<double> productInput_;
    std::vector<double> productOutput_;
};
