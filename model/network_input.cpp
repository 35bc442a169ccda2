#include "model/network_input.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>

#include "model/configurations.h"
#include "model/engine_error.h"
#include "model/network_block.h"

std::string locationOf(const std::string& name, int line) {
    if (name.empty()) return "";
    return line > 0 ? name + ":" + std::to_string(line) + ": " : name + ": ";
}

NetworkInput readNetworkInput(const std::string& path) {
    NetworkInput input;
    input.path = path;
    input.name = path == "-" ? "standard input" : path;
    BlockError error;
    if (path == "-") {
        error = readNetworkBlock(std::cin, input.network);
    } else {
        struct stat status;
        if (stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode))
            throw EngineError(EngineError::CannotRead, "cannot read " + path + ": " + std::strerror(EISDIR));
        std::ifstream file(path);
        if (!file) throw EngineError(EngineError::CannotRead, "cannot read " + path + ": " + std::strerror(errno));
        error = readNetworkBlock(file, input.network);
        if (error.kind == BlockError::BadInput && file.bad())
            throw EngineError(EngineError::CannotRead, "cannot read " + path + ": " + std::strerror(errno));
    }
    if (error.kind != BlockError::None)
        throw EngineError(error.kind == BlockError::BeyondLimit ? EngineError::BeyondLimit : EngineError::BadInput,
                       locationOf(input.name, error.line) + error.message);
    return input;
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
