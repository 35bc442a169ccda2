#include "model/long_run/krylov_solve.h"

#include <Eigen/Core>
#include <Eigen/IterativeLinearSolvers>
#include <Eigen/SparseCore>

#include "model/support/parallel.h"
#include "model/transient/transient_rows.h"

// I - Q as Eigen's iterative solvers see it: a matrix known only by its
// products, as in Eigen's matrix-free solver example.
class TransientOperator;

namespace Eigen {
namespace internal {
template <>
struct traits<TransientOperator> : public traits<Eigen::SparseMatrix<double>> {};
}  // namespace internal
}  // namespace Eigen

class TransientOperator : public Eigen::EigenBase<TransientOperator> {
public:
    using Scalar = double;
    using RealScalar = double;
    using StorageIndex = int;
    enum { ColsAtCompileTime = Eigen::Dynamic, MaxColsAtCompileTime = Eigen::Dynamic, IsRowMajor = false };

    TransientOperator(KrylovSolver& solver, Eigen::Index size) : solver_(&solver), size_(size) {}

    Eigen::Index rows() const { return size_; }
    Eigen::Index cols() const { return size_; }

    template <typename Rhs>
    Eigen::Product<TransientOperator, Rhs, Eigen::AliasFreeProduct> operator*(const Eigen::MatrixBase<Rhs>& x) const {
        return Eigen::Product<TransientOperator, Rhs, Eigen::AliasFreeProduct>(*this, x.derived());
    }

    KrylovSolver& solver() const { return *solver_; }

private:
    KrylovSolver* solver_;
    Eigen::Index size_;
};

namespace Eigen {
namespace internal {

template <typename Rhs>
struct generic_product_impl<TransientOperator, Rhs, SparseShape, DenseShape, GemvProduct>
    : generic_product_impl_base<TransientOperator, Rhs, generic_product_impl<TransientOperator, Rhs>> {
    // dst += alpha (I - Q) rhs; the solvers only ask for alpha = 1.
    // The solver's own buffers: vectors of large chains would cost a fresh
    // mapping of memory, page by page, on every product.
    template <typename Dest>
    static void scaleAndAddTo(Dest& dst, const TransientOperator& lhs, const Rhs& rhs, const double& alpha) {
        KrylovSolver& solver = lhs.solver();
        const Eigen::Index n = lhs.rows();
        Eigen::Map<Eigen::VectorXd>(solver.productInput(), n) = rhs;
        solver.apply(solver.productInput(), solver.productOutput());
        dst += alpha * Eigen::Map<const Eigen::VectorXd>(solver.productOutput(), n);
    }
};

}  // namespace internal
}  // namespace Eigen

KrylovSolver::KrylovSolver(const SparseRows& transitions, const TransientSet& set, int jobs, PassBudget& budget,
                           CurveCompanion* companion)
    : transitions_(transitions),
      set_(set),
      jobs_(jobs),
      budget_(budget),
      companion_(companion),
      spread_(static_cast<size_t>(set.configurationCount()), 0.0),
      productInput_(set.transient().size()),
      productOutput_(set.transient().size()) {
    int before = 0;
    size_t next = 0;
    const auto& transient = set.transient();
    for (long long begin = 0; begin < set.configurationCount(); begin += ConfigurationsPerBlock) {
        while (next < transient.size() && transient[next] < begin) ++next, ++before;
        transientBefore_.push_back(before);
    }
}

std::vector<double> KrylovSolver::weightsIntoMarked() {
    budget_.spend();
    std::vector<double> weights(set_.transient().size());
    const std::vector<double> marked = curveStart(set_);
    forEachChunk(jobs_, set_.configurationCount(), ConfigurationsPerBlock,
                 [&](int, long long block, long long begin, long long end) {
                     int r = transientBefore_[block];
                     sumTransientRows<1>(transitions_, set_, {marked.data()}, begin, end,
                                         [&](int, const std::array<double, 1>& sums) { weights[r++] = sums[0]; });
                 });
    return weights;
}

// With a companion, x and the curve lie side by side, so that each column
// read fetches both from one place.
void KrylovSolver::apply(const double* x, double* y) {
    budget_.spend();
    const auto& transient = set_.transient();
    if (!companion_ || !companion_->active) {
        for (size_t r = 0; r < transient.size(); ++r) spread_[transient[r]] = x[r];
        forEachChunk(jobs_, set_.configurationCount(), ConfigurationsPerBlock,
                     [&](int, long long block, long long begin, long long end) {
                         int r = transientBefore_[block];
                         sumTransientRows<1>(transitions_, set_, {spread_.data()}, begin, end,
                                             [&](int, const std::array<double, 1>& sums) {
                                                 y[r] = x[r] - sums[0];
                                                 ++r;
                                             });
                     });
        return;
    }
    const std::vector<double>& curve = companion_->current;
    pairs_.resize(curve.size());
    for (size_t l = 0; l < curve.size(); ++l) pairs_[l] = {0.0, curve[l]};
    for (size_t r = 0; r < transient.size(); ++r) pairs_[transient[r]][0] = x[r];
    companion_->blockSums.assign(transientBefore_.size(), 0.0);
    const unsigned char* kinds = set_.kinds();
    forEachChunk(jobs_, set_.configurationCount(), ConfigurationsPerBlock,
                 [&](int, long long block, long long begin, long long end) {
                     int r = transientBefore_[block];
                     double* next = companion_->next.data();
                     const std::array<double, 2>* in = pairs_.data();
                     for (long long l = begin; l < end; ++l) {
                         if (kinds[l] != TransientSet::Transient) continue;
                         double product = 0.0, step = 0.0;
                         transitions_.forEachEntry(static_cast<int>(l), [&](int column, double weight) {
                             product += weight * in[column][0];
                             step += weight * in[column][1];
                         });
                         y[r] = x[r] - product;
                         ++r;
                         next[l] = step;
                     }
                     companion_->blockSums[block] = curveBlockSum(set_, next, begin, end);
                 });
    companion_->current.swap(companion_->next);
    companion_->curve.append(companion_->blockSums);
}

void KrylovSolver::solve(const std::vector<double>& rhs, std::vector<double>& x, double tolerance,
                         int maxIterations) {
    const Eigen::Index n = static_cast<Eigen::Index>(rhs.size());
    const Eigen::Map<const Eigen::VectorXd> b(rhs.data(), n);
    Eigen::Map<Eigen::VectorXd> solution(x.data(), n);
    const double scale = b.norm();
    if (scale == 0.0) {
        solution.setZero();
        return;
    }
    TransientOperator op(*this, n);
    Eigen::BiCGSTAB<TransientOperator, Eigen::IdentityPreconditioner> solver;
    solver.compute(op);
    solver.setTolerance(tolerance / scale);
    solver.setMaxIterations(maxIterations);
    const Eigen::VectorXd guess = solution;
    solution = solver.solveWithGuess(b, guess);
}
