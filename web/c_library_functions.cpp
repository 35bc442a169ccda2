// rand() and srand() of the desktop's C library in place of the page's own,
// and the reentrant functions that the model's seeded generator calls: the
// page then steps through the same outcomes as the desktop program. Linked
// into the page only, as objects, which the linker takes before the C
// library's archive.

#include <cerrno>

#include "web/c_library_random.h"
#include "web/glibc_random_r.h"

namespace {

namespace cr = c_library_random;

// A process that never seeds draws the sequence of seed 1.
cr::State& processState() {
    static cr::State state(1);
    return state;
}

// As in the GNU C library, the words follow one leading word of the
// caller's buffer, and the positions are kept in `random_data`.
constexpr size_t SmallestState = 128;
constexpr size_t LargestState = 255;

cr::Cursor cursorOf(const random_data& buffer) {
    return {buffer.state, static_cast<int>(buffer.fptr - buffer.state), static_cast<int>(buffer.rptr - buffer.state)};
}

void keepCursor(random_data& buffer, const cr::Cursor& cursor) {
    buffer.fptr = buffer.state + cursor.front;
    buffer.rptr = buffer.state + cursor.rear;
}

}  // namespace

extern "C" {

int rand(void) { return processState().draw(); }

void srand(unsigned int seed) { processState().reseed(seed); }

int initstate_r(unsigned int seed, char* stateBuffer, size_t stateLength, struct random_data* buffer) {
    if (stateBuffer == nullptr || buffer == nullptr || stateLength < SmallestState || stateLength > LargestState) {
        errno = EINVAL;
        return -1;
    }
    buffer->state = reinterpret_cast<int32_t*>(stateBuffer) + 1;
    buffer->end_ptr = buffer->state + cr::Degree;
    buffer->rand_type = 3;
    buffer->rand_deg = cr::Degree;
    buffer->rand_sep = cr::Separation;
    cr::Cursor cursor{buffer->state, 0, 0};
    cr::seed(cursor, seed);
    keepCursor(*buffer, cursor);
    return 0;
}

int random_r(struct random_data* buffer, int32_t* result) {
    if (buffer == nullptr || result == nullptr) {
        errno = EINVAL;
        return -1;
    }
    cr::Cursor cursor = cursorOf(*buffer);
    *result = cr::next(cursor);
    keepCursor(*buffer, cursor);
    return 0;
}

}
