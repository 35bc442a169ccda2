#pragma once

#include <string>

#include "model/support/engine_error.h"

// The most values a front end keeps for its results: 8 GB of doubles.
constexpr unsigned long long MaxKeptValues = 1000000000ULL;

// EngineError (beyond a limit) when `values` exceeds MaxKeptValues; `what`
// names them.
inline void checkKeptValues(unsigned long long values, const std::string& what) {
    if (values > MaxKeptValues)
        throw EngineError(EngineError::BeyondLimit, what + " would take " + std::to_string(values) +
                                                        " values, more than the limit of " +
                                                        std::to_string(MaxKeptValues));
}
