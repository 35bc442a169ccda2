#pragma once

#include <iosfwd>
#include <string>

// The bytes this process may still take, as the system reports them: the
// least of the kernel's estimate of available memory (MemAvailable in
// /proc/meminfo), what the control group's limit leaves, and what the data
// and address-space limits (ulimit -d, -v) leave. Infinity when none is known.
double availableMemory();

// MemAvailable of a text laid out as /proc/meminfo, in bytes; infinity when
// the text has none.
double memAvailableIn(std::istream& meminfo);

// A size in bytes from "SIZE": a decimal number with an optional suffix K,
// M, G or T (powers of 1024, upper or lower case). False for anything else
// or for a size that is not above 0.
bool parseByteSize(const std::string& text, double& bytes);
