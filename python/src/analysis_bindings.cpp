#include "analysis_bindings.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <locale>
#include <optional>
#include <sstream>
#include <utility>
#include <vector>

#include "arguments.h"
#include "interruptible_work.h"
#include "model/analysis.h"
#include "model/long_run/success_curves.h"
#include "model/support/engine_error.h"
#include "model/support/kept_values.h"
#include "model/support/parallel.h"
#include "model/support/work_progress.h"
#include "owned_arrays.h"

namespace py = pybind11;

namespace {

constexpr unsigned AllReportOptions = ReportProgress | ReportTransitions | ReportStepTable | ReportSummary | ReportData;

const PhaseShares ChainPhases = {{"enumerating transitions", 0.9}, {"marking", 0.1}};
const PhaseShares CurvePhases = {{"enumerating transitions", 0.45}, {"marking", 0.05}, {"following the steps", 0.5}};
const PhaseShares ReportPhases = {{"enumerating transitions", 0.2}, {"marking", 0.0}, {"calculating", 0.8}};

// Rows a thread copies at a time.
constexpr long long RowsPerCopyChunk = 1 << 16;

// The one-step weights as CSR arrays, the one copy they make on their way
// to scipy, made on every job: each chunk of rows counts its entries, then
// writes them at its place. Entries of weight exactly 0.0, which some
// enumeration paths add, are left out, as the command's Matrix Market
// export leaves them out.
template <typename Index>
struct CsrArrays {
    UninitialisedBuffer<Index> rowStarts;
    UninitialisedBuffer<Index> columns;
    UninitialisedBuffer<double> weights;

    CsrArrays(const SparseRows& rows, int jobs) {
        const int h = rows.rowCount();
        const long long chunks = (h + RowsPerCopyChunk - 1) / RowsPerCopyChunk;
        std::vector<size_t> chunkStart(static_cast<size_t>(chunks) + 1, 0);
        forEachChunk(jobs, h, RowsPerCopyChunk, [&](int, long long chunk, long long begin, long long end) {
            size_t kept = 0;
            for (size_t k = rows.begin(static_cast<int>(begin)), e = rows.end(static_cast<int>(end) - 1); k < e; ++k)
                kept += rows.weight(k) != 0.0;
            chunkStart[chunk + 1] = kept;
        });
        for (long long chunk = 0; chunk < chunks; ++chunk) chunkStart[chunk + 1] += chunkStart[chunk];
        rowStarts.resize(static_cast<size_t>(h) + 1);
        columns.resize(chunkStart[chunks]);
        weights.resize(chunkStart[chunks]);
        rowStarts[0] = 0;
        forEachChunk(jobs, h, RowsPerCopyChunk, [&](int, long long chunk, long long begin, long long end) {
            size_t at = chunkStart[chunk];
            for (long long l = begin; l < end; ++l) {
                rows.forEachEntry(static_cast<int>(l), [&](int column, double weight) {
                    if (weight == 0.0) return;
                    columns[at] = static_cast<Index>(column);
                    weights[at++] = weight;
                });
                rowStarts[l + 1] = static_cast<Index>(at);
            }
        });
    }

    void moveInto(PythonChain& chain) {
        const auto h = static_cast<py::ssize_t>(rowStarts.size()) - 1;
        const auto entries = static_cast<py::ssize_t>(columns.size());
        chain.rowStarts = ownedArray(std::move(rowStarts), {h + 1});
        chain.columns = ownedArray(std::move(columns), {entries});
        chain.weights = ownedArray(std::move(weights), {entries});
    }
};

// scipy wants indptr and indices of one integer type; 32 bits hold any
// column, and the row starts too unless there are 2^31 entries or more.
bool fitsInt32(const SparseRows& rows) {
    return rows.entryCount() <= static_cast<size_t>(std::numeric_limits<int32_t>::max());
}

std::vector<uint8_t> markBytes(const std::vector<bool>& marked) { return {marked.begin(), marked.end()}; }

// analyze writes a line at a time and flushes it: while it writes its
// tables, the flush is where the report notices that it is asked to stop.
class StoppableText : public std::stringbuf {
public:
    explicit StoppableText(const WorkProgress& counts) : counts_(counts) {}

protected:
    int sync() override {
        if (counts_.stopRequested()) throw WorkStopped();
        return std::stringbuf::sync();
    }

private:
    const WorkProgress& counts_;
};

}  // namespace

// Each call works on a copy of the network: the work runs without the GIL,
// and another Python thread may change the network meanwhile.

