#include "model/sensitivity/gradient.h"

#include <Eigen/IterativeLinearSolvers>
#include <Eigen/SparseCore>
#include <Eigen/SparseLU>

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <limits>
#include <memory>

#include "model/chain/markov_chain.h"
#include "model/network/network.h"
#include "model/rates/closed_classes.h"
#include "model/rules/process_operator.h"
#include "model/rules/process_sensitivity.h"
#include "model/support/bounded_arithmetic.h"
#include "model/support/engine_error.h"
#include "model/support/parallel.h"
#include "model/support/work_progress.h"
#include "model/transient/transient_set.h"

namespace {

using Matrix = Eigen::SparseMatrix<double>;
using Vector = Eigen::VectorXd;

// Chains up to this size are solved by a sparse LU factorisation, larger
// ones by BiCGSTAB.
constexpr int DirectSize = 20000;
constexpr long long StatesPerChunk = 1024;

// I - P on `members`, P the rows' weights among them, filled row by row in
// order, as the rows are kept.
Matrix identityMinus(const SparseRows& rows, const std::vector<int>& members, int h) {
    std::vector<int> position(static_cast<size_t>(h), -1);
    for (size_t r = 0; r < members.size(); ++r) position[members[r]] = static_cast<int>(r);
    const Eigen::Index n = static_cast<Eigen::Index>(members.size());
    Eigen::SparseMatrix<double, Eigen::RowMajor> byRows(n, n);
    Eigen::VectorXi sizes(n);
    for (Eigen::Index r = 0; r < n; ++r)
        sizes[r] = static_cast<int>(rows.end(members[r]) - rows.begin(members[r])) + 1;
    byRows.reserve(sizes);
    for (Eigen::Index r = 0; r < n; ++r) {
        bool diagonal = false;
        rows.forEachEntry(members[r], [&](int column, double weight) {
            const int c = position[column];
            if (c < 0) return;
            if (!diagonal && c >= r) {
                byRows.insert(r, r) = c == r ? 1.0 - weight : 1.0;
                diagonal = true;
                if (c == r) return;
            }
            byRows.insert(r, c) = -weight;
        });
        if (!diagonal) byRows.insert(r, r) = 1.0;
    }
    byRows.makeCompressed();
    return Matrix(byRows);
}

// Solves a x = b, directly for small systems and by BiCGSTAB otherwise:
// unpreconditioned but for the diagonal, as the long run's Krylov solves,
// and with an incomplete factorisation where that stalls.
class Solver {
public:
    explicit Solver(const Matrix& a) : a_(a) {
        if (a.rows() <= DirectSize) {
            lu_ = std::make_unique<Eigen::SparseLU<Matrix, Eigen::COLAMDOrdering<int>>>();
            lu_->analyzePattern(a_);
            lu_->factorize(a_);
            if (lu_->info() != Eigen::Success)
                throw EngineError(EngineError::BadInput, "the chain's system is singular to working precision");
        } else {
            plain_.setTolerance(1e-12);
            plain_.setMaxIterations(20000);
            plain_.compute(a_);
        }
    }

