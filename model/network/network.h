#pragma once

#include <array>
#include <cstdint>
#include <iosfwd>
#include <vector>

class Painter;
class Font;
class SeededRandom;
class WorkProgress;

// Option bits of NetworkModel::analyze.
enum AnalysisOption : unsigned {
    ReportProgress = 1,
    ReportTransitions = 2,
    ReportStepTable = 4,
    ReportSummary = 8,
    ReportData = 16,
};

// A small undirected network, three probabilities per node, the state the
// pairing process carries between steps and its counters: everything the
// step, the analysis and the reports read, with no panel attached, so that
// the command-line companion and the tests can hold and copy one freely.
// Node-valued fields use -1 for none.
//
// Invariants kept by every operation: every per-node sequence has exactly
// nodeCount entries; links is symmetric with a zero diagonal after symmetrize;
// partner and pointer entries are -1 or below nodeCount; nodeCount >= MinNodeCount.
class NetworkModel {
public:
    static constexpr int MinNodeCount = 2;
    static constexpr int Alpha = 0;
    static constexpr int Beta = 1;
    static constexpr int Gamma = 2;
    // Two gammas that add up to at most this are too small to divide by: the
    // step's arbitration then draws again instead.
    static constexpr double ZeroGammaSum = 0.0000001;

    // Four isolated nodes, every probability 1.0, no partner, counters 0.
    NetworkModel();

    // Model (network.cpp).
    void resize(int count);
    void resetCounters();
    void symmetrize();

    // One pairing step (step.cpp), drawing from the C library's rand(), or
    // from a generator of its own that yields the same sequence for its seed.
    void step();
    void step(SeededRandom& random);

    // Exact analysis and its reports (analysis.cpp, reports.cpp). Progress
    // lines and refusals go to standard output whatever `out` is, or to
    // `lines` when given; the window's output is both on one stream. The
    // rows done go to `counts` when given, which may also stop the work.
    void analyze(std::ostream& out, unsigned options, int horizon, int columnsPerBlock) const;
    void analyze(std::ostream& out, std::ostream& lines, unsigned options, int horizon, int columnsPerBlock,
                 WorkProgress* counts = nullptr) const;
    void dumpData(std::ostream& out) const;

    bool linked(int i, int j) const { return links[i][j] != 0; }

    int nodeCount = 0;
    std::vector<std::vector<int>> links;
    std::vector<int> partner;
    std::vector<int> pointer;
    std::vector<bool> connected;
    std::vector<uint32_t> successCount;
    uint32_t stepCount = 0;
    std::array<std::vector<double>, 3> params;

private:
    template <typename Draw>
    void stepWith(Draw draw);
    void advancePointer(int node, int v);

    // Scratch of step, kept between calls so that a step allocates nothing.
    std::vector<double> stepDraws_;
    std::vector<unsigned char> stepFlags_;
};

// The window's model object: the network and its process, the painter and
// fonts its matrix panel draws with, and the matrix panel's gesture and
// run-speed state.
class Network : public NetworkModel {
public:
    // The run-speed stepping spreads its rate over this many frames a second;
    // the shell paces its loop to it.
    static constexpr double FramesPerSecond = 60.0;

    Network(Painter& painter, Font& largeFont, Font& smallFont);
    Network(const Network&) = delete;
    Network& operator=(const Network&) = delete;

    // Matrix panel editing (views/matrix_editing.cpp).
    void pressLeft(int x, int y);
    void pressRight(int x, int y);
    void releaseLeft();
    void followMouse(int x, int y);

    // Matrix panel drawing and run-speed stepping (views/matrix_panel.cpp).
    void drawMatrix(bool antialias);

    Painter& painter;
    Font& largeFont;
    Font& smallFont;
    bool resizing = false;
    double mouseX = 0.0;
    double mouseY = 0.0;
    bool sliderDragging = false;
    int sliderNode = -1;
    int sliderParam = 0;
    double speed = 0.0;
    double stepCarry = 0.0;
    bool speedDragging = false;
};
