#include <cstdlib>

#include "model/network/network.h"
#include "model/network/seeded_random.h"

namespace {

// A draw divided by glibc's RAND_MAX, 2^31 - 1, written out so that a draw
// of the largest value gives exactly 1.0. Trajectories are those of the C
// library's own rand() sequence; a library with a smaller RAND_MAX would
// yield draws far below 1 and different trajectories, which is why the tests
// that pin glibc's trajectories skip elsewhere.
template <typename Draw>
double uniformDraw(Draw& draw) { return draw() / 2147483647.0; }

// In (0, 1]: an arbitration never sees a draw of exactly 0.
template <typename Draw>
double arbitrationDraw(Draw& draw) { return (draw() + 1.0) * 4.656612873077393e-10; }

// Layout of the per-node flags in stepFlags_.
constexpr unsigned char Attempted = 1;
constexpr unsigned char Settled = 2;

}  // namespace

void NetworkModel::step() {
    stepWith([] { return std::rand(); });
}

void NetworkModel::step(SeededRandom& random) {
    stepWith([&random] { return random.next(); });
}

// The order of the draws is part of the behaviour: a run must repeat exactly
// from the generator's initial state.
template <typename Draw>
void NetworkModel::stepWith(Draw draw) {
    symmetrize();
    const int n = nodeCount;

    // resize() within the capacity reached once allocates nothing.
    stepDraws_.resize(3 * static_cast<size_t>(n));
    stepFlags_.resize(static_cast<size_t>(n));
    double* const uAlpha = stepDraws_.data();
    double* const uSpare = uAlpha + n;  // drawn to keep the sequence, never read
    double* const uBeta = uSpare + n;
    unsigned char* const flags = stepFlags_.data();

    for (int i = 0; i < n; ++i) {
        connected[i] = false;
        flags[i] = 0;
        uAlpha[i] = uniformDraw(draw);
        uSpare[i] = uniformDraw(draw);
        uBeta[i] = uniformDraw(draw);
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
                const double r = arbitrationDraw(draw);
                const double s = gamma[j] + gamma[k];
                const double c = s <= ZeroGammaSum ? arbitrationDraw(draw) : gamma[j] / s;
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
void NetworkModel::advancePointer(int node, int v) {
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
