#include "model/analysis.h"

#include <algorithm>
#include <iostream>

#include "model/network.h"
#include "model/reports.h"

// The analysis lists every configuration of partner values, enumerates the
// weighted outcomes of one step from each, marks the configurations from which
// certain transitions lead through configurations that differ from the start
// in every linked node, and follows the one-step weights for up to `horizon`
// steps. Every floating-point result is the one of the plain algorithm on
// dense h x h tables: the same operations on the same operands in the same
// order. Only terms that are exactly zero are left out of sums, which leaves
// sums of non-negative terms that start from 0.0 unchanged.

namespace {

using NeighbourLists = std::vector<std::vector<int>>;

// Neighbours for listing configurations are the entries equal to 1; a target
// search accepts any non-zero entry.
NeighbourLists neighbourLists(const NetworkModel& network) {
    NeighbourLists lists(static_cast<size_t>(network.nodeCount));
    for (int i = 0; i < network.nodeCount; ++i)
        for (int j = 0; j < network.nodeCount; ++j)
            if (network.links[i][j] == 1) lists[i].push_back(j);
    return lists;
}

// The number of configurations, or -1 once it passes the limit.
long long configurationCount(const NeighbourLists& neighbours) {
    long long count = 1;
    for (const auto& list : neighbours) {
        if (list.empty()) continue;
        count *= static_cast<long long>(list.size());
        if (count > MaxAnalysisConfigurations) return -1;
    }
    return count;
}

std::vector<int> neighbourCountFactors(const NeighbourLists& neighbours) {
    std::vector<int> factors;
    for (const auto& list : neighbours)
        if (!list.empty()) factors.push_back(static_cast<int>(list.size()));
    return factors;
}

// One line on standard output when the analysis cannot be run; nothing else
// is written then.
bool acceptsAnalysis(const NeighbourLists& neighbours, int horizon, int columnsPerBlock) {
    if (horizon < 1 || horizon > MaxAnalysisHorizon) {
        std::cout << "analysis refused: horizon " << horizon << " is outside 1 to " << MaxAnalysisHorizon;
        endLine(std::cout);
        return false;
    }
    if (columnsPerBlock < 1) {
        std::cout << "analysis refused: " << columnsPerBlock << " columns per block, at least 1 needed";
        endLine(std::cout);
        return false;
    }
    if (configurationCount(neighbours) < 0) {
        std::cout << "analysis refused: the network has " << decimalProduct(neighbourCountFactors(neighbours))
                  << " configurations, more than the limit of " << MaxAnalysisConfigurations;
        endLine(std::cout);
        return false;
    }
    return true;
}

// Mixed-radix order, node 0 varying fastest; nodes without neighbours hold -1.
ConfigurationList listConfigurations(const NeighbourLists& neighbours, int count) {
    ConfigurationList list;
    list.nodeCount = static_cast<int>(neighbours.size());
    list.count = count;
    list.entries.assign(static_cast<size_t>(count) * list.nodeCount, -1);
    for (int s = 0; s < count; ++s) {
        int* entries = list.entries.data() + static_cast<size_t>(s) * list.nodeCount;
        int rest = s;
        for (int i = 0; i < list.nodeCount; ++i) {
            const int k = static_cast<int>(neighbours[i].size());
            if (k == 0) continue;
            entries[i] = neighbours[i][rest % k];
            rest /= k;
        }
    }
    return list;
}

// Sums weights into the columns of one row in any order of columns, each
// column's additions in the order given, and hands the row out by column.
class RowAccumulator {
public:
    explicit RowAccumulator(int width) : sums_(static_cast<size_t>(width), 0.0), touched_(sums_.size(), 0) {}

    void add(int column, double weight) {
        if (!touched_[column]) {
            touched_[column] = 1;
            columns_.push_back(column);
        }
        sums_[column] += weight;
    }

