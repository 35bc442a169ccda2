#include "model/network/c_library_random.h"

namespace c_library_random {

namespace {

// 16807 x modulo 2^31 - 1 without overflow (Schrage's method), in the
// widths of the reference: a 32-bit word, 64-bit quotient and remainder.
int32_t lehmerStep(int32_t word) {
    const int64_t high = word / 127773;
    const int64_t low = word % 127773;
    int64_t next = 16807 * low - 2836 * high;
    if (next < 0) next += 2147483647;
    return static_cast<int32_t>(next);
}

constexpr int Discarded = 10 * Degree;

}  // namespace

void seed(Cursor& cursor, uint32_t seed) {
    if (seed == 0) seed = 1;
    int32_t word = static_cast<int32_t>(seed);
    cursor.words[0] = word;
    for (int i = 1; i < Degree; ++i) {
        word = lehmerStep(word);
        cursor.words[i] = word;
    }
    cursor.front = Separation;
    cursor.rear = 0;
    for (int i = 0; i < Discarded; ++i) next(cursor);
}

int32_t next(Cursor& cursor) {
    const uint32_t sum =
        static_cast<uint32_t>(cursor.words[cursor.front]) + static_cast<uint32_t>(cursor.words[cursor.rear]);
    cursor.words[cursor.front] = static_cast<int32_t>(sum);
    cursor.front = (cursor.front + 1) % Degree;
    cursor.rear = (cursor.rear + 1) % Degree;
    return static_cast<int32_t>(sum >> 1);
}

}  // namespace c_library_random
