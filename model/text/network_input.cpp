#include "model/text/network_input.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>

#include "model/network/configurations.h"
#include "model/support/engine_error.h"
#include "model/text/message_text.h"
#include "model/text/network_block.h"

namespace {

[[noreturn]] void cannotRead(const NetworkInput& input, const std::string& why) {
    throw EngineError(EngineError::CannotRead, "cannot read " + input.name + ": " + why);
}

bool isFolder(int descriptor) {
    struct stat status;
    return fstat(descriptor, &status) == 0 && S_ISDIR(status.st_mode);
}

BlockError readStandardInput(const NetworkInput& input, NetworkModel& network) {
    if (isFolder(STDIN_FILENO)) cannotRead(input, std::strerror(EISDIR));
    errno = 0;
    const BlockError error = readNetworkBlock(std::cin, network);
    // Standard input goes through the C library's buffer, which keeps a
    // failed read to itself.
    if (std::ferror(stdin)) cannotRead(input, std::strerror(errno ? errno : EIO));
    return error;
}

BlockError readFile(const NetworkInput& input, NetworkModel& network) {
    struct stat status;
    if (stat(input.path.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) cannotRead(input, std::strerror(EISDIR));
    std::ifstream file(input.path);
    if (!file) cannotRead(input, std::strerror(errno));
    return readNetworkBlock(file, network);
}

NetworkInput namedInput(const std::string& path) {
    NetworkInput input;
    input.path = path;
    input.name = path == "-" ? "standard input" : shownName(path);
    return input;
}

NetworkInput checkedInput(NetworkInput& input, const BlockError& error) {
    switch (error.kind) {
        case BlockError::None: return std::move(input);
        case BlockError::CannotRead: cannotRead(input, error.message);
        case BlockError::BeyondLimit:
            throw EngineError(EngineError::BeyondLimit, locationOf(input.name, error.line) + error.message);
        case BlockError::BadInput: break;
    }
    throw EngineError(EngineError::BadInput, locationOf(input.name, error.line) + error.message);
}

}  // namespace

std::string locationOf(const std::string& name, long long line) {
    if (name.empty()) return "";
    return line > 0 ? name + ":" + std::to_string(line) + ": " : name + ": ";
}

NetworkInput readNetworkInput(const std::string& path) {
    NetworkInput input = namedInput(path);
    return checkedInput(input, path == "-" ? readStandardInput(input, input.network) : readFile(input, input.network));
}

NetworkInput readNetworkInput(std::istream& in, const std::string& path) {
    NetworkInput input = namedInput(path);
    return checkedInput(input, readNetworkBlock(in, input.network));
}

int configurationCountWithin(const NetworkInput& input, long long limit, const std::string& limitName) {
    const NeighbourLists neighbours = neighbourLists(input.network);
    const long long count = configurationCount(neighbours, limit);
    if (count < 0)
        throw EngineError(EngineError::BeyondLimit, locationOf(input.name) + "the network has " +
                                                        configurationCountText(neighbours) +
                                                        " configurations, more than the limit of " +
                                                        std::to_string(limit) + " (" + limitName + ")");
    return static_cast<int>(count);
}