    // Appends the row in increasing column order and starts an empty one.
    void moveInto(std::vector<int>& columns, std::vector<double>& values) {
        sortColumns();
        for (const int column : columns_) {
            columns.push_back(column);
            values.push_back(sums_[column]);
            sums_[column] = 0.0;
            touched_[column] = 0;
        }
        columns_.clear();
    }

private:
    // A sweep over the flags beats sorting once the row is dense enough.
    void sortColumns() {
        const size_t width = sums_.size();
        if (columns_.size() * 16 < width) {
            std::sort(columns_.begin(), columns_.end());
            return;
        }
        columns_.clear();
        for (size_t c = 0; c < width; ++c)
            if (touched_[c]) columns_.push_back(static_cast<int>(c));
    }

    std::vector<double> sums_;
    std::vector<unsigned char> touched_;
    std::vector<int> columns_;
};

// The weighted outcomes of one step from each configuration. The partner and
// resolved arrays are deliberately shared by every path and every source:
// a node's joint case leaves its partner's entries as its last outcome set
// them, and later paths read them so.
class OutcomeEnumerator {
public:
    OutcomeEnumerator(const NetworkModel& network, const NeighbourLists& neighbours, const ConfigurationList& list)
        : n_(network.nodeCount),
          alpha_(network.params[NetworkModel::Alpha].data()),
          beta_(network.params[NetworkModel::Beta].data()),
          gamma_(network.params[NetworkModel::Gamma].data()),
          configurations_(list),
          newPartner_(static_cast<size_t>(n_), 0),
          resolved_(static_cast<size_t>(n_), 0),
          row_(list.count) {
        buildTargets(network);
        buildLeafIndex(neighbours);
    }

    // Appends the row of transitions out of configuration `source`.
    void enumerateRow(int source, SparseRows& rows) {
        source_ = configurations_[source];
        weight_ = 1.0;
        enumerate(0);
        row_.moveInto(rows.column, rows.value);
        rows.rowStart.push_back(rows.column.size());
    }

private:
    // The first node after partner value v (cyclically) linked to `node`.
    void buildTargets(const NetworkModel& network) {
        targets_.assign(static_cast<size_t>(n_) * n_, -1);
        for (int node = 0; node < n_; ++node) {
            for (int v = 0; v < n_; ++v) {
                int candidate = v;
                for (int tried = 0; tried < n_; ++tried) {
                    if (++candidate >= n_) candidate = 0;
                    if (network.links[node][candidate] != 0) {
                        targets_[static_cast<size_t>(node) * n_ + v] = candidate;
                        break;
                    }
                }
            }
        }
    }

    // Per node and partner value (-1 included), the value's contribution to
    // the configuration index, or -1 when no configuration has it there.
    void buildLeafIndex(const NeighbourLists& neighbours) {
        digitValue_.assign(static_cast<size_t>(n_) * (n_ + 1), -1);
        int stride = 1;
        for (int i = 0; i < n_; ++i) {
            int* values = digitValue_.data() + static_cast<size_t>(i) * (n_ + 1) + 1;
            const auto& list = neighbours[i];
            if (list.empty()) {
                values[-1] = 0;
                continue;
            }
            for (size_t d = 0; d < list.size(); ++d) values[list[d]] = static_cast<int>(d) * stride;
            stride *= static_cast<int>(list.size());
        }
    }

    int target(int node, int partnerValue) const { return targets_[static_cast<size_t>(node) * n_ + partnerValue]; }

    void reachLeaf() {
        int index = 0;
        for (int i = 0; i < n_; ++i) {
            const int value = digitValue_[static_cast<size_t>(i) * (n_ + 1) + 1 + newPartner_[i]];
            if (value < 0) return;  // not a configuration: the weight is dropped
            index += value;
        }
        row_.add(index, weight_);
    }

    void enumerate(int node) {
        if (node >= n_) {
            reachLeaf();
            return;
        }
        if (source_[node] < 0) {
            newPartner_[node] = -1;
            resolved_[node] = 1;
            enumerate(node + 1);
            return;
        }
        const int t = target(node, source_[node]);
        newPartner_[node] = t;
        if (t < node && (!resolved_[t] || newPartner_[t] == node)) {
            enumerateJoint(node, t);
            return;
        }
        resolved_[node] = 1;
        weight_ = (alpha_[node] * beta_[node]) * weight_;
        enumerate(node + 1);
    }