    Vector solve(const Vector& b) const {
        if (lu_) return lu_->solve(b);
        // Short of its tolerance the solution still serves: its residual
        // goes into the derivatives' error. A breakdown is often passed by
        // starting again from where it stood, or from a scaled guess.
        const auto usable = [&](const Vector& x) { return x.allFinite() && (b - a_ * x).norm() <= 1e-8 * b.norm(); };
        Vector x = plain_.solveWithGuess(b, b);
        for (int attempt = 0; attempt < 3 && !usable(x); ++attempt)
            x = plain_.solveWithGuess(b, x.allFinite() ? x : Vector(b * (attempt + 1.5)));
        if (usable(x)) return x;
        Eigen::BiCGSTAB<Matrix, Eigen::IncompleteLUT<double>> preconditioned;
        preconditioned.preconditioner().setDroptol(1e-4);
        preconditioned.setTolerance(1e-13);
        preconditioned.setMaxIterations(20000);
        preconditioned.compute(a_);
        return preconditioned.solve(b);
    }
    // The residual's 1-norm of a solution.
    double residual(const Vector& b, const Vector& x) const { return (b - a_ * x).lpNorm<1>(); }

private:
    const Matrix& a_;
    std::unique_ptr<Eigen::SparseLU<Matrix, Eigen::COLAMDOrdering<int>>> lu_;
    Eigen::BiCGSTAB<Matrix, Eigen::DiagonalPreconditioner<double>> plain_;
};

// A bound of how far the derivative of one step's expectation with respect
// to a parameter can take values of at most 1 in size: alpha and beta move
// each node's ways by at most 2 together, gamma its arbitrations by at most
// 2 / (gamma[j] + gamma[k]).
std::vector<double> derivativeSizes(const NetworkModel& network) {
    const int n = network.nodeCount;
    std::vector<double> sizes(static_cast<size_t>(3 * n), 2.0);
    const auto& gamma = network.params[NetworkModel::Gamma];
    for (int j = 0; j < n; ++j) {
        double most = 0.0;
        for (int k = 0; k < n; ++k) {
            if (network.links[j][k] == 0) continue;
            const double s = gamma[j] + gamma[k];
            if (s > NetworkModel::ZeroGammaSum) most = std::max(most, 2.0 / s);
        }
        sizes[2 * n + j] = most;
    }
    return sizes;
}

std::vector<bool> oneSidedParameters(const NetworkModel& network) {
    std::vector<bool> oneSided;
    for (const auto& values : network.params)
        for (const double value : values) oneSided.push_back(value == 0.0 || value == 1.0);
    return oneSided;
}

// Carrying values and weights through the step's updates costs a few
// passes over the states of each update, which stay few where nodes have
// few neighbours below them, as on rings and paths; following each
// configuration's outcomes costs about N paths of N nodes each where alphas
// and betas are 1, since every failure of probability 0 still moves. The
// updates hold every update's values: they are taken only where those fit
// in what the memory limit leaves, and within a bound.
constexpr double UpdatesMostBytes = 1 << 30;

bool updatesPay(const NetworkModel& network, const NeighbourLists& neighbours, int h, int width, size_t members,
                double bytesLeft) {
    const int n = network.nodeCount;
    if (n == 0 || members * 8 < static_cast<size_t>(h)) return false;
    // The updates follow targets within the neighbour lists and expect each
    // link seen from both ends, as symmetric links of 0 and 1 keep them.
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) {
            const int link = network.links[i][j];
            if ((link != 0 && link != 1) || link != network.links[j][i] || (i == j && link != 0)) return false;
        }
    if (ProcessOperator::workPerConfiguration(neighbours) > 24.0 * n) return false;
    const double bytes = ProcessOperator::sensitivityBytesFor(neighbours, h, width);
    return bytes <= UpdatesMostBytes && bytes <= bytesLeft;
}

double matrixBytes(const Matrix& m) {
    return static_cast<double>(m.nonZeros()) * (sizeof(double) + sizeof(int)) +
           static_cast<double>(m.outerSize() + 1) * sizeof(int);
}

// What the memory limit leaves for the derivative sums beside the chain,
// the matrices and `vectors` doubles a configuration held by the caller.
double bytesLeftBeside(const ChainLimits& limits, const MarkovChain& chain, std::initializer_list<const Matrix*> matrices,
                       int vectors) {
    double held = static_cast<double>(chain.transitions.memoryBytes()) +
                  static_cast<double>(chain.configurations.entries.size()) * sizeof(int) +
                  static_cast<double>(chain.successChances.size() + chain.marked.size() * vectors) * sizeof(double);
    for (const Matrix* matrix : matrices) held += matrixBytes(*matrix);
    return limits.maxBytes - held;
}

