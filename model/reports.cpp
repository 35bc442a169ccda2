#include "model/reports.h"

#include <cmath>
#include <iomanip>
#include <ostream>
#include <sstream>
#include <string>

#include "model/network/network.h"

namespace {

// Builds lines of text exactly as the target stream would format them, by
// formatting through a scratch stream that carries the target's formatting
// state (locale, fill, flags). Lines are then written whole.
class LineBuilder {
public:
    explicit LineBuilder(const std::ostream& target) { scratch_.copyfmt(target); }

    void setFixed(int precision) { scratch_ << std::fixed << std::setprecision(precision); }

    void addSpaces(int count) { line_.append(static_cast<size_t>(count), ' '); }
    void addText(const char* text) { line_ += text; }
    void addText(const std::string& text) { line_ += text; }
    void addInt(int value, int width) {
        scratch_.str(std::string());
        scratch_ << std::setw(width) << value;
        line_ += scratch_.str();
    }
    // In the precision last given to setFixed.
    void addDouble(double value, int width) {
        scratch_.str(std::string());
        scratch_ << std::setw(width) << value;
        line_ += scratch_.str();
    }
    std::string formatDouble(double value, int width) {
        scratch_.str(std::string());
        scratch_ << std::setw(width) << value;
        return scratch_.str();
    }

    void addConfiguration(const int* entries, int nodeCount) {
        for (int i = 0; i < nodeCount; ++i) addInt(entries[i], 2);
    }
    void addMark(bool marked) { line_ += marked ? " S  " : " C  "; }

    const std::string& line() const { return line_; }
    void clear() { line_.clear(); }
    // The line, its newline, a flush; the builder starts a new line.
    void writeLine(std::ostream& out) {
        out.write(line_.data(), static_cast<std::streamsize>(line_.size()));
        endLine(out);
        line_.clear();
    }

private:
    std::ostringstream scratch_;
    std::string line_;
};

// What a chain of `<< std::fixed << std::setprecision(p) << value` leaves behind.
void leaveFixed(std::ostream& out, int precision) { out << std::fixed << std::setprecision(precision); }

std::vector<std::string> rowPrefixes(const std::ostream& out, const ConfigurationList& configurations,
                                     const std::vector<bool>& marked) {
    LineBuilder builder(out);
    std::vector<std::string> prefixes(static_cast<size_t>(configurations.count));
    for (int l = 0; l < configurations.count; ++l) {
        builder.clear();
        builder.addConfiguration(configurations[l], configurations.nodeCount);
        builder.addMark(marked[l]);
        prefixes[l] = builder.line();
    }
    return prefixes;
}

}  // namespace

double truncateDecimals(int places, double x) {
    const double scale = std::pow(10.0, places);
    return std::floor(x * scale) / scale;
}

int transitionColumnWidth(int nodeCount) { return 2 * nodeCount >= 8 ? 2 * nodeCount : 8; }

void endLine(std::ostream& out) {
    out.put('\n');
    out.flush();
}

void writeAnalysisProgress(std::ostream& out, int percent) {
    out << "analize: " << std::setw(3) << percent << "%" << "; calculation:   0%";
    endLine(out);
}

void writeCalculationProgress(std::ostream& out, double percent) {
    out << "analize: 100%" << "; calculation: " << std::fixed << std::setprecision(3) << std::setw(7) << percent
        << "%";
    endLine(out);
}

void NetworkModel::dumpData(std::ostream& out) const {
    out << "DATA:";
    endLine(out);
    for (int i = 0; i < nodeCount; ++i) {
        for (int j = 0; j < nodeCount; ++j) out << (links[i][j] != 0 ? '1' : '0');
        out << ' ' << std::fixed << std::setprecision(3) << std::setw(5) << params[Alpha][i] << ' '
            << params[Beta][i] << ' ' << params[Gamma][i];
        endLine(out);
    }
    endLine(out);
}

void writeTransitionTable(std::ostream& out, const ConfigurationList& configurations,
                          const std::vector<bool>& marked, const SparseRows& transitions, int columnsPerBlock) {
    const int n = configurations.nodeCount;
    const int h = configurations.count;
    const int width = transitionColumnWidth(n);
    const int decimals = width - 2;
    const double scale = std::pow(10.0, decimals);

    LineBuilder builder(out);
    builder.setFixed(decimals);
    const std::vector<std::string> prefixes = rowPrefixes(out, configurations, marked);
    // Most cells are empty; their text is the same every time.
    const std::string emptyCell = builder.formatDouble(0.0, width) + "  ";

    // Entries of each row not yet written, consumed block by block.
    std::vector<size_t> next(static_cast<size_t>(h));
    for (int l = 0; l < h; ++l) next[l] = transitions.begin(l);
    for (int c0 = 0; c0 < h; c0 += columnsPerBlock) {
        const int c1 = columnsPerBlock < h - c0 ? c0 + columnsPerBlock : h;
        builder.addSpaces(width + 4);
        for (int m = c0; m < c1; ++m) {
            builder.addConfiguration(configurations[m], n);
            builder.addSpaces(width + 2 - 2 * n);
        }
        builder.writeLine(out);
        for (int l = 0; l < h; ++l) {
            builder.addText(prefixes[l]);
            size_t k = next[l];
            const size_t rowEnd = transitions.end(l);
            for (int m = c0; m < c1; ++m) {
                double shown = 0.0;
                if (k < rowEnd && transitions.column(k) == m) shown = std::floor(transitions.weight(k++) * scale) / scale;
                if (shown == 0.0 && !std::signbit(shown)) {
                    builder.addText(emptyCell);
                } else {
                    builder.addDouble(shown, width);
                    builder.addSpaces(2);
                }
            }
            next[l] = k;
            builder.writeLine(out);
        }
        endLine(out);
    }
    leaveFixed(out, decimals);
}

void writeStepTable(std::ostream& out, const ConfigurationList& configurations, const std::vector<bool>& marked,
                    int horizon, const std::vector<double>& markedWeights) {
    const int n = configurations.nodeCount;
    LineBuilder builder(out);
    builder.addSpaces(2 * n + 4);
    for (int p = 0; p <= horizon; ++p) {
        builder.addInt(p, 8);
        builder.addSpaces(2);
    }
    builder.writeLine(out);

    builder.setFixed(6);
    for (int l = 0; l < configurations.count; ++l) {
        builder.addConfiguration(configurations[l], n);
        builder.addMark(marked[l]);
        builder.addDouble(marked[l] ? 1.0 : 0.0, 8);
        builder.addSpaces(2);
        const double* weights = markedWeights.data() + static_cast<size_t>(l) * horizon;
        for (int p = 0; p < horizon; ++p) {
            builder.addDouble(weights[p], 8);
            builder.addSpaces(2);
        }
        builder.writeLine(out);
    }
    endLine(out);
    leaveFixed(out, 6);
}

void writeSummary(std::ostream& out, bool indented, const ConfigurationList& configurations, int markedCount,
                  const std::vector<double>& totals) {
    const double h = configurations.count;
    LineBuilder builder(out);
    builder.setFixed(6);
    if (indented) builder.addSpaces(2 * configurations.nodeCount + 4);
    builder.addDouble(markedCount / h, 8);
    builder.addSpaces(2);
    for (const double total : totals) {
        builder.addDouble(truncateDecimals(6, total / h), 8);
        builder.addSpaces(2);
    }
    builder.writeLine(out);
    endLine(out);
    leaveFixed(out, 6);
}