    // Node n and its target t < n may each be the one that moves, or neither.
    void enumerateJoint(int n, int t) {
        const double saved = weight_;
        const double g = gamma_[n] + gamma_[t];
        double gn = 0.5;
        double gt = 0.5;
        if (g != 0.0) {
            gn = gamma_[n] / g;
            gt = gamma_[t] / g;
        }
        const double o = alpha_[n] * alpha_[t];
        const double pn = ((gn * o + alpha_[n]) - o) * beta_[n];
        const double pt = ((gt * o + alpha_[t]) - o) * beta_[t];
        const double rest = (1 - pn) - pt;

        newPartner_[n] = source_[n];
        resolved_[n] = 0;
        resolved_[t] = 1;
        weight_ = pn * saved;
        enumerate(n + 1);

        newPartner_[n] = t;
        newPartner_[t] = source_[t];
        resolved_[n] = 1;
        resolved_[t] = 0;
        weight_ = pt * saved;
        enumerate(n + 1);

        newPartner_[t] = n;
        if (rest > 0) {
            newPartner_[n] = source_[n];
            newPartner_[t] = source_[t];
            resolved_[n] = 0;
            resolved_[t] = 0;
            weight_ = rest * saved;
            enumerate(n + 1);
        }
        weight_ = saved;
    }

    const int n_;
    const double* alpha_;
    const double* beta_;
    const double* gamma_;
    const ConfigurationList& configurations_;
    std::vector<int> targets_;
    std::vector<int> digitValue_;
    const int* source_ = nullptr;
    std::vector<int> newPartner_;
    std::vector<unsigned char> resolved_;
    double weight_ = 1.0;
    RowAccumulator row_;
};

SparseRows computeTransitions(const NetworkModel& network, const NeighbourLists& neighbours,
                              const ConfigurationList& configurations, bool progress) {
    SparseRows rows;
    OutcomeEnumerator enumerator(network, neighbours, configurations);
    const int h = configurations.count;
    for (int j = 1; j <= h; ++j) {
        enumerator.enumerateRow(j - 1, rows);
        if (progress) writeAnalysisProgress(std::cout, static_cast<int>(100LL * j / h));
    }
    return rows;
}

// Per configuration, the first one it reaches with weight exactly 1.0, or -1.
std::vector<int> findSuccessors(const SparseRows& transitions, int h) {
    std::vector<int> successor(static_cast<size_t>(h), -1);
    for (int s = 0; s < h; ++s) {
        for (size_t k = transitions.begin(s); k < transitions.end(s); ++k) {
            if (transitions.value[k] == 1.0) {
                successor[s] = transitions.column[k];
                break;
            }
        }
    }
    return successor;
}

bool sharesLinkedEntry(const ConfigurationList& configurations, int l, int other) {
    const int* a = configurations[l];
    const int* b = configurations[other];
    for (int i = 0; i < configurations.nodeCount; ++i)
        if (a[i] != -1 && b[i] == a[i]) return true;
    return false;
}

// A configuration is marked when its chain of certain successors closes on
// it, reaches a marked one or outlasts h steps, with every configuration on
// the way differing from it in each linked node; the chain is marked too.
std::vector<bool> markConfigurations(const ConfigurationList& configurations, const std::vector<int>& successor) {
    const int h = configurations.count;
    std::vector<bool> marked(static_cast<size_t>(h), false);
    for (int l = 0; l < h; ++l) {
        if (successor[l] == -1 || marked[l]) continue;
        int next = successor[l];
        bool mark = false;
        for (int m = 0;;) {
            if (next == l) {
                mark = true;
                break;
            }
            if (sharesLinkedEntry(configurations, l, next)) break;
            if (++m > h || marked[next]) {
                mark = true;
                break;
            }
            next = successor[next];
            if (next == -1) break;
        }
        if (!mark) continue;
        marked[l] = true;
        for (int f = successor[l]; !marked[f]; f = successor[f]) marked[f] = true;
    }
    return marked;
}

// The progress lines of the step-table phase, in the order of a computation
// table by table (a line per row when h > 256, a line per table), released in
// proportion to the rows finished here, where the work goes row by row.
class CalculationProgress {
public:
    CalculationProgress(bool enabled, int h, int horizon)
        : h_(h),
          horizon_(horizon),
          linesPerTable_(h > 256 ? h + 1 : 1),
          total_(enabled ? static_cast<long long>(horizon - 1) * linesPerTable_ : 0) {}