// Sums every configuration's contribution into K x 3N derivatives: chunks
// of configurations side by side, their sums added in chunk order, so the
// result is the same for any number of jobs.
std::vector<double> sensitivitySums(const NetworkModel& network, const NeighbourLists& neighbours, int h, int width,
                                    const ConfigurationList& configurations, const std::vector<int>& members,
                                    const std::vector<double>& values, const std::vector<double>* rewards,
                                    const std::function<void(size_t, double*)>& weightsOf, int jobs,
                                    double bytesLeft) {
    const size_t size = static_cast<size_t>(width) * 3 * network.nodeCount;
    if (updatesPay(network, neighbours, h, width, members.size(), bytesLeft)) {
        std::vector<double> weights(static_cast<size_t>(h) * width, 0.0);
        for (size_t r = 0; r < members.size(); ++r)
            weightsOf(r, weights.data() + static_cast<size_t>(members[r]) * width);
        std::vector<double> sums(size, 0.0);
        ProcessOperator(network, neighbours, h)
            .addSensitivity(values.data(), rewards ? rewards->data() : nullptr, weights.data(), width, sums.data(),
                            jobs);
        return sums;
    }
    const long long count = static_cast<long long>(members.size());
    const long long chunks = (count + StatesPerChunk - 1) / StatesPerChunk;
    std::vector<std::vector<double>> partial(static_cast<size_t>(chunks), std::vector<double>(size, 0.0));
    std::vector<std::unique_ptr<ProcessSensitivity>> workers(workerCount(jobs, count, StatesPerChunk));
    forEachChunk(jobs, count, StatesPerChunk, [&](int worker, long long chunk, long long begin, long long end) {
        if (!workers[worker]) workers[worker] = std::make_unique<ProcessSensitivity>(network, neighbours, h, width);
        std::vector<double> weights(static_cast<size_t>(width));
        for (long long r = begin; r < end; ++r) {
            weightsOf(static_cast<size_t>(r), weights.data());
            const int x = members[r];
            workers[worker]->accumulate(x, configurations[x], values.data(), rewards ? rewards->data() : nullptr,
                                        weights.data(), partial[chunk].data());
        }
    });
    std::vector<double> sums(size, 0.0);
    for (const auto& piece : partial)
        for (size_t k = 0; k < size; ++k) sums[k] += piece[k];
    return sums;
}

double largestMagnitude(const std::vector<double>& values) {
    double largest = 0.0;
    for (const double value : values) largest = std::max(largest, std::fabs(value));
    return largest;
}

std::vector<double> widths(const std::vector<double>& low, const std::vector<double>& high) {
    std::vector<double> width(low.size());
    for (size_t k = 0; k < low.size(); ++k) width[k] = high[k] - low[k];
    return width;
}

// The parameters in which the figures jump: where a configuration that
// cannot reach S gains, for any parameter inside [0, 1] near it, a way to
// one that can, its limit leaves 0 at once. That shows as a derivative of
// the chance to step to a configuration that reaches S from one that does
// not.
std::vector<bool> jumpingParameters(const NetworkModel& network, const NeighbourLists& neighbours, int h,
                                    const ConfigurationList& configurations, const TransientSet& set, int jobs,
                                    double bytesLeft) {
    std::vector<int> stuck;
    std::vector<double> reaches(static_cast<size_t>(h), 0.0);
    for (int l = 0; l < h; ++l) {
        if (set.kind(l) == TransientSet::Unreachable)
            stuck.push_back(l);
        else
            reaches[l] = 1.0;
    }
    std::vector<bool> jumps(static_cast<size_t>(3 * network.nodeCount), false);
    if (stuck.empty()) return jumps;
    const std::vector<double> opened =
        sensitivitySums(network, neighbours, h, 1, configurations, stuck, reaches, nullptr,
                        [](size_t, double* weights) { weights[0] = 1.0; }, jobs, bytesLeft);
    for (size_t p = 0; p < jumps.size(); ++p) jumps[p] = opened[p] != 0.0;
    return jumps;
}

double longestTime(const TransientSet& set, const LongRunFigures& figures, const Matrix& a) {
    if (set.transientCount() + set.markedCount() == set.configurationCount()) {
        double longest = 0.0;
        for (const int l : set.transient()) longest = std::max(longest, figures.meanHigh[l]);
        return longest;
    }
    return Solver(a).solve(Vector::Constant(set.transientCount(), 1.0)).maxCoeff();
}

