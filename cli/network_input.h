#pragma once

#include <string>

#include "model/network.h"

// A network read from a file, or from standard input for "-".
struct NetworkInput {
    std::string path;  // as given
    std::string name;  // for messages: the path, or "standard input"
    NetworkModel network;
};

// Throws CliError naming the file and line of the fault.
NetworkInput readNetworkInput(const std::string& path);

// "name: " or "name:line: ", the start of a message about the input.
std::string locationOf(const std::string& name, int line = 0);