    void rowsFinished(int rows) {
        const long long due = total_ * rows / h_;
        while (written_ < due) writeLine(written_++);
    }

private:
    void writeLine(long long index) const {
        const int p = static_cast<int>(index / linesPerTable_) + 1;
        const long long r = index % linesPerTable_;
        if (r < linesPerTable_ - 1) {
            const double l = static_cast<double>(r);
            writeCalculationProgress(std::cout, ((l / h_) + (p - 1)) * 100 / (horizon_ - 1));
        } else {
            writeCalculationProgress(std::cout, static_cast<double>(p) * 100 / (horizon_ - 1));
        }
    }

    const int h_;
    const int horizon_;
    const long long linesPerTable_;
    const long long total_;
    long long written_ = 0;
};

struct StepWeights {
    // Per start configuration, `horizon` values: the weight of being in a
    // marked configuration after 1 to horizon steps.
    std::vector<double> perStart;
    // Per step count, the same weights summed element by element over every
    // start configuration and marked destination.
    std::vector<double> totals;
};

// Per configuration, the fewest steps from it to a marked configuration
// along non-zero transitions, or `horizon` when that takes `horizon` steps
// or more.
std::vector<int> stepsToMarked(const SparseRows& transitions, const std::vector<bool>& marked, int horizon) {
    const int h = static_cast<int>(marked.size());
    // The transitions by destination: the predecessors of each configuration.
    std::vector<size_t> start(static_cast<size_t>(h) + 1, 0);
    for (size_t k = 0; k < transitions.column.size(); ++k)
        if (transitions.value[k] != 0.0) ++start[transitions.column[k] + 1];
    for (int m = 0; m < h; ++m) start[m + 1] += start[m];
    std::vector<int> predecessors(start[h]);
    std::vector<size_t> fill(start.begin(), start.end() - 1);
    for (int l = 0; l < h; ++l)
        for (size_t k = transitions.begin(l); k < transitions.end(l); ++k)
            if (transitions.value[k] != 0.0) predecessors[fill[transitions.column[k]]++] = l;

    std::vector<int> steps(static_cast<size_t>(h), horizon);
    std::vector<int> frontier;
    for (int m = 0; m < h; ++m) {
        if (!marked[m]) continue;
        steps[m] = 0;
        frontier.push_back(m);
    }
    std::vector<int> reached;
    for (int d = 1; d < horizon && !frontier.empty(); ++d) {
        reached.clear();
        for (const int m : frontier) {
            for (size_t k = start[m]; k < start[m + 1]; ++k) {
                const int l = predecessors[k];
                if (steps[l] != horizon) continue;
                steps[l] = d;
                reached.push_back(l);
            }
        }
        frontier.swap(reached);
    }
    return steps;
}

// Row l of the (p+1)-th power is row l of the p-th power times the one-step
// table, each element summed over increasing inner index. Only marked
// columns are reported, so an element is computed only when its column can
// still reach a marked configuration in the steps that remain: every term
// of such an element is either zero or itself such an element. Terms that
// are zero are skipped.
class PowerRows {
public:
    PowerRows(const SparseRows& transitions, const std::vector<bool>& marked, int horizon)
        : transitions_(transitions),
          marked_(marked),
          horizon_(horizon),
          h_(static_cast<int>(marked.size())),
          steps_(stepsToMarked(transitions, marked, horizon)),
          next_(h_) {}

