#pragma once

#include <memory>
#include <vector>

#include "model/transient/transient_set.h"

// I - Q on the transient configurations as a sparse LU factorisation
// (Eigen's SparseLU, COLAMD ordering): for small chains, and as the
// iterations' cross-check. Vectors hold one value per transient
// configuration, in increasing order. Its solutions are approximations like
// any other; the certificate says how good they are.
class DirectSolver {
public:
    // An upper bound of the bytes the factorisation of `transient`
    // configurations with `entries` weights among them may take, whatever
    // its fill: at most every entry of L and U (n^2 values and their row
    // indices), in arrays that grow by half their size when full and are
    // copied as they grow, or the first guess of 20 times the matrix's
    // entries, if larger.
    static double memoryBound(long long transient, long long entries);

    DirectSolver(const SparseRows& transitions, const TransientSet& set);
    ~DirectSolver();

    // Whether the factorisation went through: false when the matrix is
    // singular to working precision.
    bool factorized() const;

    // The weights from each transient configuration into S.
    const std::vector<double>& weightsIntoMarked() const { return weightsIntoMarked_; }

    // x with (I - Q) x = rhs, to working precision.
    std::vector<double> solve(const std::vector<double>& rhs) const;
    // rhs - (I - Q) x, as if in twice the working precision, rounded once.
    std::vector<double> residual(const std::vector<double>& rhs, const std::vector<double>& x) const;

private:
    struct Factors;
    std::unique_ptr<Factors> factors_;
    std::vector<double> weightsIntoMarked_;
};
