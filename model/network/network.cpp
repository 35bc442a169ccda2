#include "model/network/network.h"

namespace {

constexpr int InitialNodeCount = 4;

}  // namespace

NetworkModel::NetworkModel() {
    const int count = InitialNodeCount;
    links.assign(count, std::vector<int>(count, 0));
    partner.assign(count, -1);
    pointer.assign(count, -1);
    connected.assign(count, false);
    successCount.assign(count, 0);
    for (auto& values : params) values.assign(count, 1.0);
    nodeCount = count;
}

Network::Network(Painter& painter, Font& largeFont, Font& smallFont)
    : painter(painter), largeFont(largeFont), smallFont(smallFont) {}

void NetworkModel::resize(int count) {
    if (count < MinNodeCount || count == nodeCount) return;
    const double inherited[3] = {params[Alpha].back(), params[Beta].back(), params[Gamma].back()};
    for (auto& row : links) row.resize(count, 0);
    links.resize(count, std::vector<int>(count, 0));
    partner.resize(count, -1);
    pointer.resize(count, -1);
    connected.resize(count, false);
    successCount.resize(count, 0);
    for (int p = 0; p < 3; ++p) params[p].resize(count, inherited[p]);
    nodeCount = count;
    // A surviving node must never name a removed one.
    for (int i = 0; i < count; ++i) {
        if (partner[i] >= count) partner[i] = -1;
        if (pointer[i] >= count) pointer[i] = -1;
    }
}

void NetworkModel::resetCounters() {
    stepCount = 0;
    for (auto& count : successCount) count = 0;
}

// The lower triangle is authoritative.
void NetworkModel::symmetrize() {
    for (int i = 1; i < nodeCount; ++i) {
        for (int j = 0; j < i; ++j) links[j][i] = links[i][j];
        links[i][i] = 0;
    }
}
