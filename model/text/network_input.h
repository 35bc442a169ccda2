#pragma once

#include <string>

#include "model/network/network.h"

// A network read from a file, or from standard input for "-".
struct NetworkInput {
    std::string path;  // as given
    std::string name;  // for messages: the path made safe to print (shownName), or "standard input"
    NetworkModel network;
};

// Throws EngineError naming the file and line of the fault: CannotRead when
// the file cannot be read (a folder, a failing device, a line longer than
// MaxLineLength), BadInput for a bad block, BeyondLimit for a block of too
// many nodes.
NetworkInput readNetworkInput(const std::string& path);

// The same from a stream already open on `path`, for readers that fetch the
// bytes themselves: a failed read is theirs to report.
NetworkInput readNetworkInput(std::istream& in, const std::string& path);

// "name: " or "name:line: ", the start of a message about the input; empty
// for a network without a name, one built in memory.
std::string locationOf(const std::string& name, long long line = 0);

// The network's configuration count; EngineError (beyond a limit) when it
// exceeds `limit`, the message naming the network and `limitName`, the
// option or argument that sets the limit.
int configurationCountWithin(const NetworkInput& input, long long limit, const std::string& limitName);