// The figures of first passage into S: the limit v and the mean steps m per
// configuration; with A = I - Q on the transient configurations and a the
// average over every configuration, dL = a (I - Q)^-1 dT v and dM = a (I -
// Q)^-1 (dT m + dv), so w2 = A^-T a and w3 = A^-T w2 weigh dT v and dT m.
GradientFigures passageGradient(const NetworkModel& network, const NeighbourLists& neighbours, int h,
                                const GradientOptions& options, const ChainLimits& limits, WorkProgress* progress) {
    const bool mean = options.measure == GradientMeasure::MeanSteps;
    const MarkovChain chain = buildMarkovChainWithin(ChainRules::Process, network, neighbours, h, options.jobs,
                                                     limits, static_cast<double>(longRunMemory(h)), progress);
    LongRunOptions longRun;
    longRun.precision = options.precision;
    longRun.keepPerConfiguration = true;
    longRun.jobs = options.jobs;
    const std::vector<bool>& marked = options.target ? *options.target : chain.marked;
    if (marked.size() != chain.marked.size())
        throw EngineError(EngineError::BadInput, "the target set has another count of configurations");
    const LongRunFigures figures = computeLongRun(chain.transitions, marked, longRun, progress);
    const TransientSet set(chain.transitions, marked);
    const std::vector<int>& transient = set.transient();
    if (static_cast<long long>(transient.size()) > MaxGradientConfigurations)
        throw EngineError(EngineError::BeyondLimit, limits.name + "the gradient solves at most " +
                                                        std::to_string(MaxGradientConfigurations) +
                                                        " transient configurations; this chain has " +
                                                        std::to_string(transient.size()));
    const int n = network.nodeCount;
    GradientFigures gradient;
    gradient.measure = options.measure;
    gradient.nodes = n;
    gradient.values = {mean ? figures.meanSteps : figures.limit};
    gradient.oneSided = oneSidedParameters(network);
    gradient.derivative.assign(static_cast<size_t>(3 * n), 0.0);
    gradient.error.assign(static_cast<size_t>(3 * n), 0.0);
    if (transient.empty()) return gradient;

    const Matrix a = identityMinus(chain.transitions, transient, h);
    const Matrix transposed = a.transpose();
    const Solver adjoint(transposed);
    const Eigen::Index t = static_cast<Eigen::Index>(transient.size());
    const Vector average = Vector::Constant(t, 1.0 / h);
    const Vector w2 = adjoint.solve(average);
    // Where every configuration reaches S the limit is 1 throughout, so dT v
    // is dT 1 = 0 exactly and the mean steps need neither w3 nor v.
    const bool everyReaches = set.transientCount() + set.markedCount() == set.configurationCount();
    const bool weighLimit = mean && !everyReaches;
    const Vector w3 = weighLimit ? adjoint.solve(w2) : Vector();
    // The longest expected time in the transient configurations bounds
    // |A^-1| in rows and |A^-T| in columns, hence what the residuals leave.
    // Where every configuration reaches S that time is the mean steps,
    // known already.
    const double longest = longestTime(set, figures, a) * (1 + 1e-6) + 1e-300;
    const double w2Error = longest * adjoint.residual(average, w2);
    const double w3Error = weighLimit ? longest * (adjoint.residual(w2, w3) + w2Error) : 0.0;

    const int width = weighLimit ? 2 : 1;
    // The long run's nine figures and the values, per configuration.
    const double bytesLeft = bytesLeftBeside(limits, chain, {&a, &transposed}, 9 + width);
    std::vector<double> values(static_cast<size_t>(h) * width);
    for (int l = 0; l < h; ++l) {
        if (weighLimit) {
            values[static_cast<size_t>(l) * 2] = figures.meanValue[l];
            values[static_cast<size_t>(l) * 2 + 1] = figures.limitValue[l];
        } else {
            values[l] = mean ? figures.meanValue[l] : figures.limitValue[l];
        }
    }
    const std::vector<double> sums = sensitivitySums(
        network, neighbours, h, width, chain.configurations, transient, values, nullptr,
        [&](size_t r, double* weights) {
            weights[0] = w2[static_cast<Eigen::Index>(r)];
            if (weighLimit) weights[1] = w3[static_cast<Eigen::Index>(r)];
        },
        options.jobs, bytesLeft);

    const std::vector<bool> jumps =
        jumpingParameters(network, neighbours, h, chain.configurations, set, options.jobs, bytesLeft);
    const double largestMean = mean ? largestMagnitude(figures.meanValue) : 0.0;
    const double meanError = mean ? largestMagnitude(widths(figures.meanLow, figures.meanHigh)) : 0.0;
    const double limitError = largestMagnitude(widths(figures.limitLow, figures.limitHigh));
    const std::vector<double> sizes = derivativeSizes(network);
    for (int p = 0; p < 3 * n; ++p) {
        double derivative = 0.0;
        for (int k = 0; k < width; ++k) derivative += sums[static_cast<size_t>(k) * 3 * n + p];
        gradient.derivative[p] = derivative;
        // Each weight's error times the values' size, and each value's error
        // times the weights' total, through a step's derivative.
        double error = !mean       ? w2Error + w2.lpNorm<1>() * limitError
                       : weighLimit ? w2Error * largestMean + w2.lpNorm<1>() * meanError + w3Error +
                                          w3.lpNorm<1>() * limitError
                                    : w2Error * largestMean + w2.lpNorm<1>() * meanError;
        error = sizes[p] * error + std::fabs(derivative) * 1e-12;
        gradient.error[p] = up(error);
        if (jumps[p]) {
            gradient.derivative[p] = std::numeric_limits<double>::quiet_NaN();
            gradient.error[p] = std::numeric_limits<double>::infinity();
        }
    }
    return gradient;
}

