#include "model/transient/direct_solve.h"

#include <Eigen/SparseCore>
#include <Eigen/SparseLU>

#include <algorithm>

#include "model/support/bounded_arithmetic.h"

struct DirectSolver::Factors {
    Eigen::SparseMatrix<double> matrix;
    Eigen::SparseLU<Eigen::SparseMatrix<double>, Eigen::COLAMDOrdering<int>> lu;
};

DirectSolver::DirectSolver(const SparseRows& transitions, const TransientSet& set)
    : factors_(std::make_unique<Factors>()) {
    const auto& transient = set.transient();
    std::vector<int> position(static_cast<size_t>(set.configurationCount()), -1);
    for (size_t r = 0; r < transient.size(); ++r) position[transient[r]] = static_cast<int>(r);

    std::vector<Eigen::Triplet<double>> entries;
    weightsIntoMarked_.assign(transient.size(), 0.0);
    for (size_t r = 0; r < transient.size(); ++r) {
        const int row = static_cast<int>(r);
        entries.emplace_back(row, row, 1.0);
        transitions.forEachEntry(transient[r], [&](int column, double weight) {
            if (position[column] >= 0)
                entries.emplace_back(row, position[column], -weight);
            else if (set.kind(column) == TransientSet::Marked)
                weightsIntoMarked_[r] += weight;
        });
    }
    const Eigen::Index n = static_cast<Eigen::Index>(transient.size());
    factors_->matrix.resize(n, n);
    factors_->matrix.setFromTriplets(entries.begin(), entries.end());
    factors_->matrix.makeCompressed();
    factors_->lu.analyzePattern(factors_->matrix);
    factors_->lu.factorize(factors_->matrix);
}

double DirectSolver::memoryBound(long long transient, long long entries) {
    constexpr double EntryBytes = sizeof(double) + sizeof(int);
    constexpr double Growth = 1.5;
    constexpr double FirstGuess = 20;
    const double n = static_cast<double>(transient);
    const double matrix = (n + static_cast<double>(entries)) * EntryBytes * 2;
    const double factors = std::max(n * n, FirstGuess * (n + static_cast<double>(entries))) * EntryBytes;
    return matrix + factors * (Growth + 1) + 64 * n * sizeof(int);
}

DirectSolver::~DirectSolver() = default;

bool DirectSolver::factorized() const { return factors_->lu.info() == Eigen::Success; }

std::vector<double> DirectSolver::solve(const std::vector<double>& rhs) const {
    const Eigen::Map<const Eigen::VectorXd> b(rhs.data(), static_cast<Eigen::Index>(rhs.size()));
    const Eigen::VectorXd x = factors_->lu.solve(b);
    return std::vector<double>(x.data(), x.data() + x.size());
}

// In compensated arithmetic, so that refinement can take the solution to
// about one rounding of its exact value rather than that of its residual.
std::vector<double> DirectSolver::residual(const std::vector<double>& rhs, const std::vector<double>& x) const {
    std::vector<CompensatedDot> rows(rhs.size());
    for (size_t r = 0; r < rhs.size(); ++r) rows[r].add(rhs[r]);
    const Eigen::SparseMatrix<double>& matrix = factors_->matrix;
    for (Eigen::Index column = 0; column < matrix.outerSize(); ++column)
        for (Eigen::SparseMatrix<double>::InnerIterator entry(matrix, column); entry; ++entry)
            rows[static_cast<size_t>(entry.row())].add(-entry.value(), x[static_cast<size_t>(column)]);
    std::vector<double> r(rhs.size());
    for (size_t k = 0; k < rhs.size(); ++k) r[k] = rows[k].value();
    return r;
}
