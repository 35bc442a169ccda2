#include "model/analysis.h"

#include <algorithm>
#include <iostream>

#include "model/chain/marks.h"
#include "model/network/network.h"
#include "model/rules/window_outcomes.h"
#include "model/reports.h"
#include "model/storage/row_accumulator.h"
#include "model/support/engine_error.h"
#include "model/support/work_progress.h"
#include "model/text/network_input.h"

// The window's analysis report. Every floating-point result is the one of
// the plain algorithm on dense h x h tables: the same operations on the same
// operands in the same order. Only terms that are exactly zero are left out
// of sums, which leaves sums of non-negative terms that start from 0.0
// unchanged.

namespace {

// One line on `lines` when the analysis cannot be run; nothing else is
// written then.
bool acceptsAnalysis(const NeighbourLists& neighbours, int horizon, int columnsPerBlock, std::ostream& lines) {
    if (horizon < 1 || horizon > MaxAnalysisHorizon) {
        lines << "analysis refused: horizon " << horizon << " is outside 1 to " << MaxAnalysisHorizon;
        endLine(lines);
        return false;
    }
    if (columnsPerBlock < 1) {
        lines << "analysis refused: " << columnsPerBlock << " columns per block, at least 1 needed";
        endLine(lines);
        return false;
    }
    if (configurationCount(neighbours, MaxAnalysisConfigurations) < 0) {
        lines << "analysis refused: the network has " << configurationCountText(neighbours)
              << " configurations, more than the limit of " << MaxAnalysisConfigurations;
        endLine(lines);
        return false;
    }
    return true;
}

// The rows one by one, with a progress line after each.
SparseRows transitionsWithProgressLines(const NetworkModel& network, const NeighbourLists& neighbours,
                                        const ConfigurationList& configurations, std::ostream& lines,
                                        WorkProgress* progress) {
    SparseRows rows;
    WindowOutcomes enumerator(network, neighbours, configurations.count);
    const int h = configurations.count;
    if (progress) progress->begin("enumerating transitions", h);
    for (int j = 1; j <= h; ++j) {
        enumerator.enumerateRow(j - 1, configurations, rows);
        writeAnalysisProgress(lines, static_cast<int>(100LL * j / h));
        addProgress(progress, 1);
    }
    return rows;
}

// The progress lines of the step-table phase, in the order of a computation
// table by table (a line per row when h > 256, a line per table), released in
// proportion to the rows finished here, where the work goes row by row.
class CalculationProgress {
public:
    CalculationProgress(bool enabled, int h, int horizon, std::ostream& lines)
        : lines_(lines),
          h_(h),
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
            writeCalculationProgress(lines_, ((l / h_) + (p - 1)) * 100 / (horizon_ - 1));
        } else {
            writeCalculationProgress(lines_, static_cast<double>(p) * 100 / (horizon_ - 1));
        }
    }

    std::ostream& lines_;
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
    for (size_t k = 0; k < transitions.entryCount(); ++k)
        if (transitions.weight(k) != 0.0) ++start[transitions.column(k) + 1];
    for (int m = 0; m < h; ++m) start[m + 1] += start[m];
    std::vector<int> predecessors(start[h]);
    std::vector<size_t> fill(start.begin(), start.end() - 1);
    for (int l = 0; l < h; ++l)
        transitions.forEachEntry(l, [&](int column, double weight) {
            if (weight != 0.0) predecessors[fill[column]++] = l;
        });

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

    StepWeights compute(CalculationProgress& progress, WorkProgress* counts) {
        if (counts) counts->begin("calculating", h_);
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
            addProgress(counts, 1);
        }
        return weights;
    }

private:
    // Whether column m of power table p is needed.
    bool needed(int m, int p) const { return steps_[m] < horizon_ - p; }

    void loadRow(int l) {
        columns_.clear();
        values_.clear();
        transitions_.forEachEntry(l, [&](int column, double weight) {
            if (weight == 0.0 || !needed(column, 0)) return;
            columns_.push_back(column);
            values_.push_back(weight);
        });
    }

    void advance(int p) {
        for (size_t k = 0; k < columns_.size(); ++k) {
            const double factor = values_[k];
            const int inner = columns_[k];
            transitions_.forEachEntry(inner, [&](int m, double weight) {
                if (needed(m, p)) next_.add(m, factor * weight);
            });
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


}  // namespace

void checkWindowAnalysis(const NetworkModel& network, const std::string& networkName, int horizon,
                         int columnsPerBlock, const AnalysisArgumentNames& names) {
    if (horizon < 1 || horizon > MaxAnalysisHorizon)
        throw EngineError(EngineError::BadInput, names.horizon + " " + std::to_string(horizon) + " is outside 1 to " +
                                                     std::to_string(MaxAnalysisHorizon) + ", the window's limit");
    if (columnsPerBlock < 1) throw EngineError(EngineError::BadInput, names.columns + " must be at least 1");
    const NeighbourLists neighbours = neighbourLists(network);
    if (configurationCount(neighbours, MaxAnalysisConfigurations) < 0)
        throw EngineError(EngineError::BeyondLimit, locationOf(networkName) + "the network has " +
                                                        configurationCountText(neighbours) +
                                                        " configurations, more than the window's limit of " +
                                                        std::to_string(MaxAnalysisConfigurations) + " (" +
                                                        names.largerWork + " take more)");
}

// The analysis runs on the calling thread: the window draws nothing while it
// runs, and its progress lines follow the rows one by one.
void NetworkModel::analyze(std::ostream& out, unsigned options, int horizon, int columnsPerBlock) const {
    analyze(out, std::cout, options, horizon, columnsPerBlock);
}

void NetworkModel::analyze(std::ostream& out, std::ostream& lines, unsigned options, int horizon,
                           int columnsPerBlock, WorkProgress* counts) const {
    const NeighbourLists neighbours = neighbourLists(*this);
    if (!acceptsAnalysis(neighbours, horizon, columnsPerBlock, lines)) return;
    const bool progress = (options & ReportProgress) != 0;
    const bool stepTable = (options & ReportStepTable) != 0;
    const bool summary = (options & ReportSummary) != 0;

    if (options & ReportData) dumpData(out);
    const int h = static_cast<int>(configurationCount(neighbours, MaxAnalysisConfigurations));
    MarkovChain chain;
    if (progress) {
        chain.configurations = listConfigurations(neighbours, h);
        chain.transitions = transitionsWithProgressLines(*this, neighbours, chain.configurations, lines, counts);
        chain.marked = markConfigurations(chain.configurations, findSuccessors(chain.transitions));
        chain.markedCount = countMarked(chain.marked);
        endLine(out);
    } else {
        chain = buildMarkovChain(ChainRules::Window, *this, neighbours, h, 1, counts);
    }

    CalculationProgress calculation(progress, h, horizon, lines);
    StepWeights weights;
    if (stepTable || summary)
        weights = PowerRows(chain.transitions, chain.marked, horizon).compute(calculation, counts);
    calculation.rowsFinished(h);
    if (progress) endLine(out);

    const ConfigurationList& configurations = chain.configurations;
    if (options & ReportTransitions)
        writeTransitionTable(out, configurations, chain.marked, chain.transitions, columnsPerBlock);
    if (stepTable) writeStepTable(out, configurations, chain.marked, horizon, weights.perStart);
    if (summary) writeSummary(out, stepTable, configurations, chain.markedCount, weights.totals);
}
