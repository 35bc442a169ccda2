#pragma once

// The reentrant generator functions of the GNU C library, which the model's
// seeded generator calls; the page's C library lacks them. The web build
// includes this header ahead of every model source, and
// c_library_functions.cpp defines them, for the generator of rand() itself:
// a state of 128 to 255 bytes, as the model passes.

#include <stddef.h>
#include <stdint.h>

struct random_data {
    int32_t* fptr;
    int32_t* rptr;
    int32_t* state;
    int rand_type;
    int rand_deg;
    int rand_sep;
    int32_t* end_ptr;
};

extern "C" {
int random_r(struct random_data* buffer, int32_t* result);
int initstate_r(unsigned int seed, char* stateBuffer, size_t stateLength, struct random_data* buffer);
}
