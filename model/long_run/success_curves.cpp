#include "model/long_run/success_curves.h"

#include "model/support/parallel.h"
#include "model/support/work_progress.h"

namespace {

constexpr long long RowsPerBlock = 8192;

// One step back: next[l] for the rows of one block, and the block's sum.
double applyRows(const SparseRows& transitions, const double* previous, double* next, long long begin, long long end) {
    double blockSum = 0.0;
    double sum = 0.0;
    transitions.forEachEntryOfRows(
        static_cast<int>(begin), static_cast<int>(end),
        [&](int column, double weight) { sum += weight * previous[column]; },
        [&](int row) {
            next[row] = sum;
            blockSum += sum;
            sum = 0.0;
        });
    return blockSum;
}

}  // namespace

SuccessCurves computeSuccessCurves(const SparseRows& transitions, const std::vector<bool>& marked, int horizon,
                                   bool keepPerConfiguration, int jobs, WorkProgress* progress) {
    const int h = transitions.rowCount();
    SuccessCurves curves;
    curves.horizon = horizon;
    curves.configurationCount = h;
    curves.average.assign(static_cast<size_t>(horizon) + 1, 0.0);

    std::vector<double> current(static_cast<size_t>(h));
    std::vector<double> next(static_cast<size_t>(h));
    long long markedCount = 0;
    for (int l = 0; l < h; ++l) {
        current[l] = marked[l] ? 1.0 : 0.0;
        markedCount += marked[l];
    }
    curves.average[0] = static_cast<double>(markedCount) / h;
    if (keepPerConfiguration) {
        curves.perConfiguration.reserve((static_cast<size_t>(horizon) + 1) * h);
        curves.perConfiguration.insert(curves.perConfiguration.end(), current.begin(), current.end());
    }

    if (markedCount == 0) {
        // Nothing to reach: every weight stays 0.
        if (keepPerConfiguration) curves.perConfiguration.resize((static_cast<size_t>(horizon) + 1) * h, 0.0);
        return curves;
    }

    const long long blocks = (h + RowsPerBlock - 1) / RowsPerBlock;
    std::vector<double> blockSums(static_cast<size_t>(blocks));
    if (progress) progress->begin("following the steps", static_cast<long long>(horizon) * h);
    for (int p = 1; p <= horizon; ++p) {
        forEachChunk(jobs, h, RowsPerBlock, [&](int, long long block, long long begin, long long end) {
            blockSums[block] = applyRows(transitions, current.data(), next.data(), begin, end);
            addProgress(progress, end - begin);
        });
        double total = 0.0;
        for (const double sum : blockSums) total += sum;
        curves.average[p] = total / h;
        current.swap(next);
        if (keepPerConfiguration)
            curves.perConfiguration.insert(curves.perConfiguration.end(), current.begin(), current.end());
    }
    return curves;
}
