#pragma once

#include <pybind11/pybind11.h>

#include "model/text/network_input.h"

// The network of the file at `path`, which names it as the operating system
// does (any bytes, no encoding), or of standard input for "-", read without
// the GIL. A read that a signal interrupts gives Python's signal handlers
// their turn: Ctrl+C raises KeyboardInterrupt, any other signal lets the
// read go on.
NetworkInput readNetworkInterruptibly(const std::string& path);
