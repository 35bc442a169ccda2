#pragma once

#include <pybind11/pybind11.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "model/support/work_progress.h"

// The phases a piece of engine work goes through, as its WorkProgress names
// them, each with its share of the whole, so that a caller sees one fraction
// rising from 0 to 1.
using PhaseShares = std::vector<std::pair<std::string, double>>;

// Runs `work` on a thread of its own while the calling Python thread waits
// without the GIL. Every few hundredths of a second the waiting thread takes
// the GIL back to look for Ctrl+C and, a few times a second, to call
// `progress(fraction)` when it is a callable. On Ctrl+C, or when the callback
// raises, the work is asked to stop through `counts`, the thread joined, and
// the Python exception raised; an exception of the work is rethrown here.
void runInterruptibly(WorkProgress& counts, const PhaseShares& phases, const pybind11::object& progress,
                      const std::function<void()>& work);

// TypeError unless `progress` is None or callable.
void checkProgressCallback(const pybind11::object& progress);
