#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>

#include "model/network/c_library_random.h"

// The written-out generator against the C library's own rand(), on this very
// C library: seeds at the edges of the seeding arithmetic (0, which
// stands for 1, and seeds that are negative as 32-bit words) and long runs.

namespace {

constexpr uint32_t Seeds[] = {0u, 1u, 2u, 12345u, 2147483646u, 2147483647u, 2147483648u, 4294967295u};

}  // namespace

TEST(CLibraryRandom, DrawsWhatRandDrawsForEverySeed) {
    for (const uint32_t seed : Seeds) {
        c_library_random::State state(seed);
        std::srand(seed);
        for (int k = 0; k < 5000; ++k) ASSERT_EQ(state.draw(), std::rand()) << "seed " << seed << ", draw " << k;
    }
}

TEST(CLibraryRandom, ReseedingStartsTheSequenceAgain) {
    c_library_random::State state(99);
    const int32_t first = state.draw();
    state.draw();
    state.reseed(99);
    EXPECT_EQ(state.draw(), first);
}

// The reentrant functions with a buffer the size of rand()'s own state select
// the same generator, which seeded replicates used to draw from.
TEST(CLibraryRandom, DrawsWhatTheReentrantFunctionsDraw) {
    for (const uint32_t seed : Seeds) {
        char buffer[128];
        random_data data{};
        ASSERT_EQ(initstate_r(seed, buffer, sizeof buffer, &data), 0);
        int32_t words[c_library_random::Degree];
        c_library_random::Cursor cursor{words, 0, 0};
        c_library_random::seed(cursor, seed);
        for (int k = 0; k < 2000; ++k) {
            int32_t expected = 0;
            random_r(&data, &expected);
            ASSERT_EQ(c_library_random::next(cursor), expected) << "seed " << seed << ", draw " << k;
        }
    }
}