    StepWeights compute(CalculationProgress& progress) {
        StepWeights weights;
        weights.perStart.assign(static_cast<size_t>(h_) * horizon_, 0.0);
        weights.totals.assign(static_cast<size_t>(horizon_), 0.0);
        for (int l = 0; l < h_; ++l) {
            loadRow(l);
            double* perStart = weights.perStart.data() + static_cast<size_t>(l) * horizon_;
            for (int p = 0; p < horizon_ && !columns_.empty(); ++p) {
                if (p > 0) advance(p);
                perStart[p] = sumMarked(weights.totals[p]);
            }
            progress.rowsFinished(l + 1);
        }
        return weights;
    }

private:
    // Whether column m of power table p is needed.
    bool needed(int m, int p) const { return steps_[m] < horizon_ - p; }

    void loadRow(int l) {
        columns_.clear();
        values_.clear();
        for (size_t k = transitions_.begin(l); k < transitions_.end(l); ++k) {
            if (transitions_.value[k] == 0.0 || !needed(transitions_.column[k], 0)) continue;
            columns_.push_back(transitions_.column[k]);
            values_.push_back(transitions_.value[k]);
        }
    }

    void advance(int p) {
        for (size_t k = 0; k < columns_.size(); ++k) {
            const double factor = values_[k];
            const int inner = columns_[k];
            for (size_t e = transitions_.begin(inner); e < transitions_.end(inner); ++e) {
                const int m = transitions_.column[e];
                if (needed(m, p)) next_.add(m, factor * transitions_.value[e]);
            }
        }
        columns_.clear();
        values_.clear();
        next_.moveInto(columns_, values_);
    }

    // The row's sum over marked columns, and each marked element added to the
    // running total of all rows.
    double sumMarked(double& total) const {
        double sum = 0.0;
        for (size_t k = 0; k < columns_.size(); ++k) {
            if (!marked_[columns_[k]]) continue;
            sum += values_[k];
            total += values_[k];
        }
        return sum;
    }

    const SparseRows& transitions_;
    const std::vector<bool>& marked_;
    const int horizon_;
    const int h_;
    const std::vector<int> steps_;
    std::vector<int> columns_;
    std::vector<double> values_;
    RowAccumulator next_;
};

int countMarked(const std::vector<bool>& marked) {
    return static_cast<int>(std::count(marked.begin(), marked.end(), true));
}

}  // namespace

std::string decimalProduct(const std::vector<int>& factors) {
    std::vector<int> digits{1};  // least significant first
    for (const int factor : factors) {
        long long carry = 0;
        for (int& digit : digits) {
            const long long value = static_cast<long long>(digit) * factor + carry;
            digit = static_cast<int>(value % 10);
            carry = value / 10;
        }
        for (; carry > 0; carry /= 10) digits.push_back(static_cast<int>(carry % 10));
    }
    while (digits.size() > 1 && digits.back() == 0) digits.pop_back();
    std::string text;
    for (auto it = digits.rbegin(); it != digits.rend(); ++it) text += static_cast<char>('0' + *it);
    return text;
}

void NetworkModel::analyze(std::ostream& out, unsigned options, int horizon, int columnsPerBlock) const {
    const NeighbourLists neighbours = neighbourLists(*this);
    if (!acceptsAnalysis(neighbours, horizon, columnsPerBlock)) return;
    const bool progress = (options & ReportProgress) != 0;
    const bool stepTable = (options & ReportStepTable) != 0;
    const bool summary = (options & ReportSummary) != 0;

    if (options & ReportData) dumpData(out);
    const int h = static_cast<int>(configurationCount(neighbours));
    const ConfigurationList configurations = listConfigurations(neighbours, h);

    const SparseRows transitions = computeTransitions(*this, neighbours, configurations, progress);
    if (progress) endLine(out);
    const std::vector<bool> marked = markConfigurations(configurations, findSuccessors(transitions, h));

    CalculationProgress calculation(progress, h, horizon);
    StepWeights weights;
    if (stepTable || summary) weights = PowerRows(transitions, marked, horizon).compute(calculation);
    calculation.rowsFinished(h);
    if (progress) endLine(out);

    if (options & ReportTransitions) writeTransitionTable(out, configurations, marked, transitions, columnsPerBlock);
    if (stepTable) writeStepTable(out, configurations, marked, horizon, weights.perStart);
    if (summary) writeSummary(out, stepTable, configurations, countMarked(marked), weights.totals);
}
