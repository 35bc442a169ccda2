#pragma once

#include <iosfwd>
#include <string>

#include "model/network/network.h"

// The network blocks that dumpData writes, read back: a line "DATA:", then
// per node its link row as N characters 0 or 1, a space, and alpha, beta and
// gamma. Text before the first "DATA:" line is skipped and the block ends at
// an empty line or the end of the input, so a saved session of the window
// reads as its first network. The window's sliders set multiples of 1/64 and
// it prints three decimals: a value within 0.0005 of a multiple of 1/64 is
// read as that multiple, so a block copied from the window gives back that
// exact network; any other value is read as written. A UTF-8 byte-order
// mark before "DATA:" is skipped.

// The most nodes a block may have: far more than any analysis can take, few
// enough that a network's tables stay small.
constexpr int MaxBlockNodes = 1000;

// The longest line read: far above any line of a block or of the window's
// output, low enough that an endless line (/dev/zero) ends the reading
// quickly and with little memory.
constexpr size_t MaxLineLength = 1 << 20;

struct BlockError {
    // CannotRead: the stream failed or holds a line longer than MaxLineLength.
    enum Kind { None, CannotRead, BadInput, BeyondLimit };
    Kind kind = None;
    long long line = 0;  // 1-based; 0 when the fault lies with the input as a whole
    std::string message;
};

// Fills `network` with the first block of `in` (nodes, links and
// parameters; partners, pointers and counters as after construction) and
// returns no error, or leaves `network` half filled and says what is wrong.
BlockError readNetworkBlock(std::istream& in, NetworkModel& network);

// The network as a block whose parameters carry every digit they need to
// read back as the same doubles (the shortest fixed-point decimals that do),
// but where the reading snaps them: within 0.0005 of a 64th a value reads
// back as that 64th.
std::string preciseBlock(const NetworkModel& network);

// A parameter as written by preciseBlock and read back.
double asBlockGivesItBack(double value);

// A parameter as the block gives it: false when `text` is not a finite
// decimal number; `value` snapped to a multiple of 1/64 when within 0.0005.
bool parseParameter(const std::string& text, double& value);
