// rand() and srand() of the desktop's C library in place of the page's own:
// the page then steps through the same outcomes as the desktop program.
// Linked into the page only, as objects, which the linker takes before the C
// library's archive.

#include "model/network/c_library_random.h"

namespace {

namespace cr = c_library_random;

// A process that never seeds draws the sequence of seed 1.
cr::State& processState() {
    static cr::State state(1);
    return state;
}

}  // namespace

extern "C" {

int rand(void) { return processState().draw(); }

void srand(unsigned int seed) { processState().reseed(seed); }

}
