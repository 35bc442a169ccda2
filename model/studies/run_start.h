#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/network/configurations.h"

class NetworkModel;

// Where each replicate of a sampled run starts. A configuration of partner
// values fixes the whole state the step reads: every pointer is then the
// first neighbour after its node's partner in cyclic order, as after any
// step, and the counters are 0.
struct RunStart {
    enum Kind {
        NetworkState,   // the network's own partners and pointers, -1 after reading a block
        Uniform,        // a configuration drawn uniformly for each replicate, its seed deciding it
        Configuration,  // the configuration `partners`, the same for every replicate
    };
    Kind kind = NetworkState;
    std::vector<int> partners;
};

// The start from one configuration given by its partner values. EngineError
// (bad input) unless there is one value per node, each a neighbour of its
// node, or -1 for a node without neighbours; the message names the node.
RunStart configurationStart(const NeighbourLists& neighbours, const std::vector<long long>& partners);

// The network as the replicate with `seed` starts: `network` itself for its
// own state, otherwise with the start's configuration placed in it.
NetworkModel startingNetwork(const NetworkModel& network, const NeighbourLists& neighbours, const RunStart& start,
                             unsigned seed);

// Sets partners, the pointers that follow from them, no node connected and
// the counters 0.
void placeConfiguration(NetworkModel& network, const std::vector<int>& partners);

// SplitMix64 (Steele, Lea and Flood, 2014): 64 well-mixed bits a draw from a
// 64-bit counter. The start draws from it rather than from the step's
// sequence, so that a replicate's steps are the same for every start.
class StartRandom {
public:
    explicit StartRandom(uint64_t seed) : state_(seed) {}

    uint64_t next() {
        uint64_t z = (state_ += 0x9e3779b97f4a7c15ULL);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        return z ^ (z >> 31);
    }

private:
    uint64_t state_;
};

// A draw uniform on 0 .. bound - 1, bound > 0, without modulo bias: draws
// below 2^64 mod bound, the remainder that would favour the lowest values,
// are thrown away and drawn again.
template <typename Random>
uint64_t uniformBelow(Random& random, uint64_t bound) {
    const uint64_t rejected = (0 - bound) % bound;  // 2^64 mod bound
    for (;;) {
        const uint64_t draw = random.next();
        if (draw >= rejected) return draw % bound;
    }
}

// A configuration drawn uniformly among all of the network's: each linked
// node's partner one of its neighbours, independently and uniformly, node 0
// first; -1 for a node without neighbours. The seed alone decides it.
std::vector<int> uniformConfiguration(const NeighbourLists& neighbours, unsigned seed);