// The rates of a chain that ends in one class C: g_i = pi s_i, and with h_i
// the solution of the Poisson equation (I - P) h_i = s_i - g_i, dg_i = pi
// (ds_i + dT h_i): the stationary distribution is the adjoint.
GradientFigures rateGradient(const NetworkModel& network, const NeighbourLists& neighbours, int h,
                             const GradientOptions& options, const ChainLimits& limits, WorkProgress* progress) {
    const int n = network.nodeCount;
    const double chanceBytes = static_cast<double>(h) * n * sizeof(double);
    const MarkovChain chain = buildMarkovChainWithin(ChainRules::Process, network, neighbours, h, options.jobs, limits,
                                                     chanceBytes * 4, progress, true);
    const ClosedClasses classes = findClosedClasses(chain.transitions);
    if (classes.count() != 1)
        throw EngineError(EngineError::BadInput, "the chain ends in " + std::to_string(classes.count()) +
                                                     " classes; the rates' gradient needs it to end in one");
    const std::vector<int>& members = classes.members[0];
    if (static_cast<long long>(members.size()) > MaxGradientConfigurations)
        throw EngineError(EngineError::BeyondLimit, limits.name + "the gradient solves at most " +
                                                        std::to_string(MaxGradientConfigurations) +
                                                        " configurations of a class; this chain's has " +
                                                        std::to_string(members.size()));
    const Eigen::Index c = static_cast<Eigen::Index>(members.size());
    const Matrix a = identityMinus(chain.transitions, members, h);
    // pi: (I - P)^T pi = 0 with the last equation replaced by sum pi = 1;
    // h_i: (I - P) h_i = s_i - g_i with the first replaced by h_i(first) = 0.
    Matrix stationary = a.transpose();
    Matrix poisson = a;
    for (Eigen::Index k = 0; k < c; ++k) {
        stationary.coeffRef(c - 1, k) = 1.0;
        for (Matrix::InnerIterator entry(poisson, k); entry; ++entry)
            if (entry.row() == 0) entry.valueRef() = k == 0 ? 1.0 : 0.0;
    }
    stationary.prune(0.0);
    poisson.prune(0.0);
    stationary.makeCompressed();
    poisson.makeCompressed();
    const Solver stationarySolver(stationary), poissonSolver(poisson);
    Vector last = Vector::Zero(c);
    last[c - 1] = 1.0;
    const Vector pi = stationarySolver.solve(last);
    // Expected times to reach the first member bound the inverses' sizes.
    Vector ones = Vector::Constant(c, 1.0);
    ones[0] = 0.0;
    const double longest = poissonSolver.solve(ones).cwiseAbs().maxCoeff() * 2 + 1;
    const double piError = longest * stationarySolver.residual(last, pi);

    GradientFigures gradient;
    gradient.measure = options.measure;
    gradient.nodes = n;
    gradient.oneSided = oneSidedParameters(network);
    std::vector<double> values(static_cast<size_t>(h) * n, 0.0);
    std::vector<double> biasError(static_cast<size_t>(n), 0.0);
    for (int i = 0; i < n; ++i) {
        double rate = 0.0;
        for (Eigen::Index k = 0; k < c; ++k) rate += pi[k] * chain.successChances[static_cast<size_t>(members[k]) * n + i];
        gradient.values.push_back({rate, rate - piError, rate + piError});
        Vector rhs(c);
        for (Eigen::Index k = 0; k < c; ++k) rhs[k] = chain.successChances[static_cast<size_t>(members[k]) * n + i] - rate;
        rhs[0] = 0.0;
        const Vector bias = poissonSolver.solve(rhs);
        biasError[i] = longest * poissonSolver.residual(rhs, bias) + bias.cwiseAbs().maxCoeff() * piError;
        for (Eigen::Index k = 0; k < c; ++k) values[static_cast<size_t>(members[k]) * n + i] = bias[k];
    }
    std::vector<double> rewards(static_cast<size_t>(n) * n, 0.0);
    for (int i = 0; i < n; ++i) rewards[static_cast<size_t>(i) * n + i] = 1.0;
    const std::vector<double> sums = sensitivitySums(
        network, neighbours, h, n, chain.configurations, members, values, &rewards,
        [&](size_t r, double* weights) { std::fill(weights, weights + n, pi[static_cast<Eigen::Index>(r)]); },
        options.jobs, bytesLeftBeside(limits, chain, {&a, &stationary, &poisson}, n));
    const std::vector<double> sizes = derivativeSizes(network);
    const double largestBias = largestMagnitude(values);
    gradient.derivative = sums;
    gradient.error.resize(sums.size());
    for (int i = 0; i < n; ++i)
        for (int p = 0; p < 3 * n; ++p) {
            const size_t at = static_cast<size_t>(i) * 3 * n + p;
            gradient.error[at] =
                up(sizes[p] * (piError * (largestBias + 1) + biasError[i]) + std::fabs(sums[at]) * 1e-12);
        }
    return gradient;
}

}  // namespace

