#pragma once

// The exact analysis written out the plain way, step for step: dense h x h
// tables, 32 power tables allocated up front, a linear search for each leaf,
// full triple-loop products, and every number written straight into the
// stream. Slow and memory-hungry on purpose: the product is compared against
// it byte for byte.

#include <cmath>
#include <iomanip>
#include <iostream>
#include <ostream>
#include <vector>

#include "model/network/network.h"

namespace oracle {

inline void endLine(std::ostream& out) { out << '\n' << std::flush; }

inline double truncateDecimals(int places, double x) {
    return std::floor(x * std::pow(10.0, places)) / std::pow(10.0, places);
}

struct Context {
    Context(const NetworkModel& network, int nodeCount, int configurationCount,
            const std::vector<std::vector<int>>& configurations)
        : network(network),
          nodeCount(nodeCount),
          configurationCount(configurationCount),
          configurations(configurations) {}

    const NetworkModel& network;
    int nodeCount;
    int configurationCount;
    std::vector<std::vector<int>> configurations;
    int source = 0;
    std::vector<int> newPartner;
    std::vector<int> successor;
    std::vector<bool> resolved;
    std::vector<bool> marked;
    std::vector<std::vector<double>> transitions;
    int depth = 0;
    double weight = 1.0;
};

inline int targetOf(const NetworkModel& network, const std::vector<int>& c, int i) {
    int v = c[i];
    for (;;) {
        v = v + 1;
        if (v >= network.nodeCount) v = 0;
        if (network.links[i][v] != 0) return v;
    }
}

inline void enumerateOutcomes(Context& ctx) {
    const int n = ctx.depth;
    const int N = ctx.nodeCount;
    const std::vector<int>& src = ctx.configurations[ctx.source];
    const std::vector<double>& a = ctx.network.params[NetworkModel::Alpha];
    const std::vector<double>& b = ctx.network.params[NetworkModel::Beta];
    const std::vector<double>& g = ctx.network.params[NetworkModel::Gamma];
    if (n >= N) {
        for (int r = 0; r < ctx.configurationCount; ++r) {
            bool equal = true;
            for (int i = 0; i < N; ++i)
                if (ctx.configurations[r][i] != ctx.newPartner[i]) equal = false;
            if (equal) {
                ctx.transitions[ctx.source][r] += ctx.weight;
                break;
            }
        }
        ctx.depth = n - 1;
        return;
    }
    if (src[n] < 0) {
        ctx.newPartner[n] = -1;
        ctx.resolved[n] = true;
        ctx.depth = n + 1;
        enumerateOutcomes(ctx);
        ctx.depth = n - 1;
        return;
    }
    const int t = targetOf(ctx.network, src, n);
    ctx.newPartner[n] = t;
    if (t < n && (!ctx.resolved[t] || ctx.newPartner[t] == n)) {
        const double saved = ctx.weight;
        double gn, gt;
        const double sum = g[n] + g[t];
        if (sum == 0.0) {
            gn = 0.5;
            gt = 0.5;
        } else {
            gn = g[n] / sum;
            gt = g[t] / sum;
        }
        const double o = a[n] * a[t];
        const double pn = ((gn * o + a[n]) - o) * b[n];
        const double pt = ((gt * o + a[t]) - o) * b[t];
        const double rest = (1 - pn) - pt;

        ctx.newPartner[n] = src[n];
        ctx.resolved[n] = false;
        ctx.resolved[t] = true;
        ctx.weight = pn * saved;
        ctx.depth = n + 1;
        enumerateOutcomes(ctx);

        ctx.newPartner[n] = t;
        ctx.newPartner[t] = src[t];
        ctx.resolved[n] = true;
        ctx.resolved[t] = false;
        ctx.weight = pt * saved;
        ctx.depth = n + 1;
        enumerateOutcomes(ctx);

        ctx.newPartner[t] = n;
        if (rest > 0) {
            ctx.newPartner[n] = src[n];
            ctx.newPartner[t] = src[t];
            ctx.resolved[n] = false;
            ctx.resolved[t] = false;
            ctx.weight = rest * saved;
            ctx.depth = n + 1;
            enumerateOutcomes(ctx);
        }
        ctx.weight = saved;
    } else {
        ctx.resolved[n] = true;
        ctx.weight = (a[n] * b[n]) * ctx.weight;
        ctx.depth = n + 1;
        enumerateOutcomes(ctx);
    }
    ctx.depth = n - 1;
}

// The S marks, configuration by configuration, each following its chain of
// successors.
inline void markLiterally(Context& ctx) {
    const int h = ctx.configurationCount;
    const int N = ctx.nodeCount;
    for (int l = 0; l < h; ++l) {
        if (ctx.successor[l] == -1 || ctx.marked[l]) continue;
        int H = ctx.successor[l];
        int m = 0;
        bool mark = false;
        for (;;) {
            if (H == l) {
                mark = true;
                break;
            }
            bool same = false;
            for (int i = 0; i < N; ++i)
                if (ctx.configurations[l][i] != -1 && ctx.configurations[H][i] == ctx.configurations[l][i]) same = true;
            if (same) break;
            m = m + 1;
            if (m > h) {
                mark = true;
                break;
            }
            if (ctx.marked[H]) {
                mark = true;
                break;
            }
            H = ctx.successor[H];
            if (H == -1) break;
        }
        if (mark) {
            ctx.marked[l] = true;
            int F = ctx.successor[l];
            while (!ctx.marked[F]) {
                ctx.marked[F] = true;
                F = ctx.successor[F];
            }
        }
    }

}

inline void dumpData(const NetworkModel& network, std::ostream& out) {
    out << "DATA:";
    endLine(out);
    for (int i = 0; i < network.nodeCount; ++i) {
        for (int j = 0; j < network.nodeCount; ++j) out << (network.links[i][j] != 0 ? "1" : "0");
        out << " " << std::fixed << std::setprecision(3) << std::setw(5) << network.params[0][i] << " "
            << network.params[1][i] << " " << network.params[2][i];
        endLine(out);
    }
    endLine(out);
}

// Configurations, one-step table, successors and marks, as analyze builds
// them; afterRow(j, h) runs after the j-th of the h source configurations.
template <typename AfterRow>
inline Context buildChain(const NetworkModel& network, AfterRow afterRow) {
    const int N = network.nodeCount;
    std::vector<int> k(N, 0);
    for (int i = 0; i < N; ++i)
        for (int j = 0; j < N; ++j)
            if (network.links[i][j] == 1) ++k[i];
    int h = 1;
    for (int i = 0; i < N; ++i)
        if (k[i] >= 1) h *= k[i];

    std::vector<std::vector<int>> configurations(h, std::vector<int>(N, 0));
    int stride = 1;
    for (int i = 0; i < N; ++i) {
        if (k[i] >= 1) {
            for (int s = 0; s < h; ++s) {
                const int d = (s / stride) % k[i];
                int seen = 0;
                for (int j = 0; j < N; ++j) {
                    if (network.links[i][j] == 1) {
                        if (seen == d) configurations[s][i] = j;
                        ++seen;
                    }
                }
            }
            stride *= k[i];
        } else {
            for (int s = 0; s < h; ++s) configurations[s][i] = -1;
        }
    }

    Context ctx(network, N, h, configurations);
    ctx.newPartner.assign(N, 0);
    ctx.resolved.assign(N, false);
    ctx.transitions.assign(h, std::vector<double>(h, 0.0));
    ctx.successor.assign(h, -1);
    ctx.marked.assign(h, false);

    for (int j = 1; j <= h; ++j) {
        ctx.source = j - 1;
        ctx.depth = 0;
        ctx.weight = 1.0;
        enumerateOutcomes(ctx);
        afterRow(j, h);
    }

    for (int s = 0; s < h; ++s) {
        for (int l = 0; l < h; ++l) {
            if (ctx.transitions[s][l] == 1.0) {
                ctx.successor[s] = l;
                break;
            }
        }
    }
    markLiterally(ctx);
    return ctx;
}

inline void analyze(const NetworkModel& network, std::ostream& out, unsigned options, int horizon,
                    int columnsPerBlock) {
    const int N = network.nodeCount;
    if (options & 16) dumpData(network, out);
    Context ctx = buildChain(network, [&](int j, int h) {
        if (options & 1) {
            std::cout << "analize: " << std::setw(3) << (100 * j) / h << "%"
                      << "; calculation:   0%";
            endLine(std::cout);
        }
    });
    if (options & 1) endLine(out);
    const int h = ctx.configurationCount;
    const std::vector<std::vector<int>>& configurations = ctx.configurations;


    std::vector<std::vector<std::vector<double>>> stepTables(
        32, std::vector<std::vector<double>>(h, std::vector<double>(h, 0.0)));
    stepTables[0] = ctx.transitions;
    for (int p = 1; p < horizon; ++p) {
        for (int l = 0; l < h; ++l) {
            for (int m = 0; m < h; ++m) {
                double sum = 0.0;
                for (int I = 0; I < h; ++I) sum += stepTables[p - 1][l][I] * ctx.transitions[I][m];
                stepTables[p][l][m] = sum;
            }
            if ((options & 1) && h > 256) {
                std::cout << "analize: 100%" << "; calculation: " << std::fixed << std::setprecision(3)
                          << std::setw(7) << ((double(l) / double(h)) + double(p - 1)) * 100.0 / double(horizon - 1)
                          << "%";
                endLine(std::cout);
            }
        }
        if (options & 1) {
            std::cout << "analize: 100%" << "; calculation: " << std::fixed << std::setprecision(3) << std::setw(7)
                      << double(p) * 100.0 / double(horizon - 1) << "%";
            endLine(std::cout);
        }
    }
    if (options & 1) endLine(out);

    const int W = 2 * N >= 8 ? 2 * N : 8;
    if (options & 2) {
        for (int c0 = 0; c0 < h; c0 += columnsPerBlock) {
            const int c1 = c0 + columnsPerBlock < h ? c0 + columnsPerBlock : h;
            for (int s = 0; s < W + 4; ++s) out << " ";
            for (int m = c0; m < c1; ++m) {
                for (int i = 0; i < N; ++i) out << std::setw(2) << configurations[m][i];
                for (int s = 0; s < W + 2 - 2 * N; ++s) out << " ";
            }
            endLine(out);
            for (int l = 0; l < h; ++l) {
                for (int i = 0; i < N; ++i) out << std::setw(2) << configurations[l][i];
                out << (ctx.marked[l] ? " S  " : " C  ");
                for (int m = c0; m < c1; ++m)
                    out << std::fixed << std::setprecision(W - 2) << std::setw(W)
                        << truncateDecimals(W - 2, ctx.transitions[l][m]) << "  ";
                endLine(out);
            }
            endLine(out);
        }
    }
    if (options & 4) {
        for (int s = 0; s < 2 * N + 4; ++s) out << " ";
        for (int p = 0; p <= horizon; ++p) out << std::setw(8) << p << "  ";
        endLine(out);
        for (int l = 0; l < h; ++l) {
            for (int i = 0; i < N; ++i) out << std::setw(2) << configurations[l][i];
            out << (ctx.marked[l] ? " S  " : " C  ");
            out << std::fixed << std::setprecision(6) << std::setw(8) << (ctx.marked[l] ? 1.0 : 0.0) << "  ";
            for (int p = 0; p < horizon; ++p) {
                double sum = 0.0;
                for (int m = 0; m < h; ++m)
                    if (ctx.marked[m]) sum += stepTables[p][l][m];
                out << std::fixed << std::setprecision(6) << std::setw(8) << sum << "  ";
            }
            endLine(out);
        }
        endLine(out);
    }
    if (options & 8) {
        if (options & 4)
            for (int s = 0; s < 2 * N + 4; ++s) out << " ";
        int markedCount = 0;
        for (int l = 0; l < h; ++l)
            if (ctx.marked[l]) ++markedCount;
        out << std::fixed << std::setprecision(6) << std::setw(8) << double(markedCount) / double(h) << "  ";
        for (int p = 0; p < horizon; ++p) {
            double sum = 0.0;
            for (int l = 0; l < h; ++l)
                for (int m = 0; m < h; ++m)
                    if (ctx.marked[m]) sum += stepTables[p][l][m];
            out << std::fixed << std::setprecision(6) << std::setw(8)
                << std::floor(sum / double(h) * 1000000.0) / 1000000.0 << "  ";
        }
        endLine(out);
        endLine(out);
    }
}

}  // namespace oracle
