#include <cstdlib>

#include "model/network.h"

namespace {

// rand() / RAND_MAX as the process has always drawn it; the constant is fixed
// rather than RAND_MAX so that trajectories do not depend on the C library.
double uniformDraw() { return std::rand() / 2147483647.0; }

// In (0, 1]: an arbitration never sees a draw of exactly 0.
double arbitrationDraw() { return (std::rand() + 1.0) * 4.656612873077393e-10; }

constexpr double ZeroGammaSum = 0.0000001;

// Layout of the per-node flags in stepFlags_.
constexpr unsigned char Attempted = 1;
constexpr unsigned char Settled = 2;

}  // namespace

// The order of the rand() calls is part of the behaviour: a run must repeat
// exactly from the C library's initial state.
void Network::step() {
    symmetrize();
    const int n = nodeCount;

    // resize() within the capacity reached once allocates nothing.
    stepDraws_.resize(3 * static_cast<size_t>(n));
    stepFlags_.resize(static_cast<size_t>(n));
    double* const uAlpha = stepDraws_.data();
    double* const uBeta = uAlpha + 2 * n;
    unsigned char* const flags = stepFlags_.data();

    for (int i = 0; i < n; ++i) {
        connected[i] = false;
        flags[i] = 0;
        uAlpha[i] = uniformDraw();
        uAlpha[n + i] = uniformDraw();  // drawn only to keep the sequence; never read
        uBeta[i] = uniformDraw();
    }

    const std::vector<double>& alpha = params[Alpha];
    const std::vector<double>& beta = params[Beta];
    const std::vector<double>& gamma = params[Gamma];

    for (int j = 0; j < n; ++j) {
        int v = partner[j];
        if (!(flags[j] & Settled)) {
            // Two nodes that target each other: only one acts. pointer[k] for
            // k > j still holds its value from the start of the step.
            const int k = pointer[j];
            if (k > j && pointer[k] == j) {
                const double r = arbitrationDraw();
                const double s = gamma[j] + gamma[k];
                const double c = s <= ZeroGammaSum ? arbitrationDraw() : gamma[j] / s;
                flags[c >= r ? k : j] |= Settled;
            }
        }
        if (!(flags[j] & Settled)) {
            flags[j] |= Settled;
            const int t = pointer[j];
            if (t < 0 || links[j][t] == 0) {
                partner[j] = -1;
                v = -1;
            } else if (alpha[j] >= uAlpha[j] && !((flags[t] & Attempted) && partner[t] == j)) {
                flags[j] |= Attempted;
                if (beta[j] >= uBeta[j]) {
                    partner[j] = t;
                    connected[j] = true;
                    ++successCount[j];
                }
                v = partner[j];
            }
        }
        advancePointer(j, v);
    }
    ++stepCount;
}

// The next target is the first neighbour after v in cyclic order; with v = -1
// the search starts at node 0.
void Network::advancePointer(int node, int v) {
    const std::vector<int>& row = links[node];
    for (int tried = 0; tried < nodeCount; ++tried) {
        if (++v >= nodeCount) v -= nodeCount;
        if (row[v] != 0) {
            pointer[node] = v;
            return;
        }
    }
    pointer[node] = -1;
}