const char* gradientMeasureName(GradientMeasure measure) {
    return measure == GradientMeasure::Limit ? "limit" : measure == GradientMeasure::MeanSteps ? "mean-steps" : "rates";
}

bool parseGradientMeasure(const std::string& text, GradientMeasure& measure) {
    for (const GradientMeasure candidate : {GradientMeasure::Limit, GradientMeasure::MeanSteps, GradientMeasure::Rates})
        if (text == gradientMeasureName(candidate)) {
            measure = candidate;
            return true;
        }
    return false;
}

std::string parameterName(int index, int nodes) {
    static const char* const names[] = {"alpha", "beta", "gamma"};
    return std::string(names[index / nodes]) + "[" + std::to_string(index % nodes) + "]";
}

GradientFigures computeGradient(const NetworkModel& network, const GradientOptions& options,
                                const ChainLimits& limits, WorkProgress* progress) {
    const NeighbourLists neighbours = neighbourLists(network);
    const long long h = configurationCount(neighbours, MaxConfigurationsLimit);
    if (h < 0)
        throw EngineError(EngineError::BeyondLimit, limits.name + "the network has more than " +
                                                        std::to_string(MaxConfigurationsLimit) + " configurations");
    if (options.measure == GradientMeasure::Rates)
        return rateGradient(network, neighbours, static_cast<int>(h), options, limits, progress);
    return passageGradient(network, neighbours, static_cast<int>(h), options, limits, progress);
}