PythonChain chainOf(const PythonNetwork& network, const std::string& rulesName, long long jobs,
                    long long maxConfigurations, const py::object& progress) {
    const ChainRules rules = chainArgument(rulesName);
    const int threads = jobsArgument(jobs);
    const int count = configurationsWithin(network, maxConfigurations);
    const NetworkModel model = network.model;
    WorkProgress counts;
    MarkovChain chain;
    std::optional<CsrArrays<int32_t>> narrow;
    std::optional<CsrArrays<int64_t>> wide;
    runInterruptibly(counts, ChainPhases, progress, [&] {
        chain = buildMarkovChainWithin(rules, model, neighbourLists(model), count, threads, memoryLimits(network.name),
                                       0.0, &counts);
        if (fitsInt32(chain.transitions))
            narrow.emplace(chain.transitions, threads);
        else
            wide.emplace(chain.transitions, threads);
        chain.transitions = SparseRows();
    });

    PythonChain result;
    result.configurationCount = chain.configurations.count;
    result.nodeCount = chain.configurations.nodeCount;
    result.markedCount = chain.markedCount;
    result.rules = rules;
    if (narrow)
        narrow->moveInto(result);
    else
        wide->moveInto(result);
    result.marked = readOnlyArray(markBytes(chain.marked), {result.configurationCount}, py::dtype("bool"));
    result.configurations = readOnlyArray(std::move(chain.configurations.entries),
                                          {result.configurationCount, result.nodeCount});
    result.matrix = py::none();
    return result;
}

py::object chainMatrix(PythonChain& chain) {
    if (chain.matrix.is_none()) {
        const py::object csr = py::module_::import("scipy.sparse").attr("csr_matrix");
        const py::tuple shape = py::make_tuple(chain.configurationCount, chain.configurationCount);
        chain.matrix = csr(py::make_tuple(chain.weights, chain.columns, chain.rowStarts), py::arg("shape") = shape,
                           py::arg("copy") = false);
    }
    return chain.matrix;
}

py::array curveOf(const PythonNetwork& network, long long horizon, bool perConfiguration, const std::string& rulesName,
                  long long jobs, long long maxConfigurations, const py::object& progress) {
    checkRange("horizon", horizon, 0, MaxCurveHorizon);
    const ChainRules rules = chainArgument(rulesName);
    const int threads = jobsArgument(jobs);
    const int count = configurationsWithin(network, maxConfigurations);
    if (perConfiguration)
        checkKeptValues(static_cast<unsigned long long>(count) * static_cast<unsigned long long>(horizon + 1),
                        "per_configuration with " + std::to_string(count) + " configurations");
    const NetworkModel model = network.model;
    WorkProgress counts;
    SuccessCurves curves;
    runInterruptibly(counts, CurvePhases, progress, [&] {
        const double keptBytes = perConfiguration ? static_cast<double>(count) * (horizon + 1.0) * sizeof(double) : 0.0;
        const MarkovChain chain = buildMarkovChainWithin(rules, model, neighbourLists(model), count, threads,
                                                         memoryLimits(network.name), keptBytes, &counts);
        curves = computeSuccessCurves(chain.transitions, chain.marked, static_cast<int>(horizon), perConfiguration,
                                      threads, &counts);
    });
    if (perConfiguration) return ownedArray(std::move(curves.perConfiguration), {horizon + 1, count});
    return ownedArray(std::move(curves.average), {horizon + 1});
}

std::string reportOf(const PythonNetwork& network, long long options, long long horizon, long long columns,
                     const py::object& progress) {
    checkRange("options", options, 0, AllReportOptions);
    // Past an int, a horizon is as far outside the window's range as any,
    // and columns as many as there are configurations: one block.
    if (horizon < 1 || horizon > MaxAnalysisHorizon)
        refuseArgument("horizon " + std::to_string(horizon) + " is outside 1 to " +
                       std::to_string(MaxAnalysisHorizon) + ", the window's limit");
    columns = std::min<long long>(columns, std::numeric_limits<int>::max());
    checkWindowAnalysis(network.model, network.name, static_cast<int>(horizon), static_cast<int>(std::max(columns, 0LL)),
                        {"horizon", "columns", "curve and chain"});
    const NetworkModel model = network.model;
    WorkProgress counts;
    StoppableText text(counts);
    runInterruptibly(counts, ReportPhases, progress, [&] {
        // One stream for the report and its progress lines, as the window's
        // standard output, with the classic locale's numbers.
        std::ostream out(&text);
        out.imbue(std::locale::classic());
        out.exceptions(std::ios::badbit);
        model.analyze(out, out, static_cast<unsigned>(options), static_cast<int>(horizon), static_cast<int>(columns),
                      &counts);
    });
    return text.str();
}

std::string dataBlockOf(const PythonNetwork& network) {
    std::ostringstream out;
    out.imbue(std::locale::classic());
    network.model.dumpData(out);
    return out.str();
}
