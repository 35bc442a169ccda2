#pragma once

// Two frames side by side for the panel tests: the panel draws into `drawn`,
// a literal transcription of its drawing list into `expected`, both with the
// real font (text placement and formats are part of what is checked), and
// every canvas word must agree.

#include <cstdint>
#include <random>

#include "graphics/canvas.h"
#include "graphics/font.h"
#include "model/network/network.h"

struct PanelFrames {
    static constexpr uint32_t Background = 0xC0C0C0;

    PanelFrames() { clear(); }

    void clear() {
        drawnPainter.clear(Background);
        expectedPainter.clear(Background);
    }

    bool same() const {
        const uint32_t* a = drawn.pixels();
        const uint32_t* b = expected.pixels();
        return std::equal(a, a + size_t{drawn.pitch() / 4} * drawn.height(), b);
    }

    Canvas drawn{1024, 768};
    Canvas expected{1024, 768};
    Painter drawnPainter{&drawn};
    Painter expectedPainter{&expected};
    Font large{&drawn, VORLASK_TEST_FONT, 24};
    Font small{&drawn, VORLASK_TEST_FONT, 20};
    Font expectedLarge{&expected, VORLASK_TEST_FONT, 24};
    Font expectedSmall{&expected, VORLASK_TEST_FONT, 20};
    Network network{drawnPainter, large, small};
};

// A network in any state the panels can meet: links one way or both,
// parameters that agree or not (on 64ths and off them), partners and
// pointers on linked or unlinked nodes, counters small and past 2^31, any
// run speed and carry.
inline void randomPanelState(Network& net, std::mt19937& random, int maxNodes = 9) {
    const auto below = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    const auto unit = [&] { return std::uniform_real_distribution<double>(0.0, 1.0)(random); };
    net.resize(2 + below(maxNodes - 1));
    const int n = net.nodeCount;
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < n; ++j) net.links[i][j] = below(3) == 0 ? 1 : 0;
    }
    for (auto& values : net.params) {
        const int kind = below(3);
        const double shared = below(2) ? below(65) / 64.0 : unit();
        for (double& v : values) v = kind == 0 ? shared : kind == 1 ? below(65) / 64.0 : unit();
    }
    for (int i = 0; i < n; ++i) {
        net.partner[i] = below(n + 1) - 1;
        net.pointer[i] = below(n + 1) - 1;
        net.connected[i] = below(2) == 1;
    }
    net.stepCount = below(4) == 0 ? 0u : static_cast<uint32_t>(random());
    for (uint32_t& count : net.successCount) count = net.stepCount == 0 ? 0u : static_cast<uint32_t>(random()) % net.stepCount;
    net.speed = below(3) == 0 ? 0.0 : 8.0 * unit();
    net.stepCarry = below(3) == 0 ? 0.0 : below(4) == 0 ? 1.5 : unit();
}
